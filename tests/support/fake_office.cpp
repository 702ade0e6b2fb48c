#include "tests/support/fake_office.h"

#include <algorithm>
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "base/codepage.h"
#include "platform/filesystem.h"
#include "tests/support/temp_dir.h"

namespace velmaris::testing {

namespace {

namespace fs = std::filesystem;

std::u16string Text(int32_t value) {
  return codepage::FromUtf8(std::to_string(value));
}

void WriteFile(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  if (!out) Raise(err::kPathNotFound, office::kWordProgramId, u"无法写入文件");
  out << bytes;
}

std::string WithFolder(std::string html, const std::string& folder) {
  static const std::string kMark = "{files}";
  for (size_t at = html.find(kMark); at != std::string::npos; at = html.find(kMark, at)) {
    html.replace(at, kMark.size(), folder);
    at += folder.size();
  }
  return html;
}

// Writes an HTML file and its pictures as the office layer lays them out.
void WriteHtml(const std::u16string& file_name, const std::vector<std::string>& bodies,
               const std::vector<const FakePictures*>& pictures) {
  const fs::path file = ToNativePath(file_name);
  fs::path folder = file;
  folder.replace_extension(".files");
  std::string html = "<html><head><meta charset=\"utf-8\"><title></title></head><body>";
  for (const auto& body : bodies) html += WithFolder(body, folder.filename().string());
  html += "</body></html>";
  WriteFile(file, html);
  for (const FakePictures* set : pictures) {
    for (const auto& [name, bytes] : *set) {
      fs::create_directories(folder);
      WriteFile(folder / Utf8Path(name), bytes);
    }
  }
}

// What every object of the fake shares: the office, its program, and the closed state.
class FakeObject {
 protected:
  FakeObject(FakeOffice& office, std::u16string program) : m_office(office), m_program(program) {}

  void Record(const std::string& operation, std::vector<std::u16string> arguments = {}) {
    m_office.Record(operation, std::move(arguments));
    if (m_closed) Raise(office::kErrAutomation, m_program, u"对象已经关闭");
  }
  void Opened() { ++m_office.MutableOpenCount(); }
  void Closed() {
    m_closed = true;
    --m_office.MutableOpenCount();
  }

  FakeOffice& m_office;
  std::u16string m_program;
  bool m_closed = false;
};

// A word-processor document as a list of pages; the selection runs from the start of page
// `start` to the start of page `end` (one past the last page: the document's end).
struct WordState {
  std::vector<FakePage> pages;
  size_t start = 1;
  size_t end = 1;
};

class FakeSelection : public WordSelection, FakeObject {
 public:
  FakeSelection(FakeOffice& office, std::shared_ptr<WordState> state)
      : FakeObject(office, office::kWordProgramId), m_state(std::move(state)) {}

  void GoTo(int32_t what, int32_t count) override {
    Record("Selection.GoTo", {Text(what), Text(count)});
    if (what != office::kWdGoToPage) Raise(err::kInvalidCall, m_program);
    const size_t last = std::max<size_t>(1, m_state->pages.size());
    m_state->start = m_state->end = std::clamp<size_t>(count < 1 ? 1 : count, 1, last);
  }
  void EndKey(int32_t unit, int32_t extend) override {
    Record("Selection.EndKey", {Text(unit), Text(extend)});
    if (unit != office::kWdStory) Raise(err::kInvalidCall, m_program);
    m_state->end = m_state->pages.size() + 1;
    if (extend != office::kWdExtend) m_state->start = m_state->end;
  }
  void Copy() override {
    Record("Selection.Copy");
    m_office.MutableClipboard().assign(Begin(), End());
  }
  void Paste() override {
    Record("Selection.Paste");
    const std::vector<FakePage> clipboard = m_office.MutableClipboard();
    const auto at = m_state->pages.erase(Begin(), End());
    m_state->pages.insert(at, clipboard.begin(), clipboard.end());
    m_state->start = m_state->end =
        std::min(m_state->start + clipboard.size(), m_state->pages.size() + 1);
  }
  void Delete() override {
    Record("Selection.Delete");
    m_state->pages.erase(Begin(), End());
    m_state->end = m_state->start = std::min(m_state->start, m_state->pages.size() + 1);
  }

