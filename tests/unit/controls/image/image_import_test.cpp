#include "controls/image/image_import.h"

#include <gtest/gtest.h>

#include "base/error.h"
#include "tests/unit/controls/image/picture_world.h"

namespace velmaris {
namespace {

constexpr char16_t kSep[] = u"----abcdefghijklmnopqrstuvwxyz----";

using FieldList = std::vector<std::pair<std::string, std::string>>;

class ImageImportTest : public testing::PictureWorld {
 protected:
  ImageImport control{platform};
  Form& form = control.GetForm();

  void SetUp() override {
    AnswerRequests();
    control.Init(u"http://up/cms/upload.asp", u"http://up/cms/savepost.asp", u"pics", 12, u"编辑",
                 u"W");
  }
  void Click(const char16_t* name) { form[name].on_click(); }
  void Tick(const char16_t* name, int checked) {
    form[name].SetChecked(checked);
    if (form[name].on_click) form[name].on_click();
  }
  // Chooses an option button of a group as a user would.
  void Choose(const char16_t* option) {
    for (const char16_t* other : {u"opOnePic", u"opOneCPagging", u"opOneC"}) {
      form[other].SetChecked(0);
    }
    Tick(option, 1);
  }
  void Scale(int index) {
    form[u"cmbScale"].SetListIndex(index);
    form[u"cmbScale"].SetText(form[u"cmbScale"].Items()[static_cast<size_t>(index)]);
    Click(u"cmbScale");
  }
  void List(const std::vector<std::u16string>& paths) {
    for (const auto& path : paths) {
      ui.QueueFileDialogAnswer(path);
      Click(u"btnAddFile");
    }
  }
  std::string EnabledBoxes() {
    return std::string(form[u"txtWidth"].Enabled() ? "w" : "-") +
           (form[u"txtHeight"].Enabled() ? "h" : "-");
  }
  const std::u16string& Log() { return form[u"txtLog"].Text(); }
  std::vector<std::string> Posts() {
    std::vector<std::string> posts;
    for (const auto& request : requests) {
      if (IsPost(request)) posts.push_back(request);
    }
    return posts;
  }
};

TEST_F(ImageImportTest, NewControlShowsItsOwnOptions) {
  const struct {
    const char16_t* name;
    const char16_t* text;
    bool enabled;
    int checked;
  } children[] = {
      {u"Frame1", u"准备要导入的文件", true, 0},
      {u"Frame3", u"处理方式", true, 0},
      {u"opOnePic", u"一张图片生成一篇文章", true, 0},
      {u"opOneCPagging", u"一篇文章，每页一张图", true, 0},
      {u"opOneC", u"所有图片在同一篇文章中，不分页", true, 1},
      {u"chkSmallPic", u"缩小尺寸", true, 1},
      {u"cmbScale", u"50%", true, 0},
      {u"txtWidth", u"160", false, 0},
      {u"txtHeight", u"120", false, 0},
      {u"chkStamp", u"加水印", true, 0},
      {u"Label1", u"水印文字：", false, 0},
      {u"txtStampText", u"W", false, 0},
      {u"cmbColor", u"红", false, 0},
      {u"Label11", u"位置：", false, 0},
      {u"cmbPosition", u"左上", false, 0},
      {u"optNameByPic", u"同图片名称", true, 1},
      {u"optNameBySet", u"统一使用设定标题", true, 0},
      {u"txtTitle", u"", true, 0},  // enabled until a title option is clicked
  };
  for (const auto& c : children) {
    SCOPED_TRACE(codepage::ToUtf8(c.name));
    EXPECT_EQ(form[c.name].Text(), c.text);
    EXPECT_EQ(form[c.name].Enabled(), c.enabled);
    EXPECT_EQ(form[c.name].Checked(), c.checked);
  }
  EXPECT_EQ(testing::ButtonState(form), testing::kEmpty);
  EXPECT_EQ(form[u"cmbScale"].Items(),
            (std::vector<std::u16string>{u"指定高度和宽度", u"指定宽度，约束比例",
                                         u"指定高度，约束比例", u"80%", u"70%", u"60%", u"50%",
                                         u"40%", u"30%", u"25%", u"20%", u"10%"}));
  EXPECT_EQ(form[u"cmbScale"].ListIndex(), 6);
  const FormControl& position = form[u"cmbPosition"];
  EXPECT_EQ(position.Items(), (std::vector<std::u16string>{u"左上", u"居中", u"右下"}));
  EXPECT_EQ(
      std::vector<int32_t>({position.ItemData(0), position.ItemData(1), position.ItemData(2)}),
      (std::vector<int32_t>{1, 16, 256}));
  EXPECT_EQ(form.Find(u"chkImgStamp"), nullptr);
  EXPECT_EQ(form.Find(u"cmbPos"), nullptr);
  // The article modes and the title options are two groups.
  EXPECT_NE(form[u"opOneC"].Container(), form[u"optNameByPic"].Container());
}

TEST_F(ImageImportTest, SizeControlsFollowTheScaleAndTheSmallPictureBox) {
  const struct {
    int index;
    const char* boxes;
  } scales[] = {{0, "wh"}, {1, "w-"}, {2, "-h"}, {8, "--"}, {3, "--"}, {11, "--"}};
  for (const auto& scale : scales) {
    Scale(scale.index);
    EXPECT_EQ(EnabledBoxes(), scale.boxes) << scale.index;
  }

  const FormControl* size_controls[] = {&form[u"cmbScale"], &form[u"txtWidth"], &form[u"txtHeight"],
                                        &form[u"Label3"],   &form[u"Label4"],   &form[u"Label5"],
                                        &form[u"Label7"],   &form[u"Label8"]};
  Scale(1);
  Tick(u"chkSmallPic", 0);
  for (const auto* child : size_controls) {
    EXPECT_FALSE(child->Enabled()) << codepage::ToUtf8(child->Name());
  }
  // Ticked again, the boxes open as the selected scale wants them.
  Tick(u"chkSmallPic", 1);
  EXPECT_TRUE(form[u"cmbScale"].Enabled());
  EXPECT_TRUE(form[u"Label8"].Enabled());
  EXPECT_EQ(EnabledBoxes(), "w-");

  // A size box takes six characters.
  form[u"txtWidth"].SetText(u"12345678");
  form[u"txtWidth"].on_change();
  EXPECT_EQ(form[u"txtWidth"].Text(), u"123456");

  Tick(u"chkStamp", 1);
  EXPECT_TRUE(form[u"txtStampText"].Enabled());
  EXPECT_TRUE(form[u"cmbPosition"].Enabled());
}

TEST_F(ImageImportTest, ValidateOptionsChecksTheTypedSizeThenTheWatermark) {
  const struct {
    const char* what;
    int scale;
    int small;
    const char16_t* width;
    const char16_t* height;
    int stamp;
    const char16_t* message;  // null: the batch runs
  } cases[] = {
      {"12a as width", 0, 1, u"12a", u"120", 0, u"请输入半角数字"},
      {"blank height", 0, 1, u"160", u"", 0, u"请输入半角数字"},
      {"numbers", 0, 1, u" 320 ", u"2.4e2", 0, nullptr},
      {"proportional width: the other box is not examined", 1, 1, u"200", u"abc", 0, nullptr},
      {"no reduced size: no number test", 0, 0, u"x", u"y", 0, nullptr},
      {"size first, then the watermark", 0, 1, u"x", u"1", 1, u"请输入半角数字"},
      {"blank watermark", 6, 1, u"x", u"y", 1, u"请输入水印文字"},
  };
  const auto picture = MakePicture("a.jpg");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    requests.clear();
    if (form[u"lstFileList"].Items().empty()) List({picture});
    Tick(u"chkSmallPic", 1);
    Scale(c.scale);
    Tick(u"chkSmallPic", c.small);
    form[u"txtWidth"].SetText(c.width);
    form[u"txtHeight"].SetText(c.height);
    Tick(u"chkStamp", c.stamp);
    form[u"txtStampText"].SetText(c.stamp ? u" " : u"W");
    ui.ClearHistory();
    Click(u"btnBegin");
    if (c.message) {
      ASSERT_EQ(Boxes().size(), 2u);
      EXPECT_EQ(Boxes()[1], c.message);
      EXPECT_EQ(ui.History()[1].caption, u"导入图片");
      EXPECT_TRUE(requests.empty());
      EXPECT_EQ(form[u"lstFileList"].Items().size(), 1u);
    } else {
      EXPECT_EQ(Boxes().size(), 1u);
      EXPECT_EQ(requests.size(), 2u);
    }
    EXPECT_EQ(testing::ButtonState(form), testing::kDone);
  }
}

TEST_F(ImageImportTest, SizeToAskForByTheSelectedScale) {
  const struct {
    int scale;
    int width;
    int height;
    const char16_t* typed_width;
    const char16_t* typed_height;
    int asked_width;
    int asked_height;
    int32_t error;
  } cases[] = {
      {6, 801, 601, u"", u"", 400, 300, 0},  // halves go to the even neighbour
      {6, 803, 601, u"", u"", 402, 300, 0},
      {5, 1000, 500, u"", u"", 600, 300, 0},
      {10, 15, 25, u"", u"", 3, 5, 0},
      {9, 10, 6, u"", u"", 2, 2, 0},  // 2.5 and 1.5
      {0, 801, 601, u"320", u"240", 320, 240, 0},
      {0, 1, 1, u" 2.5", u"+1.5e1 ", 2, 15, 0},
      {1, 800, 600, u"200", u"junk", 200, 150, 0},  // the picture keeps its proportions
      {2, 800, 600, u"junk", u"150", 200, 150, 0},
      {1, 3, 2, u"100", u"", 100, 67, 0},
      {1, 0, 600, u"200", u"", 0, 0, err::kInvalidCall},
      {2, 800, 0, u"", u"150", 0, 0, err::kInvalidCall},
      {1, 800, 600, u"12a", u"", 0, 0, err::kTypeMismatch},
      {0, 800, 600, u"32768", u"1", 0, 0, err::kOverflow},
      {0, 800, 600, u"-32768", u"0", -32768, 0, 0},
      // Beyond a double, beyond a 64-bit integer, halves rounded past the edge: out of range.
      {0, 800, 600, u"1e400", u"1", 0, 0, err::kOverflow},
      {0, 800, 600, u"1", u"-1E400", 0, 0, err::kOverflow},
      {0, 800, 600, u"9e99", u"1", 0, 0, err::kOverflow},
      {1, 800, 600, u"-9e99", u"", 0, 0, err::kOverflow},
      {0, 800, 600, u"32767.5", u"1", 0, 0, err::kOverflow},
      {0, 800, 600, u"-32768.5", u"1e-400", -32768, 0, 0},  // too small for a double: 0
      {1, 1, 70000, u"32767", u"", 0, 0, err::kOverflow},   // the height it gives
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(::testing::Message() << "scale " << c.scale << ", " << c.width << "x" << c.height);
    Scale(c.scale);
    form[u"txtWidth"].SetText(c.typed_width);
    form[u"txtHeight"].SetText(c.typed_height);
    try {
      const PictureSize asked = control.SizeToAskFor({c.width, c.height});
      EXPECT_EQ(c.error, 0) << "no error";
      EXPECT_EQ(asked.width, c.asked_width);
      EXPECT_EQ(asked.height, c.asked_height);
    } catch (const VbError& error) {
      EXPECT_EQ(error.Number(), c.error);
    }
  }
}

TEST_F(ImageImportTest, UploadFieldsCarryTheSizeAndTheWatermark) {
  const FieldList head{{"curpath", "pics"}, {"contentid", "-1"}, {"author", Gbk(u"编辑")}};
  FieldList sized = head;
  sized.insert(sized.end(), {{"thumbnail", "Yes"},
                             {"bili", "-1"},
                             {"thumbnailwidth", "400"},
                             {"thumbnailheight", "300"},
                             {"thumbnailalt", "Click"},
                             {"thumbnailtarget", "about:blank"},
                             {"watermark", "No"}});
  auto fields = [&] {
    FieldList got;
    for (const auto& [name, value] : control.UploadFields({400, 300})) {
      got.emplace_back(Gbk(name), Gbk(value));
    }
    return got;
  };
  EXPECT_EQ(fields(), sized);

  Tick(u"chkSmallPic", 0);
  Tick(u"chkStamp", 1);
  form[u"cmbPosition"].SetListIndex(2);
  form[u"cmbColor"].SetListIndex(1);
  FieldList stamped = head;
  stamped.insert(stamped.end(), {{"thumbnail", "No"},
                                 {"watermark", "Yes"},
                                 {"wmtext", "W"},
                                 {"wmposition", "256"},
                                 {"wmcolor", "-16776961"}});
  EXPECT_EQ(fields(), stamped);
}

TEST_F(ImageImportTest, EachArticleModeBuildsItsContent) {
  const auto a = MakePicture("A.jpg", 801, 601);
  const auto b = MakePicture("B.gif", 1000, 500);
  const std::string f1 = Gbk(u"<img src=a.jpg alt=\"点击看大图\">");
  const std::string f2 = "/files/B.gif";
  const std::string sep = Gbk(kSep);
  reply = [](int, const std::string& request) {
    if (IsPost(request)) return Ok("OK");
    return Ok(FilePart(request).first == "A.jpg" ? "<img src=a.jpg alt=\"Click\">"
                                                 : "/files/B.gif");
  };
  const struct {
    const char16_t* mode;
    std::vector<int> post_after;                             // request numbers of the posts
    std::vector<std::pair<std::string, std::string>> posts;  // title, content
  } cases[] = {
      {u"opOnePic", {2, 4}, {{"A", f1 + sep}, {"B", f2 + sep}}},
      {u"opOneCPagging", {3}, {{"B", f1 + sep + f2 + sep}}},
      {u"opOneC",
       {3},
       {{"B", "<p align=center>" + f1 + "</p><P align=center>A</P><p align=center>" + f2 +
                  "</p><P align=center>B</P>" + sep}}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(codepage::ToUtf8(c.mode));
    requests.clear();
    Choose(c.mode);
    List({a, b});
    Click(u"btnBegin");

    std::vector<int> post_after;
    for (size_t i = 0; i < requests.size(); ++i) {
      if (IsPost(requests[i])) post_after.push_back(static_cast<int>(i) + 1);
    }
    EXPECT_EQ(post_after, c.post_after);
    const auto posts = Posts();
    ASSERT_EQ(posts.size(), c.posts.size());
    for (size_t i = 0; i < posts.size(); ++i) {
      EXPECT_EQ(Fields(posts[i]), (FieldList{{"columnid", "12"},
                                             {"issueid", "0"},
                                             {"objecttype", "1"},
                                             {"title", c.posts[i].first},
                                             {"content", c.posts[i].second},
                                             {"author", Gbk(u"编辑")}}));
    }
    // The pictures were measured: 50% of each.
    EXPECT_EQ(Field(requests[0], "thumbnailwidth"), "400");
    EXPECT_EQ(Field(requests[0], "thumbnailheight"), "300");
    const std::string& second = requests[c.post_after.size() == 2 ? 2 : 1];
    EXPECT_EQ(Field(second, "thumbnailwidth"), "500");
    EXPECT_EQ(Field(second, "thumbnailheight"), "250");
    EXPECT_EQ(Log(), u"开始上传图片：\r\n上传 " + a + u"完成！\r\n上传 " + b +
                         u"完成！\r\n本次上传图片全部传输完成！\r\n");
    EXPECT_TRUE(form[u"lstFileList"].Items().empty());
    EXPECT_EQ(testing::ButtonState(form), testing::kDone);
  }
}

TEST_F(ImageImportTest, TypedSizeOrNoSizeAtAll) {
  const auto picture = MakePicture("p.bmp", 801, 601);
  Scale(0);
  form[u"txtWidth"].SetText(u"320");
  form[u"txtHeight"].SetText(u"240");
  List({picture});
  Click(u"btnBegin");
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(Field(requests[0], "thumbnailwidth"), "320");
  EXPECT_EQ(Field(requests[0], "thumbnailheight"), "240");

  requests.clear();
  Tick(u"chkSmallPic", 0);
  List({picture});
  Click(u"btnBegin");
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(Fields(requests[0]), (FieldList{{"curpath", "pics"},
                                            {"contentid", "-1"},
                                            {"author", Gbk(u"编辑")},
                                            {"thumbnail", "No"},
                                            {"watermark", "No"}}));
}

TEST_F(ImageImportTest, CancelDuringTheSecondOfFivePostsTheTwoHandled) {
  std::vector<std::u16string> paths;
  for (const char* name : {"1.jpg", "2.jpg", "3.jpg", "4.jpg", "5.jpg"}) {
    paths.push_back(MakePicture(name));
  }
  List(paths);
  reply = [](int n, const std::string&) { return Ok("f" + std::to_string(n)); };
  on_request = [&](int n) {
    if (n == 2) Click(u"btnCancel");
  };
  Click(u"btnBegin");

  ASSERT_EQ(requests.size(), 3u);
  EXPECT_TRUE(IsPost(requests[2]));
  EXPECT_EQ(Field(requests[2], "title"), "2");
  EXPECT_EQ(
      Field(requests[2], "content"),
      "<p align=center>f1</p><P align=center>1</P><p align=center>f2</p><P align=center>2</P>" +
          Gbk(kSep));
  EXPECT_TRUE(Log().ends_with(u"完成！\r\n本次上传图片全部传输完成！\r\n"));
  EXPECT_TRUE(form[u"lstFileList"].Items().empty());
  EXPECT_EQ(testing::ButtonState(form), testing::kDone);
}

TEST_F(ImageImportTest, APictureThatCannotBeSizedEndsTheBatchAndPostsNothing) {
  const auto good = MakePicture("good.jpg", 80, 60);
  const auto flat = MakePicture("flat.gif", 0, 60);
  files.Write("broken.jpg", "no picture");
  const std::u16string broken = files.U16("broken.jpg");
  const std::u16string lines = u"系统错误，操作被强行终止，错误描述：\r\n";
  const auto late = MakePicture("late.jpg");
  const struct {
    const char* what;
    int scale;
    std::u16string second;
    std::u16string error;  // the log after the first picture's line
    size_t sent = 1;       // the first picture's upload; the article never goes
  } cases[] = {
      {"no width in a proportional mode", 1, flat,
       lines + u"(5)[ImageImport]" + flat + u"：图片的宽度或高度为 0，无法按比例计算尺寸;\r\n"},
      {"no picture at all", 6, broken,
       lines + u"(481)[VelmarisClient]" + broken + u"：无效的图片;\r\n"},
      {"no answer to the second upload", 6, late,
       u"上传 " + late + u"\r\n" + lines + u"(-2147220991)[VelmarisClient]" + late +
           u"：图片上传失败：服务器没有应答（等待超时）;\r\n",
       2},
  };
  reply = [](int n, const std::string&) { return n == 2 ? "" : Ok("f"); };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    requests.clear();
    form[u"lstFileList"].Clear();
    Scale(c.scale);
    form[u"txtWidth"].SetText(u"100");
    List({good, c.second});
    Click(u"btnBegin");

    EXPECT_EQ(requests.size(), c.sent);
    EXPECT_EQ(Log(), u"开始上传图片：\r\n上传 " + good + u"完成！\r\n" + c.error);
    EXPECT_EQ(form[u"lstFileList"].Items(), (std::vector<std::u16string>{good, c.second}));
    EXPECT_EQ(testing::ButtonState(form), testing::kDone);
    EXPECT_FALSE(control.Running());
  }
}

}  // namespace
}  // namespace velmaris
