// MultiUpload on the real loop and real sockets against the reference content server.
#include <gtest/gtest.h>

#include "base/codepage.h"
#include "controls/file/multi_upload.h"
#include "tests/support/integration_world.h"

namespace velmaris {
namespace {

using testing::ReadFile;

class MultiUploadIntegrationTest : public testing::IntegrationTest {
 protected:
  MultiUpload control{platform};
};

TEST_F(MultiUploadIntegrationTest, TreeMirroredOnTheServer) {
  files.Write("t/a.txt", "AAA");
  files.Write("t/Thumbs.db", "cache");
  files.Write("t/thumbs.db", "lower");
  files.Write("t/s/b.txt", "BB");
  files.Write("t/文档/报告.doc", std::string("\0\1\2\r\n--", 7));
  UploadFolder(control, "t", u"up", server.Url("/upload.asp"));

  auto requests = server.WaitForRequests(4);
  ASSERT_EQ(requests.size(), 4u);
  // One request per file: the file part, then the single field "path".
  for (const auto& request : requests) {
    EXPECT_EQ(request.rfind("POST /upload.asp HTTP/1.1\r\n", 0), 0u);
    EXPECT_LT(request.find("filename=\""), request.find("name=\"path\""));
  }
  EXPECT_NE(requests[0].find("name=\"path\"\r\n\r\nup/\r\n"), std::string::npos);
  EXPECT_NE(requests[2].find("name=\"path\"\r\n\r\nup/s/\r\n"), std::string::npos);
  // The folder's name travels in GBK.
  EXPECT_NE(requests[3].find("name=\"path\"\r\n\r\nup/\xCE\xC4\xB5\xB5/\r\n"), std::string::npos);

  auto stored = server.Root() / "files" / "up";
  EXPECT_EQ(ReadFile(stored / "a.txt"), "AAA");
  EXPECT_EQ(ReadFile(stored / "thumbs.db"), "lower");
  EXPECT_FALSE(std::filesystem::exists(stored / "Thumbs.db"));
  EXPECT_EQ(ReadFile(stored / "s" / "b.txt"), "BB");
  EXPECT_EQ(ReadFile(stored / "文档" / "报告.doc"), std::string("\0\1\2\r\n--", 7));

  auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].text, u"所有文件上传完成.");
  EXPECT_EQ(control.GetForm()[u"pb"].Value(), 100);
  EXPECT_TRUE(std::filesystem::is_empty(temp.Path())) << "the upload wrote to TEMP";
}

TEST_F(MultiUploadIntegrationTest, FailingFilesAreCountedAndAnUnreachableServerStopsTheRun) {
  files.Write("t/a.txt", "a");
  files.Write("t/s/b.txt", "b");
  const struct {
    const char* what;
    std::string path;
    const char16_t* text;  // how the box each file shows starts
  } cases[] = {
      {"500", "/_fault/500/upload.asp", u"HTTP/1.1 500 "},
      {"404", "/_fault/404/upload.asp", u"HTTP/1.1 404 "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ui.ClearHistory();
    UploadFolder(control, "t", u"up", server.Url(c.path));
    auto boxes = Boxes();
    ASSERT_EQ(boxes.size(), 3u);
    for (size_t i : {0, 1}) {
      EXPECT_EQ(boxes[i].caption, u"文件上传时出错!");
      EXPECT_EQ(boxes[i].style, msgbox::kCritical);
      EXPECT_EQ(boxes[i].text.rfind(c.text, 0), 0u) << codepage::ToUtf8(boxes[i].text);
    }
    EXPECT_EQ(boxes[2].text, u"共 2 个文件，其中 2 个上传失败.");
  }
  EXPECT_FALSE(std::filesystem::exists(server.Root() / "files" / "up"));

  // Nobody listening: the first file's connection stops the run, with the socket's one box.
  ui.ClearHistory();
  UploadFolder(control, "t", u"up", testing::RefusedUrl("/"));
  auto boxes = Boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, u"连接被强制拒绝");
  EXPECT_EQ(boxes[1].text, u"无法连接服务器，上传已停止.\r\n共 2 个文件，其中 2 个上传失败.");
}

TEST_F(MultiUploadIntegrationTest, ThousandFilesInFiftyFolders) {
  // Ten folders of four subfolders each: 50 folders, 20 files in each.
  std::vector<std::string> names;
  for (int top = 0; top < 10; ++top) {
    for (int sub = 0; sub < 5; ++sub) {
      std::string folder = "d" + std::to_string(top) + (sub == 0 ? "" : "/s" + std::to_string(sub));
      for (int i = 0; i < 20; ++i) {
        std::string name = folder + "/f" + std::to_string(i) + ".bin";
        files.Write("tree/" + name, name + std::string(static_cast<size_t>(i) * 37, 'x'));
        names.push_back(name);
      }
    }
  }
  auto start = std::chrono::steady_clock::now();
  UploadFolder(control, "tree", u"bulk", server.Url("/upload.asp"));
  auto took = std::chrono::steady_clock::now() - start;

  ASSERT_EQ(Boxes().size(), 1u) << codepage::ToUtf8(Boxes()[0].text);
  for (const auto& name : names) {
    ASSERT_EQ(ReadFile(server.Root() / "files" / "bulk" / name),
              ReadFile(files.Path() / "tree" / name))
        << name;
  }
  size_t stored = 0;
  for (const auto& entry :
       std::filesystem::recursive_directory_iterator(server.Root() / "files" / "bulk")) {
    stored += entry.is_regular_file() ? 1 : 0;
  }
  EXPECT_EQ(stored, names.size());
  EXPECT_EQ(control.SentBytes(), control.TotalBytes());
  std::cout << "1,000 files in " << std::chrono::duration<double>(took).count() << " s\n";
}

}  // namespace
}  // namespace velmaris