 private:
  std::vector<FakePage>::iterator Begin() {
    return m_state->pages.begin() +
           static_cast<ptrdiff_t>(std::min(m_state->start - 1, m_state->pages.size()));
  }
  std::vector<FakePage>::iterator End() {
    return m_state->pages.begin() +
           static_cast<ptrdiff_t>(std::min(m_state->end - 1, m_state->pages.size()));
  }

  std::shared_ptr<WordState> m_state;
};

class FakeWordDocument : public WordDocument, FakeObject {
 public:
  FakeWordDocument(FakeOffice& office, std::vector<FakePage> pages)
      : FakeObject(office, office::kWordProgramId), m_state(std::make_shared<WordState>()) {
    m_state->pages = std::move(pages);
    Opened();
    ++m_office.MutableWordWindows();
  }

  void Repaginate() override { Record("Repaginate"); }
  int32_t BuiltInDocumentProperty(int32_t index) override {
    Record("BuiltInDocumentProperties", {Text(index)});
    if (index != office::kWdPropertyPages) Raise(err::kInvalidCall, m_program);
    return static_cast<int32_t>(std::max<size_t>(1, m_state->pages.size()));
  }
  std::shared_ptr<WordSelection> Selection() override {
    return std::make_shared<FakeSelection>(m_office, m_state);
  }
  void SaveAs(std::u16string_view file_name, int32_t file_format) override {
    Record("Document.SaveAs", {std::u16string(file_name), Text(file_format)});
    if (file_format != office::kWdFormatHtml) Raise(err::kInvalidCall, m_program);
    std::vector<std::string> bodies;
    std::vector<const FakePictures*> pictures;
    for (const auto& page : m_state->pages) {
      bodies.push_back(page.html);
      pictures.push_back(&page.pictures);
    }
    WriteHtml(std::u16string(file_name), bodies, pictures);
  }
  void Close(bool save_changes) override {
    Record("Document.Close", {save_changes ? u"True" : u"False"});
    Closed();
    --m_office.MutableWordWindows();
  }

 private:
  std::shared_ptr<WordState> m_state;
};

class FakeWord : public WordApplication, FakeObject {
 public:
  explicit FakeWord(FakeOffice& office) : FakeObject(office, office::kWordProgramId) {}

  std::u16string ProgramId() const override { return office::kWordProgramId; }
  void Quit() override {
    Record("Quit", {m_program});
    m_office.running.erase(m_program);
  }
  void SetDisplayAlerts(int32_t level) override { Record("Word.DisplayAlerts", {Text(level)}); }
  std::shared_ptr<WordDocument> OpenDocument(std::u16string_view file_name) override {
    Record("Documents.Open", {std::u16string(file_name)});
    const auto it = m_office.documents.find(std::u16string(file_name));
    if (it == m_office.documents.end()) {
      Raise(err::kFileNotFound, m_program, u"找不到文件：" + std::u16string(file_name));
    }
    return std::make_shared<FakeWordDocument>(m_office, it->second);
  }
  std::shared_ptr<WordDocument> AddDocument() override {
    Record("Documents.Add");
    return std::make_shared<FakeWordDocument>(m_office, std::vector<FakePage>{});
  }
  void SetActiveWindowViewType(int32_t type) override {
    Record("ActiveWindow.View.Type", {Text(type)});
    if (m_office.MutableWordWindows() == 0) {
      Raise(office::kErrAutomation, m_program, u"没有打开的文档，无法设置视图");
    }
  }
};

class FakeExcelWorkbook : public Workbook, FakeObject {
 public:
  FakeExcelWorkbook(FakeOffice& office, FakeWorkbook workbook)
      : FakeObject(office, office::kExcelProgramId), m_workbook(std::move(workbook)) {
    Opened();
  }

