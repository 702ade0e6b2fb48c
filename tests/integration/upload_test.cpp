// FileUpload on the real loop and real sockets against the reference content server.
#include <gtest/gtest.h>
#include <sys/mount.h>

#include <fstream>

#include "base/codepage.h"
#include "controls/file/file_upload.h"
#include "core/multipart.h"
#include "platform/timer.h"
#include "tests/support/integration_world.h"

namespace velmaris {
namespace {

using testing::ReadFile;

class UploadIntegrationTest : public testing::IntegrationTest {
 protected:
  FileUpload control{platform};
};

// A temporary folder that can hold next to nothing: a file system of 1 MiB mounted for the test,
// or, where the test may not mount one, a folder below a regular file, which can hold nothing.
class CrampedFolder {
 public:
  explicit CrampedFolder(const std::filesystem::path& at) : m_path(at) {
    std::filesystem::create_directories(at);
    m_mounted = mount("tmpfs", at.c_str(), "tmpfs", 0, "size=1m") == 0;
    if (!m_mounted) {
      std::ofstream(at / "file") << "x";
      m_path = at / "file" / "temp";
    }
  }
  ~CrampedFolder() {
    if (m_mounted) umount2(m_path.c_str(), MNT_DETACH);
  }
  CrampedFolder(const CrampedFolder&) = delete;
  CrampedFolder& operator=(const CrampedFolder&) = delete;
  const std::filesystem::path& Path() const { return m_path; }

