// The picture controls on the real loop and real sockets against the reference content server.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "controls/image/image_import.h"
#include "controls/image/image_upload.h"
#include "tests/support/integration_world.h"
#include "tests/unit/controls/image/test_pictures.h"

namespace velmaris {
namespace {

using Json = nlohmann::json;

constexpr char kSep[] = "----abcdefghijklmnopqrstuvwxyz----";

class PictureIntegrationTest : public testing::IntegrationTest {
 protected:
  std::u16string Jpg(const std::string& name, int width, int height) {
    testing::WriteJpg(files.Path() / name, width, height);
    return files.U16(name);
  }
};

TEST_F(PictureIntegrationTest, ImageUploadStoresEachPictureAndItsArticle) {
  ImageUpload control(platform);
  control.Init(server.Url("/cms/upload.asp"), server.Url("/cms/savepost.asp"), u"2008", 5, u"编辑",
               u"版权");
  Form& form = control.GetForm();
  const auto a = Jpg("a.jpg", 64, 48);
  const auto b = Jpg("日落.jpg", 32, 24);
  AddPictures(form, {a, b});
  form[u"optNameBySet"].SetChecked(0);
  form[u"optNameByPic"].SetChecked(1);
  form[u"btnBegin"].on_click();

  const auto uploads = server.Uploads();
  ASSERT_EQ(uploads.size(), 2u);
  EXPECT_EQ(uploads[0]["fields"], Json::parse(R"([["curpath","2008"],["contentid","-1"],
      ["author","编辑"],["thumbnail","Yes"],["thumbnailalt","Click"],
      ["thumbnailtarget","about:blank"],["watermark","Yes"],["wmtext","版权"],
      ["wmposition","8"],["wmcolor","-65536"],["imgstamp","No"]])"));
  EXPECT_EQ(uploads[1]["files"][0]["name"], "日落.jpg");
  EXPECT_EQ(testing::ReadFile(server.Root() / "files" / "日落.jpg"),
            testing::ReadFile(files.Path() / "日落.jpg"));

  ASSERT_EQ(server.ArticleCount(), 2u);
  EXPECT_EQ(server.Article(1)["fields"], Json::parse(R"([["columnid","5"],["issueid","0"],
      ["objecttype","1"],["title","a"],["content","/files/a.jpg----abcdefghijklmnopqrstuvwxyz----"],
      ["author","编辑"]])"));
  EXPECT_EQ(server.Article(2)["title"], "日落");
  EXPECT_EQ(form[u"txtLog"].Text(), u"开始处理图片上传：\r\n上传 " + a + u"完成！\r\n上传 " + b +
                                        u"完成！\r\n本次上传图片全部传输完成！\r\n");
  EXPECT_TRUE(ui.History().size() == 3u && ui.History()[2].kind == u"msgbox");
  EXPECT_TRUE(std::filesystem::is_empty(temp.Path())) << "the upload wrote to TEMP";
}

TEST_F(PictureIntegrationTest, ImageImportSizesPicturesAndPostsOneArticle) {
  ImageImport control(platform);
  control.Init(server.Url("/cms/upload.asp"), server.Url("/cms/savepost.asp"), u"d", 9, u"u", u"W");
  Form& form = control.GetForm();
  const auto a = Jpg("A.jpg", 801, 601);
  testing::WriteGif(files.Path() / "B.gif", 1000, 500);
  AddPictures(form, {a, files.U16("B.gif")});
  form[u"btnBegin"].on_click();

  const auto uploads = server.Uploads();
  ASSERT_EQ(uploads.size(), 2u);
  EXPECT_EQ(uploads[0]["fields"], Json::parse(R"([["curpath","d"],["contentid","-1"],
      ["author","u"],["thumbnail","Yes"],["bili","-1"],["thumbnailwidth","400"],
      ["thumbnailheight","300"],["thumbnailalt","Click"],["thumbnailtarget","about:blank"],
      ["watermark","No"]])"));
  EXPECT_EQ(uploads[1]["fields"][5], Json::array({"thumbnailwidth", "500"}));
  ASSERT_EQ(server.ArticleCount(), 1u);
  const Json article = server.Article(1);
  EXPECT_EQ(article["title"], "B");
  EXPECT_EQ(article["fields"][4][1],
            std::string("<p align=center>/files/A.jpg</p><P align=center>A</P>") +
                "<p align=center>/files/B.gif</p><P align=center>B</P>" + kSep);
  EXPECT_TRUE(form[u"txtLog"].Text().starts_with(u"开始上传图片：\r\n"));
  EXPECT_TRUE(form[u"lstFileList"].Items().empty());
}

}  // namespace
}  // namespace velmaris
