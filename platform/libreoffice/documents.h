// What the three programs share: opening a document of their kind, closing it, sending it a
// command as its menu would, and making their application objects.
#pragma once

#include <com/sun/star/frame/XModel.hpp>

#include <memory>
#include <string_view>

#include "platform/libreoffice/office_session.h"
#include "platform/office_automation.h"

namespace velmaris::libreoffice {

enum class DocumentKind { kText, kSpreadsheet, kPresentation };

// Opens `file_name` in a frame of its own (hidden unless asked), with macros off and links not
// updated. Raises err::kFileNotFound for a missing file and kErrAutomation for a file the office
// cannot open or that opens as another kind of document.
Reference<css::frame::XModel> OpenDocument(const OfficeSession& session, std::u16string_view source,
                                           std::u16string_view file_name, DocumentKind kind,
                                           bool hidden);
// A new empty document of the kind, hidden.
Reference<css::frame::XModel> NewDocument(const OfficeSession& session, std::u16string_view source,
                                          DocumentKind kind);
// Closes without saving.
void CloseDocument(const OfficeSession& session, std::u16string_view source,
                   const Reference<css::frame::XModel>& document);
// Runs an office command (".uno:Copy", ...) in the document's frame, as its menu would.
void Dispatch(const OfficeSession& session, const Reference<css::frame::XModel>& document,
              const char* command);

std::shared_ptr<OfficeApplication> MakeWriterApplication(std::shared_ptr<OfficeSession> session);
std::shared_ptr<OfficeApplication> MakeCalcApplication(std::shared_ptr<OfficeSession> session);
std::shared_ptr<OfficeApplication> MakeImpressApplication(std::shared_ptr<OfficeSession> session);

// Quit for all three: the office ends, whichever program asks.
void QuitOffice(OfficeSession& session, std::u16string_view source);

}  // namespace velmaris::libreoffice
