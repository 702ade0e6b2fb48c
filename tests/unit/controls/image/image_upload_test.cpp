#include "controls/image/image_upload.h"

#include <gtest/gtest.h>

#include "base/error.h"
#include "controls/image/picture_options.h"
#include "tests/unit/controls/image/picture_world.h"

namespace velmaris {
namespace {

constexpr char16_t kSep[] = u"----abcdefghijklmnopqrstuvwxyz----";
constexpr char16_t kRefused[] = u"为不可识别的图片格式，请选择*.jpg,*.bmp或*.gif文件";

using FieldList = std::vector<std::pair<std::string, std::string>>;

class ImageUploadTest : public testing::PictureWorld {
 protected:
  ImageUpload control{platform};
  Form& form = control.GetForm();

  void SetUp() override {
    AnswerRequests();
    control.Init(u"http://up:81/cms/upload.asp", u"http://post/cms/savepost.asp", u"pics", 12,
                 u"编辑", u"W", 3, 2);
  }
  void Click(const char16_t* name) { form[name].on_click(); }
  void Tick(const char16_t* name, int checked) {
    form[name].SetChecked(checked);
    form[name].on_click();
  }
  void Choose(const std::u16string& answer) {
    ui.QueueFileDialogAnswer(answer);
    Click(u"btnAddFile");
  }
  const std::vector<std::u16string>& Entries() { return form[u"lstFileList"].Items(); }
  std::string State() { return testing::ButtonState(form); }
  const std::u16string& Log() { return form[u"txtLog"].Text(); }
};

TEST_F(ImageUploadTest, NewControlShowsItsListsAndInitialStates) {
  const struct {
    const char16_t* name;
    const char16_t* text;
    bool enabled;
    int checked;
  } children[] = {
      {u"Frame1", u"准备要导入的图片", true, 0},
      {u"chkSmallPic", u"缩略", true, 1},
      {u"chkStamp", u"加文字水印", true, 1},
      {u"txtStampText", u"W", true, 0},
      {u"cmbColor", u"红", true, 0},
      {u"cmbPosition", u"左上右下", true, 0},
      {u"chkImgStamp", u"加图片水印", true, 0},
      {u"cmbPos", u"右下", false, 0},
      {u"Label3", u"水印图片请上传到/cms/images/watermark/，文件名：watermark1.gif", true, 0},
      {u"optNameByPic", u"同图片名称", true, 0},
      {u"optNameBySet", u"统一使用设定标题", true, 1},
      {u"txtTitle", u"", true, 0},
      {u"txtLog", u"", true, 0},
  };
  for (const auto& c : children) {
    SCOPED_TRACE(codepage::ToUtf8(c.name));
    EXPECT_EQ(form[c.name].Text(), c.text);
    EXPECT_EQ(form[c.name].Enabled(), c.enabled);
    EXPECT_EQ(form[c.name].Checked(), c.checked);
  }
  EXPECT_EQ(State(), testing::kEmpty);
  EXPECT_TRUE(form[u"lstFileList"].MultiSelect());
  EXPECT_EQ(form[u"lstFileList"].Container(), u"Frame1");
  EXPECT_EQ(form[u"optNameByPic"].Container(), form[u"optNameBySet"].Container());

  const struct {
    const char16_t* name;
    std::vector<std::u16string> items;
    std::vector<int32_t> values;
    int selected;
  } lists[] = {
      {u"cmbColor",
       {u"红", u"蓝", u"黄", u"绿", u"黑", u"白", u"灰"},
       {-65536, -16776961, -256, -16711936, -16777216, -1, -8355712},
       0},
      {u"cmbPosition",
       {u"左上", u"居中", u"右下", u"左上右下", u"左下右上"},
       {1, 16, 256, 8, 24},
       3},
      {u"cmbPos", {u"左上", u"右上", u"左下", u"右下"}, {1, 2, 4, 5}, 3},
  };
  for (const auto& list : lists) {
    SCOPED_TRACE(codepage::ToUtf8(list.name));
    FormControl& combo = form[list.name];
    EXPECT_EQ(combo.Items(), list.items);
    for (size_t i = 0; i < list.values.size(); ++i) {
      EXPECT_EQ(combo.ItemData(static_cast<int>(i)), list.values[i]) << i;
    }
    EXPECT_EQ(combo.ListIndex(), list.selected);
  }
}

TEST_F(ImageUploadTest, InitKeepsTheUploadHostAndOnlyThePostPath) {
  ImageUpload fresh(platform);
  EXPECT_EQ(fresh.Transfer().Host(), u"127.0.0.1");
  EXPECT_EQ(fresh.Transfer().Port(), u"80");
  EXPECT_EQ(fresh.Transfer().Path(), u"/cms/upload.asp");
  EXPECT_EQ(fresh.PostPath(), u"");

  fresh.Init(u"http://s:8080/cms/upload.asp", u"http://other/cms/savepost.asp", u"d", 7, u"u",
             u"水印");
  EXPECT_EQ(fresh.Transfer().Host(), u"s");
  EXPECT_EQ(fresh.Transfer().Port(), u"8080");
  EXPECT_EQ(fresh.Transfer().Path(), u"/cms/upload.asp");
  EXPECT_EQ(fresh.PostPath(), u"/cms/savepost.asp");
  EXPECT_EQ(fresh.IssueId(), u"0");
  EXPECT_EQ(fresh.ObjectType(), u"1");
  EXPECT_EQ(fresh.GetForm()[u"txtStampText"].Text(), u"水印");

  // A port named only by the post address stays; a bad address keeps what was set before it.
  fresh.Init(u"http://b/up.asp", u"http://a:9/p.asp", u"e", 8, u"v", u"x");
  EXPECT_EQ(fresh.Transfer().Port(), u"9");
  try {
    fresh.Init(u"ftp://x/", u"http://p/new.asp", u"new", 99, u"w", u"y");
    ADD_FAILURE() << "no error";
  } catch (const VbError& error) {
    EXPECT_EQ(error.Number(), err::kObjectError);
    EXPECT_EQ(error.Description(), u"错误的URL");
  }
  EXPECT_EQ(fresh.CurPath(), u"new");
  EXPECT_EQ(fresh.PostPath(), u"/new.asp");
  EXPECT_EQ(fresh.ColumnId(), 8);
  EXPECT_EQ(fresh.GetForm()[u"txtStampText"].Text(), u"x");
}

TEST_F(ImageUploadTest, StartUploadAddsToThePackageAsItStands) {
  const auto a = MakePicture("a.jpg");
  const auto b = MakePicture("b.gif");
  reply_body = "/files/a.jpg";
  control.addFormData(u"note", u"说明");
  control.StartUpload(a);
  control.StartUpload(b);

  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(RequestLine(requests[1]), "POST /cms/upload.asp HTTP/1.1");
  EXPECT_EQ(Fields(requests[1]), (FieldList{{"note", Gbk(u"说明")}}));
  // The first picture goes again with the second: nothing empties the package in between.
  EXPECT_NE(requests[1].find("name=\"a.jpg\"; filename=\"" + Gbk(a) + "\""), std::string::npos);
  EXPECT_NE(requests[1].find("name=\"b.gif\"; filename=\"" + Gbk(b) + "\""), std::string::npos);
  EXPECT_EQ(control.Reply(), u"/files/a.jpg");
  EXPECT_EQ(form[u"pbFile"].Value(), 100);

  try {
    control.StartUpload(files.U16("gone.jpg"));
    ADD_FAILURE() << "no error";
  } catch (const VbError& error) {
    EXPECT_EQ(error.Number(), err::kFileNotFound);
  }
  EXPECT_EQ(requests.size(), 2u);
}

TEST_F(ImageUploadTest, AddDialogJudgesExtensionsAndPreviewsTheFirstOfSeveral) {
  const std::u16string folder = files.U16();
  MakePicture("a.jpg", 800, 600);
  const struct {
    const char* what;
    std::u16string answer;
    std::vector<std::u16string> added;
    std::vector<std::u16string> refused;
  } cases[] = {
      {"one file, capitals", u"C:\\p\\Photo.JPG", {u"C:\\p\\Photo.JPG"}, {}},
      {"one file: only the last three characters count", u"C:\\p\\xjpg", {u"C:\\p\\xjpg"}, {}},
      {"one file that is no picture", u"C:\\p\\a.png", {}, {u"C:\\p\\a.png"}},
      {"one file with a four-letter extension", u"C:\\p\\photo.jpeg", {}, {u"C:\\p\\photo.jpeg"}},
      {"several: the text after the last dot counts; a trailing empty name is no file",
       Several({folder, u"a.jpg", u"b.png", u"c.gif", u"x.tar.gif", u"y.jpeg", u""}),
       {folder + testing::kSeparator + u"a.jpg", folder + testing::kSeparator + u"c.gif",
        folder + testing::kSeparator + u"x.tar.gif"},
       {folder + testing::kSeparator + u"b.png", folder + testing::kSeparator + u"y.jpeg"}},
      {"several in a Windows folder",
       Several({u"C:\\p\\", u"d.bmp", u"e.GIF"}),
       {u"C:\\p\\d.bmp", u"C:\\p\\e.GIF"},
       {}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ImageUpload fresh(platform);
    ui.ClearHistory();
    ui.QueueFileDialogAnswer(c.answer);
    fresh.GetForm()[u"btnAddFile"].on_click();
    EXPECT_EQ(fresh.GetForm()[u"lstFileList"].Items(), c.added);
    std::vector<std::u16string> boxes;
    for (const auto& refused : c.refused) boxes.push_back(refused + kRefused);
    EXPECT_EQ(Boxes(), boxes);
    EXPECT_EQ(testing::ButtonState(fresh.GetForm()),
              c.added.empty() ? testing::kEmpty : testing::kReady);
  }
  const auto& dialog = ui.History().front();
  EXPECT_EQ(dialog.text,
            u"All Image File|*.jpg;*.bmp;*.gif|BMP File(*.bmp)|*.bmp|JPG File(*.jpg)|*.jpg"
            u"|GIF File(*.gif)|*.gif");

  // Several files: the first entry is selected and previewed.
  Choose(Several({folder, u"a.jpg", u"b.png", u"c.gif"}));
  FormControl& list = form[u"lstFileList"];
  EXPECT_EQ(list.ListIndex(), 0);
  EXPECT_TRUE(list.Selected(0));
  EXPECT_FALSE(list.Selected(1));
  EXPECT_EQ(form[u"imgPreview"].Picture(), folder + testing::kSeparator + u"a.jpg");
  EXPECT_EQ(form[u"lblImgName"].Text(), u"a.jpg\r\n800　×　600");

  // A cancelled dialog changes nothing, whatever the list holds.
  ui.ClearHistory();
  list.SetListIndex(1);
  ui.QueueFileDialogAnswer(std::nullopt);
  Click(u"btnAddFile");
  EXPECT_EQ(Entries().size(), 2u);
  EXPECT_EQ(list.ListIndex(), 1);
  EXPECT_EQ(Boxes().size(), 0u);

  // A first entry that cannot be shown ends the handler quietly; the entries stay.
  ImageUpload other(platform);
  files.Write("broken.jpg", "no picture");
  ui.QueueFileDialogAnswer(Several({folder, u"broken.jpg", u"a.jpg"}));
  other.GetForm()[u"btnAddFile"].on_click();
  EXPECT_EQ(other.GetForm()[u"lstFileList"].Items().size(), 2u);
  EXPECT_EQ(other.GetForm()[u"lblImgName"].Text(), u"");
}

TEST_F(ImageUploadTest, PreviewTooltipAndRemoving) {
  const auto a = MakePicture("a.jpg", 800, 600);
  const auto b = MakePicture("b.gif", 801, 601);
  Choose(a);
  Choose(b);
  Choose(a);  // the same picture may be listed twice
  FormControl& list = form[u"lstFileList"];
  list.SetListIndex(1);
  Click(u"lstFileList");
  EXPECT_EQ(form[u"lblImgName"].Text(), u"b.gif\r\n801　×　601");
  EXPECT_EQ(form[u"imgPreview"].Picture(), b);

  const struct {
    int index;
    std::u16string tooltip;
  } hovers[] = {{0, a}, {1, b}, {-1, u""}, {3, u""}};
  for (const auto& hover : hovers) {
    list.on_hover_item(hover.index);
    EXPECT_EQ(list.ToolTip(), hover.tooltip) << hover.index;
  }

  // A picture that cannot be loaded fails the click and leaves the preview.
  files.Write("b.gif", "GIF89a");
  try {
    Click(u"lstFileList");
    ADD_FAILURE() << "no error";
  } catch (const VbError& error) {
    EXPECT_EQ(error.Number(), 481);
  }
  EXPECT_EQ(form[u"lblImgName"].Text(), u"b.gif\r\n801　×　601");

  list.SetSelected(0, true);
  list.SetSelected(2, true);
  Click(u"btnDelFile");
  EXPECT_EQ(Entries(), std::vector<std::u16string>{b});
  EXPECT_EQ(State(), testing::kReady);
  EXPECT_EQ(form[u"imgPreview"].Picture(), b);
  list.SetSelected(0, true);
  Click(u"btnDelFile");
  EXPECT_EQ(State(), testing::kEmpty);
}

TEST_F(ImageUploadTest, TogglesAndTheWatermarkTextCheck) {
  const FormControl* stamp_controls[] = {&form[u"txtStampText"], &form[u"Label1"],
                                         &form[u"Label2"],       &form[u"cmbColor"],
                                         &form[u"cmbPosition"],  &form[u"Label11"]};
  Tick(u"chkStamp", 0);
  for (const auto* child : stamp_controls) {
    EXPECT_FALSE(child->Enabled()) << codepage::ToUtf8(child->Name());
  }
  Tick(u"chkStamp", 1);
  for (const auto* child : stamp_controls) {
    EXPECT_TRUE(child->Enabled()) << codepage::ToUtf8(child->Name());
  }
  Tick(u"chkImgStamp", 1);
  EXPECT_TRUE(form[u"cmbPos"].Enabled());
  Tick(u"chkImgStamp", 0);
  EXPECT_FALSE(form[u"cmbPos"].Enabled());
  form[u"optNameBySet"].SetChecked(0);
  Tick(u"optNameByPic", 1);
  EXPECT_FALSE(form[u"txtTitle"].Enabled());
  form[u"optNameByPic"].SetChecked(0);
  Tick(u"optNameBySet", 1);
  EXPECT_TRUE(form[u"txtTitle"].Enabled());

  // A blank watermark text stops the batch before anything is sent, when it is wanted.
  const auto a = MakePicture("a.jpg");
  Choose(a);
  form[u"txtLog"].SetText(u"earlier");
  const struct {
    int stamp;
    const char16_t* text;
    bool sent;
  } cases[] = {{1, u"  ", false}, {1, u"", false}, {0, u"", true}, {1, u" W ", true}};
  for (const auto& c : cases) {
    SCOPED_TRACE(codepage::ToUtf8(c.text));
    ui.ClearHistory();
    requests.clear();
    if (Entries().empty()) Choose(a);
    ui.ClearHistory();
    Tick(u"chkStamp", c.stamp);
    form[u"txtStampText"].SetText(c.text);
    Click(u"btnBegin");
    EXPECT_EQ(!requests.empty(), c.sent);
    if (!c.sent) {
      ASSERT_EQ(ui.History().size(), 2u);
      EXPECT_EQ(ui.History()[1].text, u"请输入水印文字");
      EXPECT_EQ(ui.History()[1].caption, u"导入图片");
      EXPECT_EQ(ui.History()[1].style, msgbox::kOkOnly);
      EXPECT_EQ(Log(), u"");
      EXPECT_EQ(Entries().size(), 1u);
    }
    EXPECT_EQ(State(), testing::kDone);
  }
}

TEST_F(ImageUploadTest, TwoPicturesGoUpAndBecomeTwoArticles) {
  const auto a = MakePicture("a.jpg");
  const auto b = MakePicture("b.gif");
  Choose(a);
  Choose(b);
  form[u"txtTitle"].SetText(u"T");
  reply = [](int n, const std::string&) {
    return Ok(n % 2 == 1 ? "<a href=x>Click</a>Click click" : "OK");
  };
  std::vector<std::string> states;
  std::vector<double> overall;
  on_request = [&](int) {
    states.push_back(State());
    overall.push_back(form[u"ProgressBar"].Value());
  };
  Click(u"btnBegin");

  const auto& confirm = ui.History().back();
  EXPECT_EQ(confirm.text, u"是否确认要进行上传操作？");
  EXPECT_EQ(confirm.caption, u"图片导入");
  EXPECT_EQ(confirm.style, msgbox::kYesNo);

  ASSERT_EQ(requests.size(), 4u);
  const FieldList upload{
      {"curpath", "pics"},   {"contentid", "-1"},       {"author", Gbk(u"编辑")},
      {"thumbnail", "Yes"},  {"thumbnailalt", "Click"}, {"thumbnailtarget", "about:blank"},
      {"watermark", "Yes"},  {"wmtext", "W"},           {"wmposition", "8"},
      {"wmcolor", "-65536"}, {"imgstamp", "No"}};
  const std::string content =
      Gbk(std::u16string(u"<a href=x>点击看大图</a>点击看大图 click") + kSep);
  const FieldList post{{"columnid", "12"}, {"issueid", "3"},     {"objecttype", "2"},
                       {"title", "T"},     {"content", content}, {"author", Gbk(u"编辑")}};
  const std::u16string paths[] = {a, b};
  const char* names[] = {"a.jpg", "b.gif"};
  for (int i = 0; i < 2; ++i) {
    SCOPED_TRACE(i);
    const std::string& sent = requests[static_cast<size_t>(2 * i)];
    EXPECT_EQ(RequestLine(sent), "POST /cms/upload.asp HTTP/1.1");
    EXPECT_NE(sent.find("Host: up:81\r\n"), std::string::npos);
    EXPECT_EQ(Fields(sent), upload);
    EXPECT_EQ(FilePart(sent), (std::pair<std::string, std::string>{names[i], Gbk(paths[i])}));
    const std::string& article = requests[static_cast<size_t>(2 * i + 1)];
    EXPECT_TRUE(IsPost(article));
    EXPECT_NE(article.find("Host: up:81\r\n"), std::string::npos);
    EXPECT_EQ(FilePart(article).first, "");
    EXPECT_EQ(Fields(article), post);
  }
  EXPECT_EQ(Log(), u"开始处理图片上传：\r\n上传 " + a + u"完成！\r\n上传 " + b +
                       u"完成！\r\n本次上传图片全部传输完成！\r\n");
  EXPECT_EQ(states, std::vector<std::string>(4, testing::kRunning));
  EXPECT_EQ(overall, (std::vector<double>{50, 50, 100, 100}));
  EXPECT_TRUE(Entries().empty());
  EXPECT_EQ(State(), testing::kDone);
  EXPECT_EQ(control.Transfer().Path(), u"/cms/upload.asp");
  EXPECT_FALSE(control.Running());
  EXPECT_TRUE(TempIsEmpty());
}

TEST_F(ImageUploadTest, UploadFieldsFollowTheOptionsOfTheMoment) {
  const struct {
    const char* what;
    std::function<void(Form&)> set;
    FieldList fields;
  } cases[] = {
      {"thumbnail and text watermark off",
       [](Form& f) {
         f[u"chkSmallPic"].SetChecked(0);
         f[u"chkStamp"].SetChecked(0);
       },
       {{"curpath", "pics"},
        {"contentid", "-1"},
        {"author", Gbk(u"编辑")},
        {"thumbnail", "No"},
        {"watermark", "No"},
        {"imgstamp", "No"}}},
      {"picture watermark at its default position, other colour and place",
       [](Form& f) {
         f[u"chkImgStamp"].SetChecked(1);
         f[u"cmbColor"].SetListIndex(6);
         f[u"cmbPosition"].SetListIndex(1);
         f[u"txtStampText"].SetText(u" 版权 ");
       },
       {{"curpath", "pics"},
        {"contentid", "-1"},
        {"author", Gbk(u"编辑")},
        {"thumbnail", "Yes"},
        {"thumbnailalt", "Click"},
        {"thumbnailtarget", "about:blank"},
        {"watermark", "Yes"},
        {"wmtext", Gbk(u" 版权 ")},
        {"wmposition", "16"},
        {"wmcolor", "-8355712"},
        {"imgstamp", "Yes"},
        {"imgstamppos", "5"}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ImageUpload fresh(platform);
    fresh.Init(u"http://up/cms/upload.asp", u"http://up/cms/savepost.asp", u"pics", 1, u"编辑",
               u"W");
    c.set(fresh.GetForm());
    FieldList got;
    for (const auto& [name, value] : fresh.UploadFields()) got.emplace_back(Gbk(name), Gbk(value));
    EXPECT_EQ(got, c.fields);
  }
}

TEST_F(ImageUploadTest, TitleComesFromThePictureNameOrTheCommonTitle) {
  const struct {
    const char* file;
    bool by_picture;
    const char16_t* title;
  } cases[] = {
      {"Sunset.Beach.JPG", true, u"Sunset.Beach"},
      {"x.jpg.jpg", true, u"x"},
      {"x.JPG.jpg", true, u"x.JPG"},  // the extension's case counts
      {"Sunset.Beach.JPG", false, u" 共同 标题 "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.file);
    requests.clear();
    Choose(MakePicture(c.file));
    form[u"optNameByPic"].SetChecked(c.by_picture ? 1 : 0);
    form[u"optNameBySet"].SetChecked(c.by_picture ? 0 : 1);
    form[u"txtTitle"].SetText(u" 共同 标题 ");
    Click(u"btnBegin");
    ASSERT_EQ(requests.size(), 2u);
    EXPECT_EQ(Field(requests[1], "title"), Gbk(c.title));
  }
}

TEST_F(ImageUploadTest, CancelFinishesThePictureInHandAndIgnoresANewStart) {
  std::vector<std::u16string> paths;
  for (const char* name : {"1.jpg", "2.jpg", "3.jpg"}) {
    paths.push_back(MakePicture(name));
    Choose(paths.back());
  }
  std::string stopping;
  int boxes_before_restart = 0;
  on_request = [&](int n) {
    if (n != 1) return;
    Click(u"btnCancel");
    stopping = State();
    boxes_before_restart = static_cast<int>(ui.History().size());
    // The button is back, but this batch still owns the socket until its picture is done.
    Click(u"btnBegin");
    EXPECT_EQ(static_cast<int>(ui.History().size()), boxes_before_restart);
    EXPECT_EQ(State(), testing::kStopping);
  };
  Click(u"btnBegin");

  EXPECT_EQ(stopping, testing::kStopping);
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_TRUE(IsPost(requests[1]));
  EXPECT_EQ(Log(), u"开始处理图片上传：\r\n上传 " + paths[0] +
                       u"完成！\r\n本次上传图片全部传输完成！\r\n");
  EXPECT_TRUE(Entries().empty());
  EXPECT_EQ(State(), testing::kDone);
  EXPECT_FALSE(control.InBatch());
}

TEST_F(ImageUploadTest, AnsweringNoOrAnEmptyListSendsNothing) {
  const auto a = MakePicture("a.jpg");
  Choose(a);
  form[u"txtLog"].SetText(u"earlier");
  ui.QueueMessageBoxAnswer(msgbox::kNo);
  Click(u"btnBegin");
  EXPECT_TRUE(requests.empty());
  EXPECT_EQ(Entries(), std::vector<std::u16string>{a});
  EXPECT_EQ(Log(), u"earlier");
  EXPECT_EQ(State(), testing::kDone);

  // With the list emptied, the still enabled start button stops after its question.
  form[u"lstFileList"].SetSelected(0, true);
  Click(u"btnDelFile");
  form[u"btnBegin"].SetEnabled(true);
  form[u"btnDelFile"].SetEnabled(true);
  Click(u"btnBegin");
  EXPECT_TRUE(requests.empty());
  EXPECT_EQ(Log(), u"earlier");
  EXPECT_EQ(State(), testing::kDone);
}

TEST_F(ImageUploadTest, FailureEndsTheBatchWithTheErrorLinesAndReturnsToRest) {
  const std::u16string one = MakePicture("1.jpg");
  const std::u16string two = MakePicture("2.jpg");
  const std::u16string done = u"上传 " + one + u"完成！\r\n";
  const std::u16string lines = u"系统错误，操作被强行终止，错误描述：\r\n";
  const std::string refusal = "HTTP/1.1 404 Not Found\r\nContent-Length: 4\r\n\r\ngone";
  const std::u16string not_taken = u"(-2147220991)[VelmarisClient]";
  const struct {
    const char* what;
    bool init;
    int vanish_after;  // the second picture is deleted once this request went out
    size_t sent;
    std::u16string log;
    int refused = 0;  // the request answered with `refusal`
  } cases[] = {
      // No article is posted from a refused upload.
      {"the second upload refused", true, 0, 3,
       done + u"上传 " + two + u"传输遇到错误：" + codepage::FromUtf8(refusal) + u"\r\n" + lines +
           not_taken + two + u"：图片上传失败：服务器返回状态 404;\r\n",
       3},
      {"the first article refused", true, 0, 2,
       done + u"传输遇到错误：" + codepage::FromUtf8(refusal) + u"\r\n" + lines + not_taken + one +
           u"：文章发布失败：服务器返回状态 404;\r\n",
       2},
      {"the second picture vanished", true, 2, 2,
       done + u"上传 " + two + u"\r\n" + lines + u"(53)[VelmarisClient]" + two +
           u"：文件未找到;\r\n"},
      {"no post address given", false, 0, 1,
       done + lines + u"(-2147221504)[Error]" + one + u"：尚未设置文章的发布地址;\r\n"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    testing::WriteJpg(codepage::ToUtf8(two), 40, 30);
    ImageUpload fresh(platform);
    AnswerRequests();
    Form& f = fresh.GetForm();
    if (c.init) {
      fresh.Init(u"http://up/cms/upload.asp", u"http://up/cms/savepost.asp", u"d", 1, u"u", u"W");
    } else {
      f[u"txtStampText"].SetText(u"W");
    }
    for (const auto& path : {one, two}) {
      ui.QueueFileDialogAnswer(path);
      f[u"btnAddFile"].on_click();
    }
    on_request = [&](int n) {
      if (n == c.vanish_after) std::filesystem::remove(codepage::ToUtf8(two));
    };
    reply = [&](int n, const std::string&) { return n == c.refused ? refusal : Ok("OK"); };
    f[u"btnBegin"].on_click();

    EXPECT_EQ(requests.size(), c.sent);
    EXPECT_EQ(f[u"txtLog"].Text(), u"开始处理图片上传：\r\n" + c.log);
    EXPECT_EQ(f[u"lstFileList"].Items(), (std::vector<std::u16string>{one, two}));
    EXPECT_EQ(testing::ButtonState(f), testing::kDone);
    EXPECT_FALSE(fresh.Running());
    EXPECT_FALSE(fresh.InBatch());
    EXPECT_EQ(fresh.Transfer().Path(), u"/cms/upload.asp");

    // The error is shown once: the next question answered No adds nothing to the log.
    const std::u16string log = f[u"txtLog"].Text();
    ui.QueueMessageBoxAnswer(msgbox::kNo);
    f[u"btnBegin"].on_click();
    EXPECT_EQ(f[u"txtLog"].Text(), log);
  }
  on_request = nullptr;
  reply = nullptr;
}

// The option rules without a form: a drop-down a ticked option reads must have an entry
// selected, and the checks before a batch name what is wrong.
TEST(PictureOptionsTest, MissingSelectionsAndProblems) {
  PictureOptions stamped;
  stamped.watermark = true;
  stamped.stamp_position = 1;
  stamped.stamp_color = 2;
  PictureStampOptions picture_stamp;
  picture_stamp.on = true;
  const struct {
    const char* what;
    std::function<void(PictureOptions&)> unset;
  } raising[] = {
      {"no position", [](PictureOptions& o) { o.stamp_position.reset(); }},
      {"no colour", [](PictureOptions& o) { o.stamp_color.reset(); }},
      {"no picture stamp position", nullptr},
  };
  for (const auto& c : raising) {
    SCOPED_TRACE(c.what);
    PictureOptions options = stamped;
    if (c.unset) c.unset(options);
    try {
      if (c.unset) ImageImportFields({}, options, {});
      ImageUploadFields({}, options, picture_stamp);
      ADD_FAILURE() << "no error";
    } catch (const VbError& error) {
      EXPECT_EQ(error.Number(), err::kInvalidCall);
    }
  }
  EXPECT_EQ(ImageUploadFields({}, {}, {}).size(), 2u);  // "watermark", "imgstamp"

  const struct {
    const char16_t* path;
    bool alone;
    bool picture;
  } files[] = {{u"/p/a.JPG", false, true}, {u"/p/a.jpeg", false, false}, {u"/p/xgif", true, true},
               {u"/p/xgif", false, false}, {u"/p.bmp/x", false, false},  {u"mp", true, false}};
  for (const auto& c : files) {
    EXPECT_EQ(IsPictureFile(c.path, c.alone), c.picture) << codepage::ToUtf8(c.path) << c.alone;
  }

  auto stamp_text = [](const char16_t* text, bool open) {
    PictureOptions options;
    options.stamp_text = text;
    options.stamp_text_open = open;
    return options;
  };
  auto scale = [](int index, bool open, const char16_t* width, const char16_t* height) {
    ScaleOptions options;
    options.index = index;
    options.open = open;
    options.width = width;
    options.height = height;
    return options;
  };
  const struct {
    PictureOptions options;
    ScaleOptions scale;
    std::u16string problem;
  } problems[] = {
      {stamp_text(u"  ", true), {}, u"请输入水印文字"},
      {stamp_text(u" \t", true), {}, u""},  // only blanks are trimmed
      {stamp_text(u" ", false), {}, u""},
      {{}, scale(0, true, u"1", u"1a"), u"请输入半角数字"},
      {{}, scale(0, false, u"x", u"x"), u""},
      {{}, scale(1, true, u"1", u"x"), u""},
  };
  for (const auto& c : problems) {
    const char16_t* problem = SizeBoxProblem(c.scale);
    if (problem == nullptr) problem = StampTextProblem(c.options);
    EXPECT_EQ(problem == nullptr ? u"" : std::u16string(problem), c.problem);
  }
}

}  // namespace
}  // namespace velmaris