 private:
  std::filesystem::path m_path;
  bool m_mounted = false;
};

TEST_F(UploadIntegrationTest, OneUploadEndToEnd) {
  std::string bytes;
  for (int i = 0; i < 300000; ++i) bytes += static_cast<char>(i % 251);
  auto path = File("照片 1.bin", bytes);
  control.StartUpload(u"上传/2008", server.Url("/cms/upload.asp"), path, -1);

  EXPECT_EQ(control.NewFileName(), u"/files/上传/2008/照片 1.bin");
  EXPECT_EQ(ReadFile(server.Root() / "files/上传/2008/照片 1.bin"), bytes);
  auto requests = server.WaitForRequests(1);
  ASSERT_EQ(requests.size(), 1u);
  const std::string& request = requests[0];
  EXPECT_EQ(request.rfind("POST /cms/upload.asp HTTP/1.1\r\n", 0), 0u);
  EXPECT_NE(request.find("Host: 127.0.0.1:" + std::to_string(server.Port()) + "\r\n"),
            std::string::npos);
  size_t body = request.find("\r\n\r\n") + 4;
  EXPECT_NE(request.find("Content-Length:  " + std::to_string(request.size() - body) + "\r\n"),
            std::string::npos);
  // The folder travels in GBK.
  EXPECT_NE(request.find("name=\"curPath\"\r\n\r\n\xC9\xCF\xB4\xAB/2008/\r\n"), std::string::npos);
  EXPECT_NE(request.find("name=\"contentid\"\r\n\r\n-1\r\n"), std::string::npos);
  EXPECT_TRUE(std::filesystem::is_empty(temp.Path())) << "the upload wrote to TEMP";
  EXPECT_TRUE(ui.History().empty());
}

// The request goes out from the file itself: 100 MB pass with TEMP on a folder that cannot hold
// them, and the page's timers keep running while they go.
TEST_F(UploadIntegrationTest, LargeUploadNeedsNoRoomInTemp) {
  constexpr uintmax_t kSize = 100 * 1000 * 1000;
  const auto path = files.Path() / "big.bin";
  std::ofstream(path) << "head";
  std::filesystem::resize_file(path, kSize);
  CrampedFolder cramped(temp.Path() / "cramped");
  testing::ScopedEnv env("TEMP", cramped.Path().c_str());
  int ticks_while_sending = 0;
  Timer timer(loop, std::chrono::milliseconds(1), [&] {
    const double shown = control.GetForm()[u"pbFile"].Value();
    if (shown > 0 && shown < 100) ++ticks_while_sending;
  });
  timer.SetEnabled(true);
  control.StartUpload(u"big", server.Url("/cms/upload.asp"), codepage::FromUtf8(path.string()), 1);
  EXPECT_EQ(control.NewFileName(), u"/files/big/big.bin");
  EXPECT_EQ(std::filesystem::file_size(server.Root() / "files/big/big.bin"), kSize);
  EXPECT_TRUE(ui.History().empty());
  EXPECT_GT(ticks_while_sending, 0);
}

// A file measured once and changed while it goes, over HTTP and HTTPS: one that shrinks cannot
// fill the length the request announced, so the connection is dropped before the server has a
// whole request and the box names the file; one that grows is sent up to its measured length,
// not a byte more.
TEST_F(UploadIntegrationTest, FileChangedWhileSentKeepsItsMeasuredLength) {
  constexpr uintmax_t kSize = 20 * 1000 * 1000;
  for (const bool secure : {false, true}) {
    for (const uintmax_t now : {uintmax_t{1000 * 1000}, kSize + 1000}) {
      const bool shrinks = now < kSize;
      SCOPED_TRACE(std::string(secure ? "https " : "http ") + (shrinks ? "shrinks" : "grows"));
      testing::RefServer tls({.tls = true});
      testing::ScopedEnv trusted("SSL_CERT_FILE", tls.CaFile().c_str());
      testing::RefServer& target = secure ? tls : server;
      const size_t before = target.WaitForRequests(0).size();
      ui.ClearHistory();
      const auto path = files.Path() / "changing.bin";
      std::filesystem::remove(path);
      std::ofstream(path) << "head";
      std::filesystem::resize_file(path, kSize);
      // Once the first hundredth of it has gone.
      Timer change(loop, std::chrono::milliseconds(0), [&] {
        if (control.GetForm()[u"pbFile"].Value() < 1) return;
        std::filesystem::resize_file(path, now);
        change.SetEnabled(false);
      });
      change.SetEnabled(true);
      const std::u16string name = codepage::FromUtf8(path.string());
      control.StartUpload(u"change", target.Url("/cms/upload.asp"), name, 1);
      const auto stored = target.Root() / "files/change/changing.bin";
      if (shrinks) {
        EXPECT_EQ(control.NewFileName(), u"Error");
        ASSERT_EQ(ui.History().size(), 1u);
        EXPECT_EQ(ui.History()[0].text, u"文件在发送过程中变小了，上传已中止：" + name);
        EXPECT_FALSE(std::filesystem::exists(stored));
        continue;
      }
      EXPECT_EQ(control.NewFileName(), u"/files/change/changing.bin");
      EXPECT_TRUE(ui.History().empty());
      EXPECT_EQ(std::filesystem::file_size(stored), kSize);
      const auto requests = target.WaitForRequests(before + 1);
      ASSERT_EQ(requests.size(), before + 1);
      const std::string& request = requests.back();
      const size_t body = request.find("\r\n\r\n") + 4;
      EXPECT_NE(request.find("Content-Length:  " + std::to_string(request.size() - body) + "\r\n"),
                std::string::npos);
      EXPECT_EQ(request.substr(request.size() - 4), "--\r\n");
    }
  }
}

// Over HTTPS the request inside the session is the one sent over HTTP. A certificate that does not
// verify stops the upload before anything is sent, with a box naming the cause and the host; a
// handshake that takes longer than a connect may is waited for. (One that never ends is in the
// fault matrix, on faster ticks.)
TEST_F(UploadIntegrationTest, OverHttps) {
  const auto path = File("a.txt", std::string(300000, 'x'));
  control.StartUpload(u"tls", server.Url("/upload.asp"), path, 1);
  const std::string plain = server.WaitForRequests(1).at(0);
  const struct {
    const char* fault;
    const char* host;  // as the address names it
    const char16_t* box;
    double delay = 0;  // seconds the server takes to answer the handshake, TCP taken at once
  } cases[] = {
      {"", "127.0.0.1", nullptr},
      {"", "localhost", nullptr},
      {"self-signed", "127.0.0.1", u"的证书是自签名的，不受信任"},
      {"expired", "127.0.0.1", u"的证书已过期"},
      {"wrong-name", "localhost", u"的证书不是为该主机颁发的"},
      // Named by its address, a server's certificate must name that address.
      {"wrong-name", "127.0.0.1", u"的证书不是为该主机颁发的"},
      {"unknown-ca", "127.0.0.1", u"的证书由不受信任的颁发机构签发"},
      {"", "127.0.0.1", nullptr, 1.0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(std::string(c.fault) + " " + c.host + " " + std::to_string(c.delay));
    testing::RefServer tls({.tls = true, .cert_fault = c.fault, .tls_delay = c.delay});
    testing::ScopedEnv trusted("SSL_CERT_FILE", tls.CaFile().c_str());
    ui.ClearHistory();
    const std::string port = std::to_string(tls.Port());
    const std::u16string url = codepage::FromUtf8("https://" + std::string(c.host) + ":" + port);
    const auto start = std::chrono::steady_clock::now();
    control.StartUpload(u"tls", url + u"/upload.asp", path, 1);
    EXPECT_GE(std::chrono::steady_clock::now() - start, std::chrono::duration<double>(c.delay));
    const bool fine = c.box == nullptr;
    ASSERT_EQ(control.NewFileName(), fine ? u"/files/tls/a.txt" : u"Error");
    if (c.box != nullptr) {
      ASSERT_EQ(ui.History().size(), 1u);
      EXPECT_EQ(ui.History()[0].text,
                u"无法建立安全连接：服务器 " + codepage::FromUtf8(c.host) + u" " + c.box);
    } else {
      EXPECT_TRUE(ui.History().empty());
    }
    if (!fine) continue;
    // The same bytes but for the port the Host line names; the name is sent for a name only.
    std::string request = tls.WaitForRequests(1).at(0);
    const std::string host_line = "Host: " + std::string(c.host) + ":" + port + "\r\n";
    ASSERT_NE(request.find(host_line), std::string::npos);
    request.replace(request.find(host_line), host_line.size(),
                    "Host: 127.0.0.1:" + std::to_string(server.Port()) + "\r\n");
    EXPECT_EQ(request, plain);
    EXPECT_EQ(tls.ServerNames(),
              std::vector<std::string>{c.host == std::string("localhost") ? "localhost" : ""});
  }
}

TEST_F(UploadIntegrationTest, FaultsAndTheirOutcomes) {
  auto path = File("a.txt", "abc");
  const struct {
    const char* mode;
    bool stored;  // the reply is then the address the server answered, else "Error"
    size_t boxes;
  } cases[] = {
      {"404", false, 0},     {"500", false, 0},    {"403", false, 0},     {"hdr500", false, 0},
      {"split", true, 0},    {"chunked", true, 0}, {"gzip", true, 0},     {"deflate", true, 0},
      {"slow-700", true, 0}, {"close", false, 0},  {"garbage", false, 0},
  };
  size_t stored = 0;
  for (const auto& c : cases) {
    SCOPED_TRACE(c.mode);
    control.SetNewFileName(u"previous");
    control.StartUpload(u"f", server.Url(std::string("/_fault/") + c.mode + "/upload.asp"), path,
                        1);
    EXPECT_EQ(server.Uploads().size(), stored += c.stored);
    EXPECT_EQ(control.NewFileName(), c.stored ? LastAddress() : u"Error");
    EXPECT_EQ(ui.History().size(), c.boxes);
    EXPECT_TRUE(std::filesystem::is_empty(temp.Path()));
  }
  // After all that, a plain upload still works.
  control.StartUpload(u"g", server.Url("/upload.asp"), path, 1);
  EXPECT_EQ(control.NewFileName(), u"/files/g/a.txt");
}

// A file that holds the request's boundary line (a saved request, say) is stored whole.
TEST_F(UploadIntegrationTest, FileHoldingTheBoundaryArrivesWhole) {
  std::string bytes = "POST / HTTP/1.1\r\n\r\n--" + std::string(kBoundary) +
                      "\r\nContent-Disposition: form-data; name=\"x\"\r\n\r\ny\r\n--" +
                      std::string(kBoundary) + "--\r\n";
  auto path = File("request.txt", bytes);
  control.StartUpload(u"saved", server.Url("/upload.asp"), path, 1);
  EXPECT_EQ(control.NewFileName(), u"/files/saved/request.txt");
  EXPECT_EQ(ReadFile(server.Root() / "files/saved/request.txt"), bytes);
  EXPECT_TRUE(std::filesystem::is_empty(temp.Path()));
}

TEST_F(UploadIntegrationTest, NoServerListening) {
  auto path = File("a.txt", "abc");
  control.SetNewFileName(u"previous");
  control.StartUpload(u"f", testing::RefusedUrl("/upload.asp"), path, 1);
  EXPECT_EQ(control.NewFileName(), u"Error");
  ASSERT_EQ(ui.History().size(), 1u);
  EXPECT_EQ(ui.History()[0].text, u"连接被强制拒绝");
  EXPECT_TRUE(std::filesystem::is_empty(temp.Path()));
}

TEST_F(UploadIntegrationTest, ServerThatNeverAnswersTimesOut) {
  auto path = File("a.txt", "abc");
  control.SetNewFileName(u"previous");
  auto start = std::chrono::steady_clock::now();
  control.StartUpload(u"f", server.Url("/_fault/noanswer/upload.asp"), path, 1);
  auto took = std::chrono::steady_clock::now() - start;
  EXPECT_EQ(control.NewFileName(), u"Error");
  EXPECT_GE(took, std::chrono::seconds(29));  // the 300-tick reply limit, not earlier
}

TEST_F(UploadIntegrationTest, ResetWhileSendingIsReported) {
  std::string big(8 * 1024 * 1024, 'z');
  auto path = File("big.bin", big);
  control.StartUpload(u"f", server.Url("/_fault/reset/upload.asp"), path, 1);
  EXPECT_EQ(control.NewFileName(), u"Error");
  EXPECT_EQ(ui.History().size(), 1u);
  EXPECT_TRUE(std::filesystem::is_empty(temp.Path()));
}

}  // namespace
}  // namespace velmaris
