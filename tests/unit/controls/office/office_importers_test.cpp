// The Word, Excel and PowerPoint importers of OfficeImport on the scripted office, in fake time:
// what the office is asked to do and in which order, what reaches the server, and what is left
// open or on disk when an import ends either way.
#include <gtest/gtest.h>
#ifndef _WIN32
#include <unistd.h>
#endif

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "base/error.h"
#include "controls/office/excel_import.h"
#include "controls/office/office_attach.h"
#include "controls/office/office_import.h"
#include "controls/office/powerpoint_import.h"
#include "tests/support/error_of.h"
#include "tests/support/fake_office.h"
#include "tests/unit/controls/office/office_world.h"

namespace velmaris {
namespace {

namespace fs = std::filesystem;
using testing::ErrorOf;
using testing::FakeOffice;
using testing::FakePage;
using testing::FakePresentation;
using testing::FakeSheet;
using testing::FakeWorkbook;

constexpr char kSep[] = "----abcdefghijklmnopqrstuvwxyz----";

// Hands the control the test's office, which outlives it.
class BorrowedOffice : public OfficeAutomation {
 public:
  explicit BorrowedOffice(FakeOffice& office) : m_office(office) {}
  std::shared_ptr<OfficeApplication> GetObject(std::u16string_view program_id) override {
    return m_office.GetObject(program_id);
  }
  std::shared_ptr<OfficeApplication> CreateObject(std::u16string_view program_id) override {
    return m_office.CreateObject(program_id);
  }

 private:
  FakeOffice& m_office;
};

std::string Gbk(const std::u16string& text) {
  return codepage::ToGbk(text);
}

class OfficeImportersTest : public testing::OfficeWorld {
 protected:
  FakeOffice office;
  std::unique_ptr<OfficeImport> control;

  void SetUp() override {
    platform.office = [this] { return std::make_unique<BorrowedOffice>(office); };
    control = std::make_unique<OfficeImport>(platform);
    AnswerEveryRequest();
    control->Init(u"http://up/cms/upload.asp", u"http://up/cms/savepost.asp", u"2008/05", 12,
                  u"编辑");
    reply_body = "/files/2008/05/pic.png";
  }

