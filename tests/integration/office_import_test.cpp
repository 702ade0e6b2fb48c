// OfficeImport on the real loop and real sockets against the reference content server.
#include <gtest/gtest.h>

#include <nlohmann/json.hpp>

#include "base/codepage.h"
#include "controls/office/office_import.h"
#include "tests/support/integration_world.h"

namespace velmaris {
namespace {

using Json = nlohmann::json;

class OfficeImportIntegrationTest : public testing::IntegrationTest {
 protected:
  OfficeImport control{platform};
};

TEST_F(OfficeImportIntegrationTest, ImportTxtStoresTitlePagesAndFieldsInOrder) {
  control.Init(server.Url("/cms/upload.asp"), server.Url("/cms/savepost.asp"), u"2008/05", 12,
               u"编辑", 3, 2);
  std::u16string text = u"标题：春季报告\r\n作者：编辑部\r\n\r\na b\r\nc\r\n";
  EXPECT_EQ(control.ImportTxt(text, u"12", u"编辑部"), 1);

  Json article = server.Article(1);
  EXPECT_EQ(article["title"], "春季报告");
  EXPECT_EQ(article["pages"], Json::array({"a&nbsp;b<br>c<br>"}));
  EXPECT_EQ(article["fields"], Json::parse(R"([["columnid","12"],["issueid","3"],["objecttype","2"],
                            ["title","春季报告"],
                            ["content","a&nbsp;b<br>c<br>----abcdefghijklmnopqrstuvwxyz----"],
                            ["author","编辑部"],["curpath","2008/05"]])"));
  EXPECT_EQ(control.Reply(), u"OK");
  EXPECT_TRUE(ui.History().empty());
  EXPECT_TRUE(std::filesystem::is_empty(temp.Path())) << "the upload wrote to TEMP";
}

TEST_F(OfficeImportIntegrationTest, PostGoesToTheUploadHostWithThePostPath) {
  // The post address names a host that must never be contacted: only its path is used.
  control.Init(server.Url("/cms/upload.asp"), u"http://post.invalid:8765/cms/savepost.asp", u"d", 1,
               u"u");
  std::u16string text = u"t\r\n";
  EXPECT_EQ(control.ImportTxt(text, u"1", u"u"), 1);

  auto requests = server.WaitForRequests(1);
  ASSERT_EQ(requests.size(), 1u);
  EXPECT_EQ(requests[0].rfind("POST /cms/savepost.asp HTTP/1.1\r\n", 0), 0u);
  EXPECT_NE(requests[0].find("Host: 127.0.0.1:" + std::to_string(server.Port()) + "\r\n"),
            std::string::npos);
  EXPECT_EQ(server.Article(1)["title"], "t");

  // The next upload uses the upload path again.
  auto picture = File("p.png", "PNG");
  control.StartUpload(u"d", picture, -1);
  EXPECT_EQ(control.Reply(), u"/files/d/p.png");
}

TEST_F(OfficeImportIntegrationTest, TextFilesThroughTheListAndTheStartButton) {
  control.Init(server.Url("/cms/upload.asp"), server.Url("/cms/savepost.asp"), u"d", 7, u"编辑");
  // One file in UTF-8, one in GBK: both titles arrive intact.
  File("utf8.txt", "春季\n作者：甲\n正文 第一段\n");
  File("gbk.txt", "\xB4\xBA\xBC\xBE\xB1\xA8\xB8\xE6\r\n\xD5\xFD\xCE\xC4\r\n");
  const std::u16string folder = codepage::FromUtf8(files.Path().string());
  ui.QueueFileDialogAnswer(folder + std::u16string(u"\0utf8.txt\0gbk.txt", 17));
  Form& form = control.GetForm();
  form[u"Command1"].on_click();
  ASSERT_EQ(form[u"List1"].Items(),
            (std::vector<std::u16string>{folder + u"/utf8.txt", folder + u"/gbk.txt"}));

  form[u"Command3"].on_click();
  EXPECT_EQ(form[u"List1"].Items(), (std::vector<std::u16string>{folder + u"/utf8.txt......完成",
                                                                 folder + u"/gbk.txt......完成"}));
  ASSERT_EQ(server.ArticleCount(), 2u);
  EXPECT_EQ(server.Article(1)["title"], "春季");
  EXPECT_EQ(server.Article(1)["pages"], Json::array({"正文&nbsp;第一段<br>"}));
  EXPECT_EQ(server.Article(2)["title"], "春季报告");
  EXPECT_EQ(server.Article(2)["fields"][0], Json::array({"columnid", "7"}));
  EXPECT_EQ(server.Article(2)["fields"][5], Json::array({"author", "编辑"}));
  EXPECT_FALSE(form[u"Command4"].Enabled());
  EXPECT_TRUE(ui.History().size() == 1u && ui.History()[0].kind == u"filedialog");

  // A second run finds everything done.
  form[u"Command3"].on_click();
  EXPECT_EQ(server.ArticleCount(), 2u);
}

}  // namespace
}  // namespace velmaris
