#include "controls/common/article_post.h"

#include <gtest/gtest.h>

#include "base/error.h"
#include "controls/common/transfer_box.h"
#include "tests/unit/controls/office/office_world.h"

namespace velmaris {
namespace {

constexpr char kSep[] = "----abcdefghijklmnopqrstuvwxyz----";

class ArticlePostTest : public testing::OfficeWorld {
 protected:
  double progress = -1;
  UploadTransfer transfer{platform,
                          {.default_path = u"/cms/upload.asp",
                           .progress = [this](double percent) { progress = percent; },
                           .error_box = TransferErrorBox(ui)}};

  void SetUp() override {
    AnswerEveryRequest();
    transfer.ParseServerAddress(u"http://a:81/cms/upload.asp");
  }
};

std::string Part(const std::string& name, const std::string& value) {
  return "-----------------------------7d1c934a05c4\r\nContent-Disposition: form-data; name=\"" +
         name + "\"\r\n\r\n" + value + "\r\n";
}

TEST_F(ArticlePostTest, ArticleGoesToThePostPathOnTheUploadHostAsSevenFields) {
  transfer.Package().addFormData(u"stale", u"from an earlier call");
  PostArticle(transfer, u"/cms/savepost.asp",
              Article{u"12a", u"3", u"1", u"标题", u"页<br>" + std::u16string(kPageSeparator),
                      u"编辑", u"2008/"});

  ASSERT_EQ(requests.size(), 1u);
  const std::string body = Part("columnid", "12a") + Part("issueid", "3") +
                           Part("objecttype", "1") + Part("title", "\xB1\xEA\xCC\xE2") +
                           Part("content", std::string("\xD2\xB3<br>") + kSep) +
                           Part("author", "\xB1\xE0\xBC\xAD") + Part("curpath", "2008/") +
                           "-----------------------------7d1c934a05c4--\r\n";
  const std::string header =
      "POST /cms/savepost.asp HTTP/1.1\r\n"
      "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/msword, "
      "application/vnd.ms-excel, */*\r\n"
      "Accept-Language: zh-cn\r\n"
      "Content-Type: multipart/form-data; boundary=---------------------------7d1c934a05c4\r\n"
      "Accept-Encoding: gzip , deflate\r\n"
      "User-Agent: Mozilla/4.0 (compatible; MSIE 5.01; Windows NT 5.0)\r\n"
      "Host: a:81\r\n"
      "Content-Length:  " +
      std::to_string(body.size()) +
      "\r\n"
      "Connection: Keep-Alive\r\n\r\n";
  EXPECT_EQ(requests[0], header + body);
  EXPECT_EQ(socket->RemoteHost(), u"a");
  EXPECT_EQ(socket->RemotePort(), 81);
  EXPECT_EQ(progress, 100);
  EXPECT_EQ(transfer.Reply(), u"OK");

  // The upload path is back for the next picture.
  EXPECT_EQ(transfer.Path(), u"/cms/upload.asp");
  transfer.Run([](CompondFile& package) { package.addFormData(u"x", u"y"); });
  ASSERT_EQ(requests.size(), 2u);
  EXPECT_EQ(RequestLine(requests[1]), "POST /cms/upload.asp HTTP/1.1");
}

TEST_F(ArticlePostTest, FailuresLeaveTheUploadPathInPlace) {
  const Article article{u"1", u"0", u"1", u"t", u"c", u"a", u"p"};
  // No post address yet: a clear error before anything is sent.
  try {
    PostArticle(transfer, u"", article);
    ADD_FAILURE() << "no error";
  } catch (const VbError& error) {
    EXPECT_EQ(error.Number(), err::kObjectError);
  }
  EXPECT_EQ(socket->Connects(), 0);

  // A post writes nothing to the temporary folder, so one that cannot be written to is no
  // failure; the upload path stays.
  {
    testing::ScopedEnv no_temp("TEMP", (temp.Path() / "missing").string().c_str());
    PostArticle(transfer, u"/post.asp", article);
  }
  EXPECT_EQ(transfer.Path(), u"/cms/upload.asp");
  EXPECT_EQ(socket->Connects(), 1);
}

TEST_F(ArticlePostTest, PostSucceedsOnlyWhenTheServerTookIt) {
  const Article article{u"1", u"0", u"1", u"t", u"c", u"a", u"p"};
  const struct {
    const char* status;  // "" answers nothing
    bool refuse = false;
    bool peer_closes = false;
    const char16_t* error = nullptr;  // the description of the failure; null for success
  } cases[] = {
      {"200 OK"},
      {"201 Created"},
      {"204 No Content"},
      {"302 Found"},  // a redirect to the saved article
      {"404 Not Found", false, false, u"文章发布失败：服务器返回状态 404"},
      {"500 Internal Server Error", false, false, u"文章发布失败：服务器返回状态 500"},
      {"", false, false, u"文章发布失败：服务器没有应答（等待超时）"},
      {"", false, true, u"文章发布失败：服务器没有应答（连接已断开）"},
      {"", true, false, u"文章发布失败：服务器没有应答（无法连接）"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.status) + (c.refuse ? "refused" : "") +
                 (c.peer_closes ? "closed" : ""));
    status = [&](int) { return std::string(c.status); };
    on_request = [&](int) {
      if (c.peer_closes) socket->PeerClose();
    };
    socket->connect_mode = c.refuse ? testing::FakeSocket::ConnectMode::kRefuse
                                    : testing::FakeSocket::ConnectMode::kAfter;
    try {
      PostArticle(transfer, u"/post.asp", article);
      EXPECT_EQ(c.error, nullptr);
    } catch (const VbError& error) {
      EXPECT_EQ(error.Number(), err::kNotAccepted);
      EXPECT_EQ(error.Description(), c.error ? c.error : u"(success)");
    }
    EXPECT_EQ(transfer.Path(), u"/cms/upload.asp");
    EXPECT_EQ(progress, 100);
  }
}

TEST(ArticlePost, PagesAreEachFollowedByTheSeparator) {
  const std::u16string sep = kPageSeparator;
  EXPECT_EQ(sep.size(), 34u);
  EXPECT_EQ(JoinPages({}), u"");
  EXPECT_EQ(JoinPages({u"X"}), u"X" + sep);
  EXPECT_EQ(JoinPages({u"", u""}), sep + sep);
  EXPECT_EQ(JoinPages({u"1", u"2", u"3"}), u"1" + sep + u"2" + sep + u"3" + sep);
}

}  // namespace
}  // namespace velmaris