  void SaveAs(std::u16string_view file_name, int32_t file_format, int32_t access_mode) override {
    Record("Workbook.SaveAs", {std::u16string(file_name), Text(file_format), Text(access_mode)});
    if (file_format != office::kXlHtml || access_mode != office::kXlNoChange) {
      Raise(err::kInvalidCall, m_program);
    }
    std::vector<std::string> bodies;
    std::vector<const FakePictures*> pictures;
    for (const auto& sheet : m_workbook.sheets) {
      bodies.push_back(sheet.html);
      pictures.push_back(&sheet.pictures);
    }
    WriteHtml(std::u16string(file_name), bodies, pictures);

    const bool per_sheet =
        m_workbook.form == FakeWorkbook::Form::kFilePerSheet ||
        (m_workbook.form == FakeWorkbook::Form::kAsTheOffice && m_workbook.sheets.size() > 1);
    if (!per_sheet) return;
    fs::path folder = ToNativePath(file_name);
    folder.replace_extension(".files");
    fs::create_directories(folder);
    for (size_t i = 0; i < m_workbook.sheets.size(); ++i) {
      char name[32];
      std::snprintf(name, sizeof name, "sheet%03zu.htm", i + 1);
      // Picture references stay relative to the workbook's folder, as in the whole file.
      WriteFile(folder / name,
                "<html><body>" + WithFolder(m_workbook.sheets[i].html, folder.filename().string()) +
                    "</body></html>");
    }
  }
  int32_t SheetCount() override {
    Record("Worksheets.Count");
    return static_cast<int32_t>(m_workbook.sheets.size());
  }
  std::u16string SheetName(int32_t index) override {
    Record("Worksheets.Name", {Text(index)});
    if (index < 1 || static_cast<size_t>(index) > m_workbook.sheets.size()) {
      Raise(err::kSubscript, m_program);
    }
    return m_workbook.sheets[static_cast<size_t>(index) - 1].name;
  }
  void Close() override {
    Record("Workbook.Close");
    Closed();
  }

 private:
  FakeWorkbook m_workbook;
};

class FakeExcel : public ExcelApplication, FakeObject {
 public:
  explicit FakeExcel(FakeOffice& office) : FakeObject(office, office::kExcelProgramId) {}

  std::u16string ProgramId() const override { return office::kExcelProgramId; }
  void Quit() override {
    Record("Quit", {m_program});
    m_office.running.erase(m_program);
  }
  void SetDisplayAlerts(bool display) override {
    Record("Excel.DisplayAlerts", {display ? u"True" : u"False"});
  }
  std::shared_ptr<Workbook> OpenWorkbook(std::u16string_view file_name) override {
    Record("Workbooks.Open", {std::u16string(file_name)});
    const auto it = m_office.workbooks.find(std::u16string(file_name));
    if (it == m_office.workbooks.end()) {
      Raise(err::kFileNotFound, m_program, u"找不到文件：" + std::u16string(file_name));
    }
    return std::make_shared<FakeExcelWorkbook>(m_office, it->second);
  }
};

class FakeSlides : public Presentation, FakeObject {
 public:
  FakeSlides(FakeOffice& office, FakePresentation presentation)
      : FakeObject(office, office::kPowerPointProgramId), m_presentation(presentation) {
    Opened();
  }

  int32_t DefaultLanguageID() override {
    Record("DefaultLanguageID");
    return m_presentation.language;
  }
  int32_t SlideCount() override {
    Record("Slides.Count");
    return m_presentation.slides;
  }
  void SaveAs(std::u16string_view file_name, int32_t file_format) override {
    Record("Presentation.SaveAs", {std::u16string(file_name), Text(file_format)});
    if (file_format != office::kPpSaveAsJpg) Raise(err::kInvalidCall, m_program);
    fs::path folder = ToNativePath(file_name);
    folder.replace_extension();
    fs::create_directories(folder);
    const std::string word =
        m_presentation.language == office::kLanguageChinesePrc ? "幻灯片" : "Slide";
    for (int32_t n = 1; n <= m_presentation.slides; ++n) {
      WriteFile(folder / Utf8Path(word + std::to_string(n) + ".jpg"),
                "\xFF\xD8 slide " + std::to_string(n));
    }
  }
  void Close() override {
    Record("Presentation.Close");
    Closed();
  }

