// The office applications the importers drive by automation: a word processor, a spreadsheet
// program and a presentation program, reached by program id. Each object offers exactly the
// operations the importers call, with the numeric constants of the applications' automation
// interfaces. Failures raise VbError with the application's program id as source.
//
// Paths are taken as the system writes them ("\" or "/" between folders).
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "base/error.h"

namespace velmaris {

namespace office {

inline constexpr char16_t kWordProgramId[] = u"Word.Application";
inline constexpr char16_t kExcelProgramId[] = u"Excel.Application";
inline constexpr char16_t kPowerPointProgramId[] = u"PowerPoint.Application";

// Word.
inline constexpr int32_t kWdAlertsNone = 0;
inline constexpr int32_t kWdAlertsAll = -1;
inline constexpr int32_t kWdPrintView = 3;
inline constexpr int32_t kWdWebView = 6;
inline constexpr int32_t kWdPropertyPages = 14;
inline constexpr int32_t kWdGoToPage = 1;
inline constexpr int32_t kWdStory = 6;
inline constexpr int32_t kWdMove = 0;
inline constexpr int32_t kWdExtend = 1;
inline constexpr int32_t kWdFormatHtml = 8;

// Excel.
inline constexpr int32_t kXlHtml = 44;
inline constexpr int32_t kXlNoChange = 1;

// PowerPoint.
inline constexpr int32_t kMsoTrue = -1;
inline constexpr int32_t kMsoFalse = 0;
inline constexpr int32_t kPpSaveAsJpg = 17;

// Language ids (Windows LCIDs).
inline constexpr int32_t kLanguageChinesePrc = 2052;
inline constexpr int32_t kLanguageEnglishUs = 1033;

// Error numbers of automation, as the classic runtime reports them.
inline constexpr int32_t kErrCannotCreateObject = 429;  // no such program, or it cannot start
inline constexpr int32_t kErrAutomation = 440;          // the application failed the call
inline constexpr int32_t kErrServerUnavailable = 462;   // the application has gone away

}  // namespace office

// What every application object has.
class OfficeApplication {
 public:
  virtual ~OfficeApplication() = default;

  virtual std::u16string ProgramId() const = 0;
  // Ends the program. Every object obtained from it fails afterwards.
  virtual void Quit() = 0;
};

// Word: Windows(1).Selection of a document.
class WordSelection {
 public:
  virtual ~WordSelection() = default;

  // GoTo What:=kWdGoToPage, Count:=page: the selection collapses to the start of that page (the
  // last page when there are fewer).
  virtual void GoTo(int32_t what, int32_t count) = 0;
  // EndKey Unit:=kWdStory, Extend:=kWdExtend or kWdMove.
  virtual void EndKey(int32_t unit, int32_t extend) = 0;
  // To the clipboard; the clipboard in place of the selection; the selection removed.
  virtual void Copy() = 0;
  virtual void Paste() = 0;
  virtual void Delete() = 0;
};

class WordDocument {
 public:
  virtual ~WordDocument() = default;

  virtual void Repaginate() = 0;
  // BuiltInDocumentProperties(index) read as an integer; kWdPropertyPages is the page count.
  virtual int32_t BuiltInDocumentProperty(int32_t index) = 0;
  virtual std::shared_ptr<WordSelection> Selection() = 0;
  // SaveAs FileName, FileFormat:=kWdFormatHtml: the HTML at `file_name`; its pictures in the
  // folder named as the file without its extension plus ".files", with img src values relative
  // to the file's folder.
  virtual void SaveAs(std::u16string_view file_name, int32_t file_format) = 0;
  // Close; the document's changes are saved only when asked.
  virtual void Close(bool save_changes = false) = 0;
};

class WordApplication : public OfficeApplication {
 public:
  static constexpr const char16_t* kProgramId = office::kWordProgramId;

  // DisplayAlerts: kWdAlertsNone or kWdAlertsAll.
  virtual void SetDisplayAlerts(int32_t level) = 0;
  // Documents.Open FileName; Documents.Add. The new document becomes the active one.
  virtual std::shared_ptr<WordDocument> OpenDocument(std::u16string_view file_name) = 0;
  virtual std::shared_ptr<WordDocument> AddDocument() = 0;
  // ActiveWindow.View.Type: kWdPrintView or kWdWebView.
  virtual void SetActiveWindowViewType(int32_t type) = 0;
};

class Workbook {
 public:
  virtual ~Workbook() = default;

  // SaveAs Filename, FileFormat:=kXlHtml, AccessMode:=kXlNoChange: the whole workbook at
  // `file_name`; with more than one sheet, also one file per sheet in the folder named as the
  // file without its extension plus ".files" ("sheet001.htm", ...). Picture src values are
  // relative to the folder of `file_name`, in the sheet files too.
  virtual void SaveAs(std::u16string_view file_name, int32_t file_format, int32_t access_mode) = 0;
  // Worksheets.Count; Worksheets(index).Name, index from 1.
  virtual int32_t SheetCount() = 0;
  virtual std::u16string SheetName(int32_t index) = 0;
  // Close without a prompt and without saving.
  virtual void Close() = 0;
};

class ExcelApplication : public OfficeApplication {
 public:
  static constexpr const char16_t* kProgramId = office::kExcelProgramId;

  virtual void SetDisplayAlerts(bool display) = 0;
  // Workbooks.Open Filename.
  virtual std::shared_ptr<Workbook> OpenWorkbook(std::u16string_view file_name) = 0;
};

class Presentation {
 public:
  virtual ~Presentation() = default;

  virtual int32_t DefaultLanguageID() = 0;
  // Slides.Count.
  virtual int32_t SlideCount() = 0;
  // SaveAs FileName, kPpSaveAsJpg: one picture per slide in the folder named as `file_name`
  // without its extension: "幻灯片1.jpg", ... when DefaultLanguageID is kLanguageChinesePrc,
  // "Slide1.jpg", ... otherwise.
  virtual void SaveAs(std::u16string_view file_name, int32_t file_format) = 0;
  virtual void Close() = 0;
};

class PowerPointApplication : public OfficeApplication {
 public:
  static constexpr const char16_t* kProgramId = office::kPowerPointProgramId;

  // Visible: kMsoTrue or kMsoFalse; presentations opened later are shown or hidden accordingly.
  virtual void SetVisible(int32_t visible) = 0;
  // Presentations.Open FileName.
  virtual std::shared_ptr<Presentation> OpenPresentation(std::u16string_view file_name) = 0;
};

// The platform's way to the applications.
class OfficeAutomation {
 public:
  virtual ~OfficeAutomation() = default;

  // The running instance registered under `program_id`; raises kErrCannotCreateObject when there
  // is none.
  virtual std::shared_ptr<OfficeApplication> GetObject(std::u16string_view program_id) = 0;
  // A new instance; raises kErrCannotCreateObject when it cannot be started.
  virtual std::shared_ptr<OfficeApplication> CreateObject(std::u16string_view program_id) = 0;
};

// The application as the kind the caller drives (WordApplication, ExcelApplication,
// PowerPointApplication). Nothing gives nothing; another kind raises type mismatch (13).
template <class App>
std::shared_ptr<App> OfficeCast(const std::shared_ptr<OfficeApplication>& application) {
  if (!application) return nullptr;
  auto typed = std::dynamic_pointer_cast<App>(application);
  if (!typed) Raise(err::kTypeMismatch, application->ProgramId());
  return typed;
}

}  // namespace velmaris
