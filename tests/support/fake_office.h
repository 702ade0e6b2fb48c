// A scripted office for the importers' tests. The test says which programs run or can start and
// what each document holds; the fake answers the automation calls from that script, writes real
// files where the applications would (HTML, picture folders, sheet files, slide pictures), records
// every call, and raises an injected error at any operation.
//
// Operation names, as recorded and as given to Fail():
//   GetObject, CreateObject, Quit (argument: the program id)
//   Word:       Word.DisplayAlerts, Documents.Open, Documents.Add, ActiveWindow.View.Type,
//               Repaginate, BuiltInDocumentProperties, Selection.GoTo, Selection.EndKey,
//               Selection.Copy, Selection.Paste, Selection.Delete, Document.SaveAs, Document.Close
//   Excel:      Excel.DisplayAlerts, Workbooks.Open, Workbook.SaveAs, Worksheets.Count,
//               Worksheets.Name, Workbook.Close
//   PowerPoint: Visible, Presentations.Open, DefaultLanguageID, Slides.Count,
//               Presentation.SaveAs, Presentation.Close
#pragma once

#include <map>
#include <memory>
#include <set>
#include <string>
#include <vector>

#include "base/error.h"
#include "platform/office_automation.h"

namespace velmaris::testing {

// Pictures by file name, with their bytes.
using FakePictures = std::map<std::string, std::string>;

// One printed page of a word-processor document. `html` is UTF-8 markup of the page's body; the
// text "{files}" in it becomes the name of the picture folder when the page is saved, so a page
// refers to its picture "p.png" as src="{files}/p.png".
struct FakePage {
  std::string html;
  FakePictures pictures;
};

struct FakeSheet {
  std::u16string name;
  std::string html;  // the sheet's table markup, "{files}" as for pages
  FakePictures pictures;
};

struct FakeWorkbook {
  // How SaveAs writes it: the whole workbook in the file, and one file per sheet in its folder
  // ("sheet001.htm", ...) either as the office layer does (when there is more than one sheet),
  // never, or always.
  enum class Form { kAsTheOffice, kSingleFile, kFilePerSheet };

  std::vector<FakeSheet> sheets;
  Form form = Form::kAsTheOffice;
};

struct FakePresentation {
  int32_t language = office::kLanguageChinesePrc;
  int32_t slides = 1;
};

// The objects it hands out refer to it: it must outlive them.
class FakeOffice : public OfficeAutomation {
 public:
  struct Call {
    std::string operation;
    std::vector<std::u16string> arguments;
  };

  // The script.
  std::set<std::u16string> running;  // program ids GetObject finds
  bool can_start = true;             // whether CreateObject starts a program
  std::map<std::u16string, std::vector<FakePage>> documents;  // by path, as the caller gives it
  std::map<std::u16string, FakeWorkbook> workbooks;
  std::map<std::u16string, FakePresentation> presentations;

  // The `nth` call from now of `operation` raises the error instead of doing its work.
  void Fail(const std::string& operation, int32_t number = office::kErrAutomation,
            std::u16string description = u"模拟的 Office 错误", int nth = 1);

  // What happened.
  const std::vector<Call>& Calls() const { return m_calls; }
  // Each call as "Operation(argument, ...)", in UTF-8.
  std::vector<std::string> Log() const;
  int Count(const std::string& operation) const;
  // Documents, workbooks and presentations opened or added and not closed yet.
  int OpenCount() const;
  // The pages the office's clipboard holds.
  const std::vector<FakePage>& Clipboard() const { return m_clipboard; }

  std::shared_ptr<OfficeApplication> GetObject(std::u16string_view program_id) override;
  std::shared_ptr<OfficeApplication> CreateObject(std::u16string_view program_id) override;

  // For the fake's objects: records a call, then raises the error injected for it, if any.
  void Record(const std::string& operation, std::vector<std::u16string> arguments = {});
  std::vector<FakePage>& MutableClipboard() { return m_clipboard; }
  int& MutableOpenCount() { return m_open; }
  int& MutableWordWindows() { return m_word_windows; }

 private:
  struct Failure {
    int countdown;
    int32_t number;
    std::u16string description;
  };

  std::shared_ptr<OfficeApplication> Make(std::u16string_view program_id);

  std::vector<Call> m_calls;
  std::multimap<std::string, Failure> m_failures;
  std::vector<FakePage> m_clipboard;
  int m_open = 0;
  int m_word_windows = 0;
};

}  // namespace velmaris::testing
