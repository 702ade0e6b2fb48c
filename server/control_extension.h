// What a control object answers beyond scripting, where the system has more to ask of it (on
// Windows: embedding in a container, persistence, the site lock). Declared without the server's
// COM header, so an extension can be written on the system's own headers: identifiers and
// interfaces pass as pointers, their layouts being the same.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "platform/forms.h"

namespace velmaris::server {

// A property a container keeps for the control between sessions: read and written by name
// through the control's dispatch interface.
struct PersistedProperty {
  std::u16string name;
  int32_t dispid;
};

struct ExtensionSubject {
  void* outer;  // the object's IDispatch, also its IUnknown; no reference is held on it
  const void* clsid;
  const void* events_iid;  // the coclass's source interface
  const void* library_id;
  std::u16string name;  // "FileUpload"
  Form& form;
  std::vector<PersistedProperty> properties;
};

class ControlExtension {
 public:
  virtual ~ControlExtension() = default;
  // Interface `iid` (a GUID) with a reference on the object; false when the extension has none.
  virtual bool Query(const void* iid, void** object) = 0;
  // The page's origin when the control's site is a page that may not use it; else empty.
  virtual std::u16string RefusedSite() = 0;
};

// The system's extension of a control, or null where there is none.
std::unique_ptr<ControlExtension> MakeControlExtension(ExtensionSubject subject);

}  // namespace velmaris::server