  // The requests that were uploads (with a file part) and the article posts.
  std::vector<std::string> Uploads() const {
    std::vector<std::string> found;
    for (const auto& request : requests) {
      if (request.find("filename=") != std::string::npos) found.push_back(request);
    }
    return found;
  }
  std::vector<std::string> Posts() const {
    std::vector<std::string> found;
    for (const auto& request : requests) {
      if (RequestLine(request) == "POST /cms/savepost.asp HTTP/1.1") found.push_back(request);
    }
    return found;
  }
  // The pages of a posted content (GBK), each checked to end with the separator.
  static std::vector<std::string> Pages(const std::string& content) {
    std::vector<std::string> pages;
    size_t from = 0;
    for (size_t at = content.find(kSep); at != std::string::npos; at = content.find(kSep, from)) {
      pages.push_back(content.substr(from, at - from));
      from = at + sizeof kSep - 1;
    }
    EXPECT_EQ(from, content.size()) << "content does not end with the separator";
    return pages;
  }
  // The calls of one operation, as "Operation(arguments)", in order.
  std::vector<std::string> Calls(const std::string& operation) const {
    std::vector<std::string> found;
    for (const auto& line : office.Log()) {
      if (line.rfind(operation + "(", 0) == 0) found.push_back(line);
    }
    return found;
  }
  // Everything left in the working folder.
  std::vector<std::string> LeftInWorkFolder() const {
    std::vector<std::string> left;
    const fs::path work = temp.Path() / "doc2html";
    if (!fs::exists(work)) return left;
    for (const auto& entry : fs::directory_iterator(work)) {
      left.push_back(entry.path().filename().string());
    }
    return left;
  }
  std::u16string Document(const std::string& name, std::vector<FakePage> pages) {
    const std::u16string path = codepage::FromUtf8(files.Write(name, "doc").string());
    office.documents[path] = std::move(pages);
    return path;
  }
};

TEST_F(OfficeImportersTest, WordPagesAreMovedOutLastFirstAndPostedInDocumentOrder) {
  const std::u16string path = Document(
      "Report.v2.doc",
      {{"<p>第一页</p><H1 ALIGN=left><BR>\r\n<font>&nbsp;</font></H1>", {}},
       {"<h2>一、二</h2><p>二</p><hr><img src=\"{files}/p.png\" style=\"x\">", {{"p.png", "PNG"}}},
       {"<p><span>&nbsp;</span></p><P>三</P><p></p>", {}}});
  EXPECT_EQ(control->ImportDocFile(path, u"7", u"作者"), 1);

  EXPECT_EQ(Calls("Selection.GoTo"),
            (std::vector<std::string>{"Selection.GoTo(1, 1)", "Selection.GoTo(1, 3)",
                                      "Selection.GoTo(1, 1)", "Selection.GoTo(1, 2)",
                                      "Selection.GoTo(1, 1)", "Selection.GoTo(1, 1)"}));
  EXPECT_EQ(office.Count("Documents.Add"), 3);
  EXPECT_EQ(office.Count("Selection.Delete"), 3);
  EXPECT_EQ(office.Count("Repaginate"), 1);
  EXPECT_EQ(Calls("ActiveWindow.View.Type"), std::vector<std::string>{"ActiveWindow.View.Type(3)"});
  EXPECT_EQ(Calls("Word.DisplayAlerts"), std::vector<std::string>{"Word.DisplayAlerts(0)"});
  // The source is closed unsaved, after its pages; nothing stays open, Word is not told to quit.
  EXPECT_EQ(office.Log().back(), "Document.Close(False)");
  EXPECT_EQ(office.OpenCount(), 0);
  EXPECT_EQ(office.Count("Quit"), 0);

  const auto uploads = Uploads();
  ASSERT_EQ(uploads.size(), 1u);
  EXPECT_EQ(Field(uploads[0], "contentid"), "-1");
  EXPECT_NE(uploads[0].find("\r\n\r\nPNG\r\n"), std::string::npos);
  const auto posts = Posts();
  ASSERT_EQ(posts.size(), 1u);
  EXPECT_EQ(Field(posts[0], "columnid"), "7");
  EXPECT_EQ(Field(posts[0], "title"), "Report");
  EXPECT_EQ(Field(posts[0], "author"), Gbk(u"作者"));
  EXPECT_EQ(Pages(Field(posts[0], "content")),
            (std::vector<std::string>{Gbk(u"<p>第一页</p>"),  // the empty heading is not written
                                      Gbk(u"<h2>一、二</h2><p>二</p><hr><img "
                                          u"src=\"/files/2008/05/pic.png\">"),
                                      Gbk(u"<p>三</p>")}));

  // The temporary file and the picture folder are gone; the working folder stays.
  EXPECT_TRUE(LeftInWorkFolder().empty());
  const std::u16string& work_dir = control->CleaningSettings().work_dir;
  EXPECT_EQ(work_dir.substr(work_dir.size() - 6), u".files");
}

TEST_F(OfficeImportersTest, WordOnePageSavesTheWholeDocumentOnce) {
  const std::u16string path =
      Document("通知.docx",
               {{"<p>甲</p>", {}}, {"<p>乙</p><img src=\"{files}/q.gif\">", {{"q.gif", "GIF"}}}});
  EXPECT_EQ(control->ImportDocFileOnePage(path, u" 12 ", u"u"), 1);

  EXPECT_EQ(office.Count("Documents.Add"), 0);
  EXPECT_EQ(office.Count("Document.SaveAs"), 1);
  EXPECT_TRUE(office.Clipboard().empty());
  const auto posts = Posts();
  ASSERT_EQ(posts.size(), 1u);
  EXPECT_EQ(Field(posts[0], "columnid"), " 12 ");
  EXPECT_EQ(Field(posts[0], "title"), Gbk(u"通知"));
  EXPECT_EQ(
      Pages(Field(posts[0], "content")),
      std::vector<std::string>{Gbk(u"<p>甲</p><p>乙</p><img src=\"/files/2008/05/pic.png\">")});
  EXPECT_EQ(Field(Uploads().at(0), "contentid"), "-1");
  EXPECT_TRUE(LeftInWorkFolder().empty());
}

#ifndef _WIN32  // owners and links
// A working folder name taken by what the user cannot keep private is left alone: the import
// runs in a fresh private folder beside it, which goes afterwards.
TEST_F(OfficeImportersTest, WorkingFolderTakenByOthersIsLeftAlone) {
  const fs::path work = temp.Path() / "doc2html";
  const fs::path elsewhere = files.Path() / "elsewhere";
  const struct {
    const char* what;
    std::function<void()> plant;
  } cases[] = {
      {"another user's folder",
       [&] {
         fs::create_directory(work);
         if (geteuid() == 0) {
           EXPECT_EQ(chown(work.c_str(), 65534, 65534), 0);
         } else {
           fs::permissions(work, fs::perms::all);  // others may write to it
         }
       }},
      {"a link to a folder",
       [&] {
         fs::create_directory(elsewhere);
         fs::create_directory_symlink(elsewhere, work);
       }},
      {"a file", [&] { std::ofstream(work) << "x"; }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    fs::remove_all(work);
    fs::remove_all(elsewhere);
    requests.clear();
    c.plant();
    const fs::file_status planted = fs::symlink_status(work);
    const std::u16string path =
        Document("a.doc", {{"<p>甲</p><img src=\"{files}/q.gif\">", {{"q.gif", "GIF"}}}});
    EXPECT_EQ(control->ImportDocFileOnePage(path, u"1", u"u"), 1);
    EXPECT_EQ(Uploads().size(), 1u);
    EXPECT_EQ(Posts().size(), 1u);
    // Nothing of the import went through the name, and nothing is left beside it.
    EXPECT_EQ(fs::symlink_status(work).type(), planted.type());
    if (fs::is_directory(fs::symlink_status(work))) {
      EXPECT_TRUE(fs::is_empty(work));
    }
    if (fs::exists(elsewhere)) {
      EXPECT_TRUE(fs::is_empty(elsewhere));
    }
    const std::u16string& used = control->CleaningSettings().work_dir;
    EXPECT_EQ(used.find(codepage::FromUtf8(work.string()) + u"\\"), std::u16string::npos);
    std::vector<std::string> in_temp;
    for (const auto& entry : fs::directory_iterator(temp.Path())) {
      in_temp.push_back(entry.path().filename().string());
    }
    EXPECT_EQ(in_temp, std::vector<std::string>{"doc2html"});
  }
  fs::remove_all(work);
}
#endif

TEST_F(OfficeImportersTest, WordDocumentOfMoreThanAThousandPages) {
  std::vector<FakePage> pages;
  for (int i = 1; i <= 1002; ++i) pages.push_back({"<p>" + std::to_string(i) + "</p>", {}});
  const std::u16string path = Document("long.doc", pages);
  EXPECT_EQ(control->ImportDocFile(path, u"1", u"u"), 1);
  const auto posted = Pages(Field(Posts().at(0), "content"));
  ASSERT_EQ(posted.size(), 1002u);
  EXPECT_EQ(posted[0], "<p>1</p>");
  EXPECT_EQ(posted[1001], "<p>1002</p>");
}

TEST_F(OfficeImportersTest, WorkbookInEitherFormOfSavedWebPage) {
  const std::vector<FakeSheet> sheets = {
      {u"销售", "<table border=\"0\"><tr><td>一月</td></tr></table>", {}},
      {u"图表", "<p>图</p><img src=\"{files}/chart.png\">", {{"chart.png", "PNG"}}},
      {u"汇总", "<table border=1><tr><td>合计</td></tr></table><table BORDER=0></table>", {}},
  };
  const std::string first =
      Gbk(u"<table borderColor=#000000 border=1><tr><td>一月</td></tr></table>");
  const std::string second = Gbk(u"<p>图</p><img src=\"/files/2008/05/pic.png\">");
  const std::string third =
      Gbk(u"<table border=\"1\"><tr><td>合计</td></tr></table><table borderColor=#000000 "
          u"border=1></table>");
  const struct {
    const char* name;
    FakeWorkbook::Form form;
    std::vector<std::string> pages;
  } cases[] = {
      // The sheet files have no title element: the cleaner takes each one's first text as its
      // (unused) title, as it does for any page.
      {"one file per sheet",
       FakeWorkbook::Form::kFilePerSheet,
       {Gbk(u"<table borderColor=#000000 border=1><tr><td></td></tr></table>"),
        "<p></p><img src=\"/files/2008/05/pic.png\">",
        "<table border=\"1\"><tr><td></td></tr></table><table borderColor=#000000 "
        "border=1></table>"}},
      {"single file", FakeWorkbook::Form::kSingleFile, {first + second + third}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    requests.clear();
    const std::u16string path = files.U16(std::string(c.name) + ".xls");
    office.workbooks[path] = {sheets, c.form};
    EXPECT_EQ(control->ImportXlsFile(path, u"3", u"u"), 1);

    const auto posts = Posts();
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(Field(posts[0], "title"), Gbk(u"销售"));
    EXPECT_EQ(Pages(Field(posts[0], "content")), c.pages);
    // A workbook import leaves the pictures' content id as it finds it.
    EXPECT_EQ(Field(Uploads().at(0), "contentid"), "0");
    EXPECT_EQ(office.OpenCount(), 0);
    EXPECT_TRUE(LeftInWorkFolder().empty());
  }
  EXPECT_EQ(Calls("Workbook.SaveAs").size(), 2u);
  EXPECT_EQ(Calls("Excel.DisplayAlerts"),
            (std::vector<std::string>{"Excel.DisplayAlerts(False)", "Excel.DisplayAlerts(False)"}));
  EXPECT_EQ(office.Count("Quit"), 0);

  // An empty workbook is closed and not posted.
  requests.clear();
  office.workbooks[files.U16("empty.xls")] = {};
  EXPECT_EQ(control->ImportXlsFile(files.U16("empty.xls"), u"3", u"u"), 1);
  EXPECT_TRUE(requests.empty());
  EXPECT_EQ(office.OpenCount(), 0);
}

TEST_F(OfficeImportersTest, PresentationSlidesAsPicturesSizedAsTyped) {
  const struct {
    const char* name;
    int32_t language;
    bool running;
    const char16_t* width;
    const char16_t* height;
    const char* first_picture;
  } cases[] = {
      {"Chinese, started", office::kLanguageChinesePrc, false, u"640", u"480", "幻灯片1.jpg"},
      {"English, running", office::kLanguageEnglishUs, true, u"80%", u" 7", "Slide1.jpg"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    requests.clear();
    office.running.clear();
    if (c.running) office.running.insert(office::kPowerPointProgramId);
    const size_t calls_before = office.Calls().size();
    const std::u16string path = files.U16("talks/Q3.v1.ppt");
    office.presentations[path] = FakePresentation{c.language, 2};
    control->GetForm()[u"txtWidth"].SetText(c.width);
    control->GetForm()[u"txtHeight"].SetText(c.height);
    EXPECT_EQ(control->ImportPPTFile(path, u"5", u"u"), 1);

    const auto uploads = Uploads();
    ASSERT_EQ(uploads.size(), 2u);
    EXPECT_NE(uploads[0].find("name=\"" + Gbk(codepage::FromUtf8(c.first_picture)) + "\""),
              std::string::npos);
    EXPECT_NE(uploads[1].find("slide 2"), std::string::npos);
    EXPECT_EQ(Field(uploads[0], "contentid"), "0");
    const auto posts = Posts();
    ASSERT_EQ(posts.size(), 1u);
    EXPECT_EQ(Field(posts[0], "title"), "Q3.v1.ppt");
    const std::string element =
        Gbk(u"<img src=\"/files/2008/05/pic.png\" width=\"" + std::u16string(c.width) +
            u"\" height=\"" + std::u16string(c.height) + u"\">");
    EXPECT_EQ(Pages(Field(posts[0], "content")), (std::vector<std::string>{element, element}));

    // Shown and told to quit only when the import started it.
    std::vector<std::string> program_calls;
    for (size_t i = calls_before; i < office.Calls().size(); ++i) {
      const auto& op = office.Calls()[i].operation;
      if (op == "Visible" || op == "Quit" || op == "CreateObject") program_calls.push_back(op);
    }
    EXPECT_EQ(program_calls, c.running
                                 ? std::vector<std::string>{}
                                 : (std::vector<std::string>{"CreateObject", "Visible", "Quit"}));
    EXPECT_EQ(office.OpenCount(), 0);
    EXPECT_TRUE(LeftInWorkFolder().empty());
  }
}

TEST_F(OfficeImportersTest, StartButtonSendsEachKindToItsImporter) {
  const std::u16string doc = Document("a.DOC", {{"<p>a</p>", {}}, {"<p>b</p>", {}}});
  const std::u16string docx = Document("b.docx", {{"<p>c</p>", {}}});
  const std::u16string xlsx = files.U16("c.xlsx");
  office.workbooks[xlsx] = {{{u"表", "<p>t</p>", {}}}, FakeWorkbook::Form::kAsTheOffice};
  const std::u16string pptx = files.U16("d.pptx");
  office.presentations[pptx] = FakePresentation{office::kLanguageEnglishUs, 1};
  files.Write("d.pptx", "ppt");

  const struct {
    int check1;
    std::vector<std::string> page_counts;  // pages of each posted article
    int added_documents;
  } cases[] = {{1, {"2", "1", "1", "1"}, 3}, {0, {"1", "1", "1", "1"}, 0}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.check1);
    requests.clear();
    const int added_before = office.Count("Documents.Add");
    OfficeImport fresh(platform);
    AnswerEveryRequest();
    fresh.Init(u"http://up/cms/upload.asp", u"http://up/cms/savepost.asp", u"d", 4, u"u");
    for (const auto& path : {doc, docx, xlsx, pptx}) fresh.AddFileToList(path);
    fresh.GetForm()[u"Check1"].SetChecked(c.check1);
    fresh.GetForm()[u"Command3"].on_click();

    std::vector<std::string> page_counts;
    for (const auto& post : Posts()) {
      EXPECT_EQ(Field(post, "columnid"), "4");
      page_counts.push_back(std::to_string(Pages(Field(post, "content")).size()));
    }
    EXPECT_EQ(page_counts, c.page_counts);
    EXPECT_EQ(office.Count("Documents.Add") - added_before, c.added_documents);
    for (const auto& entry : fresh.GetForm()[u"List1"].Items()) {
      EXPECT_EQ(entry.substr(entry.size() - 8), u"......完成");
    }
  }
}

TEST_F(OfficeImportersTest, FailuresCloseWhatWasOpenedAndLeaveNoFiles) {
  const std::u16string doc = Document("a.doc", {{"<p>1</p>", {}}, {"<p>2</p>", {}}});
  const std::u16string xls = files.U16("b.xls");
  office.workbooks[xls] = {
      {{u"一", "<p>1</p>", {}}, {u"二", "<img src=\"{files}/gone.png\">", {}}}};
  const std::u16string ppt = files.U16("c.ppt");
  office.presentations[ppt] = FakePresentation{office::kLanguageEnglishUs, 2};
  using Import = int32_t (OfficeImport::*)(const std::u16string&, const std::u16string&,
                                           const std::u16string&);
  constexpr Import kPages = &OfficeImport::ImportDocFile;
  constexpr Import kOnePage = &OfficeImport::ImportDocFileOnePage;
  constexpr Import kXls = &OfficeImport::ImportXlsFile;
  constexpr Import kPpt = &OfficeImport::ImportPPTFile;
  const std::u16string gone_doc = files.U16("gone.doc");
  const std::u16string gone_ppt = files.U16("gone.ppt");
  // clang-format off
  const struct {
    const char* name;
    Import import;
    const std::u16string& file;
    const char16_t* column;
    const char* failing;  // the office operation made to fail, if any
    int nth;              // on its nth call
    bool running;         // the program was running before
    int32_t number;
    bool quit;            // the program was told to quit
  } cases[] = {
      {"Word, column abc",             kPages,   doc, u"abc",        nullptr, 0, false, err::kTypeMismatch, false},
      {"one page, column too large",   kOnePage, doc, u"3000000000", nullptr, 0, false, err::kOverflow, false},
      {"Excel, column empty",          kXls,     xls, u"",           nullptr, 0, false, err::kTypeMismatch, false},
      {"PowerPoint, column abc",       kPpt,     ppt, u"abc",        nullptr, 0, false, err::kTypeMismatch, false},
      {"Word cannot be started",       kPages,   doc, u"1", "CreateObject",        1, false, err::kObjectNotSet, false},
      {"Word, missing document",       kPages,   gone_doc, u"1",     nullptr, 0, false, err::kFileNotFound, false},
      {"second page not saved",        kPages,   doc, u"1", "Document.SaveAs",     2, false, office::kErrAutomation, false},
      {"one page not saved",           kOnePage, doc, u"1", "Document.SaveAs",     1, false, office::kErrAutomation, false},
      {"picture of sheet 2 missing",   kXls,     xls, u"1",          nullptr, 0, false, err::kFileNotFound, false},
      {"running PowerPoint, missing",  kPpt,     gone_ppt, u"1",     nullptr, 0, true,  err::kFileNotFound, false},
      {"started PowerPoint, no export", kPpt,    ppt, u"1", "Presentation.SaveAs", 1, false, office::kErrAutomation, true},
      // The server answers every request with 500: the pictures go up as "Error", the post fails.
      {"Word, article refused",        kPages,   doc, u"1",          nullptr, 0, false, err::kNotAccepted, false},
      {"PowerPoint, article refused",  kPpt,     ppt, u"1",          nullptr, 0, false, err::kNotAccepted, true},
  };
  // clang-format on
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    requests.clear();
    office.running.clear();
    if (c.running) office.running.insert(office::kPowerPointProgramId);
    if (c.failing) office.Fail(c.failing, office::kErrAutomation, u"失败", c.nth);
    const size_t calls_before = office.Calls().size();
    const bool refused = c.number == err::kNotAccepted;
    status = [&](int) { return refused ? "500 Internal Server Error" : "200 OK"; };

    const VbError error = ErrorOf([&] { ((*control).*c.import)(c.file, c.column, u"u"); });
    EXPECT_EQ(error.Number(), c.number) << codepage::ToUtf8(error.Description());
    if (c.number == err::kTypeMismatch || c.number == err::kOverflow) {
      EXPECT_EQ(office.Calls().size(), calls_before) << "the office was touched";
    }
    EXPECT_EQ(Posts().size(), refused ? 1u : 0u);
    EXPECT_EQ(office.OpenCount(), 0);
    EXPECT_TRUE(LeftInWorkFolder().empty());
    int quits = 0;
    for (size_t i = calls_before; i < office.Calls().size(); ++i) {
      quits += office.Calls()[i].operation == "Quit";
    }
    EXPECT_EQ(quits, c.quit ? 1 : 0);
  }
}

TEST(OfficeImportRules, TitlesColumnIdsSheetNamesAndRemovals) {
  const struct {
    const char16_t* path;
    const char16_t* title;  // null: invalid procedure call
  } titles[] = {
      {u"C:\\my.docs\\Report.doc", u"Report"},
      {u"D:\\Annual.Report.2005.doc", u"Annual"},
      {u"/home/u/ver1.2/a.b.doc", u"a"},
      {u"C:\\ver1.2\\noext", nullptr},
      {u".hidden.doc", u""},
      {u"plain", nullptr},
  };
  for (const auto& c : titles) {
    SCOPED_TRACE(codepage::ToUtf8(c.path));
    if (c.title) {
      EXPECT_EQ(TitleFromPath(c.path), c.title);
    } else {
      EXPECT_EQ(ErrorOf([&] { TitleFromPath(c.path); }).Number(), err::kInvalidCall);
    }
  }

  const struct {
    const char16_t* text;
    int32_t number;
    int32_t error;
  } columns[] = {{u"12", 12, 0},
                 {u" -7 ", -7, 0},
                 {u"2.5", 2, 0},
                 {u"3.5", 4, 0},
                 {u"1e3", 1000, 0},
                 {u"-2147483648", INT32_MIN, 0},
                 {u"abc", 0, err::kTypeMismatch},
                 {u"", 0, err::kTypeMismatch},
                 {u"12a", 0, err::kTypeMismatch},
                 {u"2147483648", 0, err::kOverflow},
                 {u"2147483647.5", 0, err::kOverflow},
                 {u"-1e10", 0, err::kOverflow},
                 {u"1e400", 0, err::kOverflow},
                 {u"-1e400", 0, err::kOverflow},
                 {u"9e99", 0, err::kOverflow},
                 {u"0.00001e400", 0, err::kOverflow},
                 {u"1e-400", 0, 0},
                 {u"100000e-400", 0, 0},
                 {u"-2147483648.5", INT32_MIN, 0}};
  for (const auto& c : columns) {
    SCOPED_TRACE(codepage::ToUtf8(c.text));
    if (c.error == 0) {
      EXPECT_EQ(ColumnIdNumber(c.text), c.number);
    } else {
      EXPECT_EQ(ErrorOf([&] { ColumnIdNumber(c.text); }).Number(), c.error);
    }
  }

  const struct {
    int32_t number;
    const char16_t* name;
  } sheets[] = {{1, u"sheet001.htm"},   {10, u"sheet010.htm"},    {100, u"sheet100.htm"},
                {999, u"sheet999.htm"}, {1000, u"sheet1000.htm"}, {12345, u"sheet12345.htm"}};
  for (const auto& c : sheets) EXPECT_EQ(SheetFileName(c.number), c.name);

  EXPECT_EQ(WithTableBorders(u"<table border=\"0\"><table border=\"01\"><td border=\"0\">"),
            u"<table borderColor=#000000 border=1><table border=\"01\"><td borderColor=#000000 "
            u"border=1>");
  EXPECT_EQ(SlidePictureName(2052, 3), u"幻灯片3.jpg");
  EXPECT_EQ(SlidePictureName(1028, 12), u"Slide12.jpg");
}

}  // namespace
}  // namespace velmaris