 private:
  FakePresentation m_presentation;
};

class FakePowerPoint : public PowerPointApplication, FakeObject {
 public:
  explicit FakePowerPoint(FakeOffice& office) : FakeObject(office, office::kPowerPointProgramId) {}

  std::u16string ProgramId() const override { return office::kPowerPointProgramId; }
  void Quit() override {
    Record("Quit", {m_program});
    m_office.running.erase(m_program);
  }
  void SetVisible(int32_t visible) override { Record("Visible", {Text(visible)}); }
  std::shared_ptr<Presentation> OpenPresentation(std::u16string_view file_name) override {
    Record("Presentations.Open", {std::u16string(file_name)});
    const auto it = m_office.presentations.find(std::u16string(file_name));
    if (it == m_office.presentations.end()) {
      Raise(err::kFileNotFound, m_program, u"找不到文件：" + std::u16string(file_name));
    }
    return std::make_shared<FakeSlides>(m_office, it->second);
  }
};

}  // namespace

void FakeOffice::Fail(const std::string& operation, int32_t number, std::u16string description,
                      int nth) {
  m_failures.emplace(operation, Failure{nth, number, std::move(description)});
}

void FakeOffice::Record(const std::string& operation, std::vector<std::u16string> arguments) {
  m_calls.push_back({operation, std::move(arguments)});
  auto [first, last] = m_failures.equal_range(operation);
  for (auto it = first; it != last; ++it) {
    if (--it->second.countdown == 0) {
      const Failure failure = it->second;
      m_failures.erase(it);
      Raise(failure.number, u"FakeOffice", failure.description);
    }
  }
}

std::vector<std::string> FakeOffice::Log() const {
  std::vector<std::string> lines;
  for (const auto& call : m_calls) {
    std::string line = call.operation + "(";
    for (size_t i = 0; i < call.arguments.size(); ++i) {
      if (i > 0) line += ", ";
      line += codepage::ToUtf8(call.arguments[i]);
    }
    lines.push_back(line + ")");
  }
  return lines;
}

int FakeOffice::Count(const std::string& operation) const {
  return static_cast<int>(std::count_if(m_calls.begin(), m_calls.end(), [&](const Call& call) {
    return call.operation == operation;
  }));
}

int FakeOffice::OpenCount() const {
  return m_open;
}

std::shared_ptr<OfficeApplication> FakeOffice::GetObject(std::u16string_view program_id) {
  Record("GetObject", {std::u16string(program_id)});
  if (!running.count(std::u16string(program_id))) {
    Raise(office::kErrCannotCreateObject, std::u16string(program_id), u"ActiveX 部件不能创建对象");
  }
  return Make(program_id);
}

std::shared_ptr<OfficeApplication> FakeOffice::CreateObject(std::u16string_view program_id) {
  Record("CreateObject", {std::u16string(program_id)});
  if (!can_start) {
    Raise(office::kErrCannotCreateObject, std::u16string(program_id), u"ActiveX 部件不能创建对象");
  }
  auto application = Make(program_id);
  running.insert(std::u16string(program_id));
  return application;
}

std::shared_ptr<OfficeApplication> FakeOffice::Make(std::u16string_view program_id) {
  if (program_id == office::kWordProgramId) return std::make_shared<FakeWord>(*this);
  if (program_id == office::kExcelProgramId) return std::make_shared<FakeExcel>(*this);
  if (program_id == office::kPowerPointProgramId) return std::make_shared<FakePowerPoint>(*this);
  Raise(office::kErrCannotCreateObject, std::u16string(program_id), u"ActiveX 部件不能创建对象");
}

}  // namespace velmaris::testing
