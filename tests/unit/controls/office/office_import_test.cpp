#include "controls/office/office_import.h"

#include <gtest/gtest.h>

#include "base/error.h"
#include "tests/unit/controls/office/office_world.h"

namespace velmaris {
namespace {

constexpr char kSep[] = "----abcdefghijklmnopqrstuvwxyz----";

class OfficeImportTest : public testing::OfficeWorld {
 protected:
  OfficeImport control{platform};
  Form& form = control.GetForm();

  void SetUp() override {
    AnswerEveryRequest();
    control.Init(u"http://up:81/cms/upload.asp", u"http://post/cms/savepost.asp", u"2008/05", 12,
                 u"编辑", 3, 2);
  }
  std::u16string MakeFile(const std::string& name, const std::string& bytes) {
    return codepage::FromUtf8(files.Write(name, bytes).string());
  }
  void Click(const char16_t* name) { form[name].on_click(); }
  const std::vector<std::u16string>& Entries() { return form[u"List1"].Items(); }
  std::vector<std::u16string> Boxes() const {
    std::vector<std::u16string> texts;
    for (const auto& shown : ui.History()) {
      if (shown.kind == u"msgbox") texts.push_back(shown.text);
    }
    return texts;
  }
  // Command1/2 shown, Command3 enabled, Command4 enabled, options enabled, pbFile shown.
  std::string State() {
    auto bit = [](bool on) { return on ? '1' : '0'; };
    return {bit(form[u"Command1"].Visible() && form[u"Command2"].Visible()),
            bit(form[u"Command3"].Enabled()), bit(form[u"Command4"].Enabled()),
            bit(form[u"Check1"].Enabled() && form[u"Check2"].Enabled() &&
                form[u"txtWidth"].Enabled() && form[u"txtHeight"].Enabled()),
            bit(form[u"pbFile"].Visible())};
  }
  static constexpr char kIdle[] = "11010";
  static constexpr char kImporting[] = "00101";
  static constexpr char kFinishingAfterCancel[] = "11000";
};

TEST_F(OfficeImportTest, StartsIdleWithItsDefaultOptions) {
  EXPECT_EQ(State(), kIdle);
  EXPECT_EQ(form[u"Check1"].Checked(), 0);
  EXPECT_EQ(form[u"Check2"].Checked(), 1);
  EXPECT_EQ(form[u"txtWidth"].Text(), u"800");
  EXPECT_EQ(form[u"txtHeight"].Text(), u"600");
  EXPECT_EQ(form[u"List1"].Container(), u"Frame1");
  EXPECT_FALSE(form[u"List1"].MultiSelect());
}

TEST_F(OfficeImportTest, InitTakesHostAndPortFromTheUploadAddressAndOnlyThePostPath) {
  EXPECT_EQ(control.Transfer().Host(), u"up");
  EXPECT_EQ(control.Transfer().Port(), u"81");
  EXPECT_EQ(control.Transfer().Path(), u"/cms/upload.asp");
  EXPECT_EQ(control.PostPath(), u"/cms/savepost.asp");
  EXPECT_EQ(control.CurPath(), u"2008/05");
  EXPECT_EQ(control.ColumnId(), 12);
  EXPECT_EQ(control.UserName(), u"编辑");
  EXPECT_EQ(control.IssueId(), u"3");
  EXPECT_EQ(control.ObjectType(), u"2");

  OfficeImport fresh(platform);
  EXPECT_EQ(fresh.Transfer().Host(), u"127.0.0.1");
  EXPECT_EQ(fresh.Transfer().Path(), u"/cms/upload.asp");
  EXPECT_EQ(fresh.PostPath(), u"");
  fresh.Init(u"http://b/", u"http://a:9/p", u"d", 1, u"u");
  EXPECT_EQ(fresh.IssueId(), u"0");
  EXPECT_EQ(fresh.ObjectType(), u"1");
  EXPECT_EQ(fresh.Transfer().Port(), u"9");  // a port named only by the post address stays

  // A bad upload address: folder and post path are already taken, the rest keeps its values.
  try {
    control.Init(u"ftp://x/", u"http://p/new.asp", u"new", 99, u"other");
    ADD_FAILURE() << "no error";
  } catch (const VbError& error) {
    EXPECT_EQ(error.Number(), err::kObjectError);
    EXPECT_EQ(error.Description(), u"错误的URL");
  }
  EXPECT_EQ(control.CurPath(), u"new");
  EXPECT_EQ(control.PostPath(), u"/new.asp");
  EXPECT_EQ(control.ColumnId(), 12);
  EXPECT_EQ(control.UserName(), u"编辑");
}

TEST_F(OfficeImportTest, StartUploadSendsFolderIdAndAuthorWithTheFile) {
  auto path = MakeFile("图.png", "PNG");
  reply_body = "/files/2008/05/a.png";
  control.addFormData(u"stale", u"x");
  control.StartUpload(u"2008/05", path, -1);

  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(RequestLine(requests[0]), "POST /cms/upload.asp HTTP/1.1");
  EXPECT_NE(requests[0].find("name=\"\xCD\xBC.png\"; filename=\"" + codepage::ToGbk(path) + "\""),
            std::string::npos);
  EXPECT_EQ(Fields(requests[0]),
            (std::vector<std::pair<std::string, std::string>>{
                {"curPath", "2008/05/"}, {"contentid", "-1"}, {"author", "\xB1\xE0\xBC\xAD"}}));
  EXPECT_EQ(control.Reply(), u"/files/2008/05/a.png");
  EXPECT_EQ(form[u"pbFile"].Value(), 100);

  // A missing file fails before anything is sent and leaves the progress bar alone.
  form[u"pbFile"].SetValue(40);
  try {
    control.StartUpload(u"d", files.U16("gone.png"), 1);
    ADD_FAILURE() << "no error";
  } catch (const VbError& error) {
    EXPECT_EQ(error.Number(), err::kFileNotFound);
  }
  EXPECT_EQ(requests.size(), 1u);
  EXPECT_EQ(form[u"pbFile"].Value(), 40);
}

TEST_F(OfficeImportTest, CleanerPicturesGoUpThroughStartUpload) {
  files.Write("doc2html/a.files/p1.png", "PNG");
  reply_body = "/files/2008/05/p1.png";
  CleanerSettings settings;
  settings.work_dir = files.U16("doc2html") + u"\\";
  settings.picture_contentid = -1;
  const CleanResult result = control.Cleaner().Clean(
      u"<html><body><p>T</p><img src=\"a.files/p1.png\"></body></html>", settings);

  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(Field(requests[0], "curPath"), "2008/05/");
  EXPECT_EQ(Field(requests[0], "contentid"), "-1");
  EXPECT_NE(result.body.find(u"src=\"/files/2008/05/p1.png\""), std::u16string::npos);
}

TEST_F(OfficeImportTest, ImportTxtPostsTheArticleWithItsSevenFields) {
  std::u16string text = u"标题：春季报告\r\n作者：编辑部\r\n\r\na b\r\nc\r\n";
  EXPECT_EQ(control.ImportTxt(text, u"12a", u"编辑部"), 1);

  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(RequestLine(requests[0]), "POST /cms/savepost.asp HTTP/1.1");
  EXPECT_NE(requests[0].find("Host: up:81\r\n"), std::string::npos);
  EXPECT_EQ(Fields(requests[0]), (std::vector<std::pair<std::string, std::string>>{
                                     {"columnid", "12a"},
                                     {"issueid", "3"},
                                     {"objecttype", "2"},
                                     {"title", "\xB4\xBA\xBC\xBE\xB1\xA8\xB8\xE6"},
                                     {"content", std::string("a&nbsp;b<br>c<br>") + kSep},
                                     {"author", "\xB1\xE0\xBC\xAD\xB2\xBF"},
                                     {"curpath", "2008/05"}}));
  EXPECT_EQ(control.Transfer().Path(), u"/cms/upload.asp");
}

TEST_F(OfficeImportTest, ImportTxtFileReadsTheFileOrFailsWithItsError) {
  auto path = MakeFile("utf8.txt", "\xE6\x98\xA5\xE5\xAD\xA3\n\xE6\xAD\xA3\xE6\x96\x87\n");
  EXPECT_EQ(control.ImportTxtFile(path, -7, u"u"), 1);
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(Field(requests[0], "columnid"), "-7");
  EXPECT_EQ(Field(requests[0], "title"), "\xB4\xBA\xBC\xBE");  // 春季, read as UTF-8

  try {
    control.ImportTxtFile(files.U16("missing.txt"), 1, u"u");
    ADD_FAILURE() << "no error";
  } catch (const VbError& error) {
    EXPECT_EQ(error.Number(), err::kFileNotFound);
  }
  EXPECT_EQ(requests.size(), 1u);
}

TEST_F(OfficeImportTest, ListTakesPathsFromDialogDropAndScript) {
  control.AddFileToList(u"  /d/a.txt ");
  control.AddFileToList(u"/d/a.txt");  // already listed
  control.AddFileToList(u"");
  control.AddFileToList(u"   ");
  control.AddFileToList(u"/d/A.txt");  // case counts
  EXPECT_EQ(Entries(), (std::vector<std::u16string>{u"/d/a.txt", u"/d/A.txt"}));

  ui.QueueFileDialogAnswer(std::nullopt);
  Click(u"Command1");
  ui.QueueFileDialogAnswer(std::u16string(u"/d/b.doc"));
  Click(u"Command1");
  ui.QueueFileDialogAnswer(std::u16string(u"/d\0a.txt\0c.xls\0d.ppt", 20));
  Click(u"Command1");
  ui.QueueFileDialogAnswer(std::u16string(u"C:\\docs\0x.doc\0y.txt", 19));
  Click(u"Command1");
  form[u"List1"].on_drop({u"/d/b.doc", u"/e/folder", u"/e/z.txt"});
  EXPECT_EQ(Entries(), (std::vector<std::u16string>{
                           u"/d/a.txt", u"/d/A.txt", u"/d/b.doc", u"/d/c.xls", u"/d/d.ppt",
                           u"C:\\docs\\x.doc", u"C:\\docs\\y.txt", u"/e/folder", u"/e/z.txt"}));
  const auto& dialog = ui.History().front();
  EXPECT_EQ(dialog.kind, u"filedialog");
  EXPECT_EQ(dialog.text,
            u"所有Office文档(*.doc;*.docx;*.xls;*.xlsx;*.ppt;*.pptx;*.txt)"
            u"|*.doc;*.docx;*.xls;*.xlsx;*.ppt;*.pptx;*.txt|Word文档(*.doc;*.docx)|*.doc;*.docx"
            u"|Excel文档(*.xls;*.xlsx)|*.xls;*.xlsx|PowerPoint文档(*.ppt;*.pptx)|*.ppt;*.pptx"
            u"|纯文本文件(*.txt)|*.txt");

  // The tooltip names the entry under the pointer, nothing off the entries.
  FormControl& list = form[u"List1"];
  const struct {
    int index;
    const char16_t* tooltip;
  } hovers[] = {{2, u"/d/b.doc"}, {-1, u""}, {0, u"/d/a.txt"}, {9, u""}, {8, u"/e/z.txt"}};
  for (const auto& hover : hovers) {
    list.on_hover_item(hover.index);
    EXPECT_EQ(list.ToolTip(), hover.tooltip) << hover.index;
  }

  list.SetSelected(1, true);
  Click(u"Command2");
  Click(u"Command2");  // nothing selected any more
  EXPECT_EQ(Entries().size(), 8u);
  EXPECT_EQ(Entries()[1], u"/d/b.doc");
}

TEST_F(OfficeImportTest, RunMarksEntriesImportsTextAndSkipsWhatIsDone) {
  auto a = MakeFile("a.txt", "A\r\n");
  // Done only by the marks a run writes, not by a name that holds "完成".
  auto report = MakeFile("项目完成报告.txt", "X\r\n");
  auto done = MakeFile("b.txt", "B\r\n") + u"......完成";
  auto other = MakeFile("notes.pdf", "x");
  auto folder = files.U16("folder.d") + u"/file";
  for (const auto& path : {a, report, done, other, folder}) control.AddFileToList(path);
  std::vector<std::string> seen;
  on_request = [&](int n) {
    seen.push_back(State());
    EXPECT_EQ(Entries()[static_cast<size_t>(n - 1)], (n == 1 ? a : report) + u"...");
  };
  Click(u"Command3");

  EXPECT_EQ(seen, (std::vector<std::string>{kImporting, kImporting}));
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(Field(requests[0], "columnid"), "12");
  EXPECT_EQ(Field(requests[0], "author"), "\xB1\xE0\xBC\xAD");
  // Entries no importer takes are not done: they read their paths, and the editor is told once.
  EXPECT_EQ(Entries(), (std::vector<std::u16string>{a + u"......完成", report + u"......完成", done,
                                                    other, folder}));
  EXPECT_EQ(State(), kIdle);
  EXPECT_FALSE(control.Running());
  EXPECT_EQ(Boxes(), std::vector<std::u16string>{u"以下文件的类型不支持导入：\r\n" + other +
                                                 u"\r\n" + folder});
  EXPECT_EQ(ui.History().back().style, msgbox::kOkOnly | msgbox::kExclamation);

  Click(u"Command3");  // everything that can be imported is done now
  EXPECT_EQ(requests.size(), 2u);
  // The same path added again is a new entry: the old one's text has changed.
  control.AddFileToList(a);
  EXPECT_EQ(Entries().size(), 6u);
}

TEST_F(OfficeImportTest, SizeBoxesMustHoldNumbers) {
  const struct {
    const char16_t* height;
    const char16_t* width;
    const char16_t* box;
  } cases[] = {
      {u"", u"", u"图片高度必须为一数值！"},
      {u"600", u"宽", u"图片宽度必须为一数值！"},
      {u" 1.5e2 ", u"-3", nullptr},
  };
  control.AddFileToList(MakeFile("a.txt", "A"));
  for (const auto& c : cases) {
    SCOPED_TRACE(codepage::ToUtf8(c.height));
    ui.ClearHistory();
    form[u"txtHeight"].SetText(c.height);
    form[u"txtWidth"].SetText(c.width);
    Click(u"Command3");
    if (c.box) {
      EXPECT_EQ(Boxes(), std::vector<std::u16string>{c.box});
      EXPECT_EQ(ui.History().front().caption, u"");
      EXPECT_TRUE(requests.empty());
    } else {
      EXPECT_TRUE(Boxes().empty());
      EXPECT_EQ(requests.size(), 1u);
    }
    EXPECT_EQ(State(), kIdle);
  }
}

TEST_F(OfficeImportTest, OptionsAreTakenAtTheStart) {
  form[u"Check1"].SetChecked(1);
  form[u"Check2"].SetChecked(0);
  Click(u"Command3");
  EXPECT_TRUE(control.AutoPaginate());
  EXPECT_FALSE(control.CleanHtmlOption());
  EXPECT_FALSE(control.CleaningSettings().clean_html);
  form[u"Check2"].SetChecked(1);
  Click(u"Command3");
  EXPECT_TRUE(control.CleaningSettings().clean_html);
}

TEST_F(OfficeImportTest, CancelDuringTheSecondOfThreeEntries) {
  std::vector<std::u16string> paths;
  for (const char* name : {"1.txt", "2.txt", "3.txt"}) {
    paths.push_back(MakeFile(name, "t\r\n"));
    control.AddFileToList(paths.back());
  }
  std::string state_after_cancel;
  on_request = [&](int n) {
    if (n != 2) return;
    Click(u"Command4");
    state_after_cancel = State();
    // A start pressed while the cancelled run finishes its document is ignored.
    Click(u"Command3");
    EXPECT_EQ(State(), kFinishingAfterCancel);
  };
  Click(u"Command3");

  EXPECT_EQ(state_after_cancel, kFinishingAfterCancel);
  EXPECT_EQ(requests.size(), 2u);
  EXPECT_EQ(Entries(), (std::vector<std::u16string>{paths[0] + u"......完成",
                                                    paths[1] + u"......完成", paths[2]}));
  EXPECT_EQ(State(), kIdle);

  on_request = nullptr;
  Click(u"Command3");  // the next run takes the rest
  EXPECT_EQ(requests.size(), 3u);
  EXPECT_EQ(Entries()[2], paths[2] + u"......完成");
}

TEST_F(OfficeImportTest, EntryRemovedWhileACancelledRunFinishesIsNotMarked) {
  auto a = MakeFile("a.txt", "t");
  auto b = MakeFile("b.txt", "t");
  control.AddFileToList(a);
  control.AddFileToList(b);
  on_request = [&](int) {
    Click(u"Command4");
    form[u"List1"].SetSelected(0, true);
    Click(u"Command2");  // the delete button is back after a cancel
  };
  Click(u"Command3");
  EXPECT_EQ(Entries(), std::vector<std::u16string>{b});
  EXPECT_EQ(State(), kIdle);
}

TEST_F(OfficeImportTest, ImporterErrorIsShownAndTheEntryRestored) {
  const struct {
    const char* what;
    std::u16string failing;
    const char16_t* description;
    size_t requests = 1;
  } cases[] = {
      {"missing text file", files.U16("missing.txt"), u"文件未找到"},
      // Its article is the second request.
      {"post refused by the server", MakeFile("post.txt", "t"), u"文章发布失败：服务器返回状态 500",
       2},
      // This platform offers no office programs.
      {"Word document, any case", files.U16("Report.DOC"),
       u"对象变量或 With 块变量未设置：无法启动 Word.Application（没有可用的 Office 程序）"},
      {"Excel workbook", files.U16("a.xlsx"),
       u"对象变量或 With 块变量未设置：无法启动 Excel.Application（没有可用的 Office 程序）"},
      {"presentation", files.U16("a.ppt"),
       u"对象变量或 With 块变量未设置：无法启动 PowerPoint.Application（没有可用的 Office "
       u"程序）"},
  };
  auto first = MakeFile("first.txt", "t");
  auto last = MakeFile("last.txt", "t");
  status = [](int n) { return n == 2 ? "500 Internal Server Error" : "200 OK"; };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    OfficeImport fresh(platform);
    AnswerEveryRequest();
    requests.clear();
    ui.ClearHistory();
    fresh.Init(u"http://up/cms/upload.asp", u"http://up/cms/savepost.asp", u"d", 1, u"u");
    for (const auto& path : {first, c.failing, last}) fresh.AddFileToList(path);
    fresh.GetForm()[u"Command3"].on_click();

    const auto& entries = fresh.GetForm()[u"List1"].Items();
    EXPECT_EQ(entries, (std::vector<std::u16string>{first + u"......完成", c.failing, last}));
    EXPECT_EQ(requests.size(), c.requests);
    ASSERT_EQ(ui.History().size(), 1u);
    EXPECT_EQ(ui.History()[0].text, c.failing + u"\r\n" + c.description);
    EXPECT_EQ(ui.History()[0].style, msgbox::kOkOnly | msgbox::kCritical);
    EXPECT_FALSE(fresh.Running());
    EXPECT_TRUE(fresh.GetForm()[u"Command3"].Enabled());
    EXPECT_FALSE(fresh.GetForm()[u"Command4"].Enabled());
    EXPECT_FALSE(fresh.GetForm()[u"pbFile"].Visible());
    EXPECT_TRUE(fresh.GetForm()[u"Check1"].Enabled());
  }
}

// The list's marks without a form: only the marks a run writes make an entry done, and an entry
// is found again where it went.
TEST(ImportRunRules, MarksAndWhereAnEntryWent) {
  EXPECT_EQ(DoneEntry(u"a.txt"), u"a.txt......完成");
  const struct {
    const char16_t* entry;
    bool done;
  } marks[] = {{u"a.txt......完成", true},
               {u"项目完成报告.txt", false},
               {u"a.txt...完成", false},
               {u"a.txt...", false}};
  for (const auto& c : marks) EXPECT_EQ(IsDoneEntry(c.entry), c.done) << codepage::ToUtf8(c.entry);

  const std::vector<std::u16string> entries{u"a...", u"b", u"a..."};
  const struct {
    int index;
    const char16_t* text;
    int at;
  } finds[] = {{2, u"a...", 2}, {1, u"a...", 0}, {7, u"b", 1}, {0, u"c", -1}};
  for (const auto& c : finds) EXPECT_EQ(FindEntry(entries, c.index, c.text), c.at) << c.index;
}

}  // namespace
}  // namespace velmaris
