// Every fault the reference content server can play, against the way each control sends: what the
// control keeps and shows afterwards, that it left nothing in TEMP, and that its next transfer
// goes through as if nothing had happened.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <netinet/in.h>
#include <openssl/ssl.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <atomic>
#include <functional>
#include <thread>

#include "base/codepage.h"
#include "base/error.h"
#include "controls/file/file_upload.h"
#include "controls/file/multi_upload.h"
#include "controls/image/image_import.h"
#include "controls/image/image_upload.h"
#include "controls/office/office_import.h"
#include "tests/support/integration_world.h"
#include "tests/unit/controls/image/test_pictures.h"

namespace velmaris {
namespace {

constexpr char16_t kSep[] = u"----abcdefghijklmnopqrstuvwxyz----";
constexpr char16_t kRefused[] = u"连接被强制拒绝";
constexpr char16_t kAllSent[] = u"所有文件上传完成.";
constexpr char16_t kOneFailed[] = u"共 1 个文件，其中 1 个上传失败.";
constexpr char16_t kStopped[] = u"无法连接服务器，上传已停止.\r\n";
constexpr char16_t kConfirm[] = u"是否确认要进行上传操作？";

// The poll loop with timers `scale` times faster than asked, counting every tick it delivers: the
// 300-tick reply limit then passes in a fraction of its time, on real sockets, and the ticks a
// call took show whether it kept to its limits.
class ScaledLoop : public MessageLoop {
 public:
  explicit ScaledLoop(int scale) : m_scale(scale) {}

  void Pump() override { m_loop.Pump(); }
  void WaitForEvent() override { m_loop.WaitForEvent(); }
  void RunFor(std::chrono::milliseconds duration) override { m_loop.RunFor(duration); }
  Clock::time_point Now() const override { return m_loop.Now(); }
  int AddTimer(std::chrono::milliseconds interval, Callback on_tick) override {
    auto scaled = std::max(std::chrono::milliseconds(1), interval / m_scale);
    return m_loop.AddTimer(scaled, [this, on_tick = std::move(on_tick)] {
      ++m_ticks;
      on_tick();
    });
  }
  void RemoveTimer(int id) override { m_loop.RemoveTimer(id); }
  int WatchFd(Descriptor fd, short events, FdCallback on_ready) override {
    return m_loop.WatchFd(fd, events, [this, on_ready = std::move(on_ready)](short mask) {
      ++m_socket_wakeups;
      on_ready(mask);
    });
  }
  void SetFdEvents(int id, short events) override { m_loop.SetFdEvents(id, events); }
  void UnwatchFd(int id) override { m_loop.UnwatchFd(id); }
  void Post(Callback callback) override { m_loop.Post(std::move(callback)); }

  int64_t Ticks() const { return m_ticks; }
  // How often a socket woke the loop.
  int64_t SocketWakeups() const { return m_socket_wakeups; }

 private:
  PollLoop m_loop;
  int m_scale;
  int64_t m_ticks = 0;
  int64_t m_socket_wakeups = 0;
};

// A TLS 1.2 server that asks for a renegotiation right after its handshake and never goes on with
// it, taking in and dropping whatever comes: the client's writes wait for the server to speak
// while the connection always has room. Certificate and key from `tls_dir`, as the reference
// server made them.
class RenegotiationStall {
 public:
  explicit RenegotiationStall(const std::filesystem::path& tls_dir)
      : m_context(SSL_CTX_new(TLS_server_method())) {
    SSL_CTX_set_min_proto_version(m_context, TLS1_2_VERSION);
    SSL_CTX_set_max_proto_version(m_context, TLS1_2_VERSION);
    SSL_CTX_use_certificate_chain_file(m_context, (tls_dir / "server.pem").c_str());
    SSL_CTX_use_PrivateKey_file(m_context, (tls_dir / "server.key").c_str(), SSL_FILETYPE_PEM);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    bind(m_listener, reinterpret_cast<sockaddr*>(&address), length);
    listen(m_listener, 4);
    getsockname(m_listener, reinterpret_cast<sockaddr*>(&address), &length);
    m_port = ntohs(address.sin_port);
    m_thread = std::thread([this] { Serve(); });
  }
  ~RenegotiationStall() {
    m_stop = true;
    m_thread.join();
    close(m_listener);
    SSL_CTX_free(m_context);
  }
  RenegotiationStall(const RenegotiationStall&) = delete;
  RenegotiationStall& operator=(const RenegotiationStall&) = delete;

  std::u16string Url(const std::string& path) const {
    return codepage::FromUtf8("https://127.0.0.1:" + std::to_string(m_port) + path);
  }

 private:
  // Whether `fd` became readable within a moment; false once the test is over.
  bool Readable(int fd) {
    pollfd watched{fd, POLLIN, 0};
    while (!m_stop) {
      if (poll(&watched, 1, 50) > 0) return true;
    }
    return false;
  }
  void Serve() {
    while (Readable(m_listener)) {
      const int fd = accept(m_listener, nullptr, nullptr);
      SSL* ssl = SSL_new(m_context);
      SSL_set_fd(ssl, fd);
      if (SSL_accept(ssl) == 1 && SSL_renegotiate(ssl) == 1) {
        // Sends the request and returns instead of waiting for the answer.
        fcntl(fd, F_SETFL, O_NONBLOCK);
        SSL_do_handshake(ssl);
        char dropped[65536];
        while (Readable(fd) && recv(fd, dropped, sizeof dropped, 0) > 0) {
        }
      }
      SSL_free(ssl);
      close(fd);
    }
  }

  SSL_CTX* m_context;
  int m_listener = socket(AF_INET, SOCK_STREAM, 0);
  int m_port = 0;
  std::atomic<bool> m_stop{false};
  std::thread m_thread;
};

// How a fault ends a transfer.
enum class Ends {
  kBody,         // a whole 200 reply: its body is the reply
  kStatus,       // another status: the control's error action, reply "Error"
  kNoReply,      // closed, or no HTTP at all: "Error" and nothing shown
  kSocketError,  // the socket reported an error: "Error" and a box with its description
};

struct Mode {
  const char* name;
  Ends ends;
  int status = 0;  // the status line's code, for kStatus
  // The package must be well beyond what the server reads before it resets the connection.
  bool big = false;
};

const Mode kModes[] = {
    {"404", Ends::kStatus, 404},
    {"500", Ends::kStatus, 500},
    {"403", Ends::kStatus, 403},
    {"hdr500", Ends::kStatus, 302},
    {"slow-700", Ends::kBody},
    {"split", Ends::kBody},
    {"chunked", Ends::kBody},
    {"gzip", Ends::kBody},
    {"deflate", Ends::kBody},
    {"close", Ends::kNoReply},
    {"garbage", Ends::kNoReply},
    {"refused", Ends::kSocketError},
    {"reset", Ends::kSocketError, 0, true},
    // Answers before the package is sent and closes: the rest of the send meets a reset.
    {"early", Ends::kStatus, 413, true},
    {"answer-reset", Ends::kBody},
    // 200 with a body without end: judged an error once more than a reply may hold has come.
    {"endless", Ends::kStatus, 200},
};

const Mode kNoAnswer{"noanswer", Ends::kNoReply};

// Whatever a control needs around it, on a loop that may run its timers faster.
class Rig : public testing::World<ScaledLoop> {
 public:
  explicit Rig(int scale = 1, const testing::RefServerOptions& server_options = {})
      : World(server_options, scale) {}

  // `path` on the server behind `mode`; nobody listens for "refused".
  std::u16string Address(const Mode& mode, const std::string& path) const {
    if (std::string(mode.name) == "refused") return testing::RefusedUrl(path);
    return server.Url("/_fault/" + std::string(mode.name) + path);
  }
  // Message boxes shown, the batch confirmation left out.
  std::vector<HeadlessUi::Shown> Boxes() const { return World::Boxes(kConfirm); }
  size_t StoredUploads() const { return server.Uploads().size(); }
  size_t StoredArticles() const { return server.ArticleCount(); }
  // The content field of the newest article.
  std::u16string LastArticleContent() const {
    return codepage::FromUtf8(
        testing::Field(server.Article(static_cast<int>(StoredArticles())), "content"));
  }
};

// The reply a control keeps after `mode`: the body of a whole 200 reply, else "Error".
std::u16string KeptReply(const Mode& mode, const std::u16string& body) {
  return mode.ends == Ends::kBody ? body : u"Error";
}

bool IsSocketDescription(const std::u16string& text, const Mode& mode) {
  if (std::string(mode.name) == "refused") return text == kRefused;
  // A reset shows as a reset or an aborted connection, by whether a send or a read met it.
  return text == u"连接被对方重设" || text == u"连接已中止";
}

// Checks boxes that follow from the transfer itself: none, or the socket's description.
void ExpectTransferBoxes(const Mode& mode, const std::vector<HeadlessUi::Shown>& boxes,
                         size_t transfers = 1) {
  if (mode.ends != Ends::kSocketError) {
    EXPECT_TRUE(boxes.empty()) << codepage::ToUtf8(boxes.front().text);
    return;
  }
  ASSERT_EQ(boxes.size(), transfers);
  for (const auto& box : boxes) {
    EXPECT_TRUE(IsSocketDescription(box.text, mode)) << codepage::ToUtf8(box.text);
  }
}

std::string StatusLine(const Mode& mode) {
  return "HTTP/1.1 " + std::to_string(mode.status) + " ";
}

// Each control drives one transfer the way its users do and reads what it left.
struct Outcome {
  std::u16string reply;  // the kept reply, where the control keeps one
  std::vector<HeadlessUi::Shown> boxes;
  std::u16string log;  // the picture controls' log
};

// --- FileUpload ------------------------------------------------------------------------------

class FileUploadDriver {
 public:
  explicit FileUploadDriver(Rig& rig)
      : m_rig(rig),
        m_small(rig.File("a.txt", "abc")),
        m_big(rig.File("big.bin", std::string(8 << 20, 'z'))) {}

  Outcome Send(const Mode& mode) {
    m_rig.ui.ClearHistory();
    m_control.SetNewFileName(u"previous");
    m_control.StartUpload(u"f", m_rig.Address(mode, "/upload.asp"), mode.big ? m_big : m_small, 1);
    return {m_control.NewFileName(), m_rig.Boxes(), {}};
  }

 private:
  Rig& m_rig;
  FileUpload m_control{m_rig.platform};
  std::u16string m_small;
  std::u16string m_big;
};

// --- MultiUpload: a tree of one file ----------------------------------------------------------

class MultiUploadDriver {
 public:
  explicit MultiUploadDriver(Rig& rig) : m_rig(rig) {
    rig.File("small/a.txt", "abc");
    rig.File("big/big.bin", std::string(8 << 20, 'z'));
  }

  Outcome Send(const Mode& mode) {
    m_rig.ui.ClearHistory();
    m_rig.UploadFolder(m_control, mode.big ? "big" : "small", u"up",
                       m_rig.Address(mode, "/upload.asp"));
    return {m_control.Transfer().Reply(), m_rig.Boxes(), {}};
  }

 private:
  Rig& m_rig;
  MultiUpload m_control{m_rig.platform};
};

// MultiUpload keeps no reply; the boxes tell what happened, and the walk always ends with its own,
// which counts the file the server did not take.
void ExpectMultiUpload(const Mode& mode, const Outcome& seen) {
  EXPECT_EQ(seen.reply, u"");
  ASSERT_FALSE(seen.boxes.empty());
  const bool refused = std::string(mode.name) == "refused";
  EXPECT_EQ(seen.boxes.back().text, mode.ends == Ends::kBody ? std::u16string(kAllSent)
                                    : refused                ? kStopped + std::u16string(kOneFailed)
                                                             : std::u16string(kOneFailed));
  std::vector<HeadlessUi::Shown> before(seen.boxes.begin(), seen.boxes.end() - 1);
  if (mode.ends != Ends::kStatus) {
    ExpectTransferBoxes(mode, before);
    return;
  }
  ASSERT_EQ(before.size(), 1u);
  EXPECT_EQ(before[0].caption, u"文件上传时出错!");
  EXPECT_EQ(before[0].style, msgbox::kCritical);
  EXPECT_TRUE(codepage::ToUtf8(before[0].text).starts_with(StatusLine(mode)))
      << codepage::ToUtf8(before[0].text);
}

// --- OfficeImport: a picture upload and an article post ---------------------------------------

class OfficeUploadDriver {
 public:
  explicit OfficeUploadDriver(Rig& rig)
      : m_rig(rig),
        m_small(rig.File("p.gif", "GIF89a")),
        m_big(rig.File("big.bin", std::string(8 << 20, 'z'))) {}

  Outcome Send(const Mode& mode) {
    m_rig.ui.ClearHistory();
    m_control.Init(m_rig.Address(mode, "/cms/upload.asp"), m_rig.server.Url("/cms/savepost.asp"),
                   u"d", 1, u"u");
    m_control.StartUpload(u"pics", mode.big ? m_big : m_small, 7);
    return {m_control.Reply(), m_rig.Boxes(), {}};
  }

 private:
  Rig& m_rig;
  OfficeImport m_control{m_rig.platform};
  std::u16string m_small;
  std::u16string m_big;
};

class ArticlePostDriver {
 public:
  explicit ArticlePostDriver(Rig& rig) : m_rig(rig) {
    // A long article for the reset: its post is still being sent when the server gives up.
    for (int i = 0; i < 300000; ++i) m_long += u"一行正文，足够长的文章内容。\r\n";
  }

  Outcome Send(const Mode& mode) {
    m_rig.ui.ClearHistory();
    // Host and port come from the upload address, only the path from the post address.
    if (std::string(mode.name) == "refused") {
      m_control.Init(m_rig.Address(mode, "/cms/upload.asp"), u"http://x/cms/savepost.asp", u"d", 1,
                     u"u");
    } else {
      m_control.Init(m_rig.server.Url("/cms/upload.asp"), m_rig.Address(mode, "/cms/savepost.asp"),
                     u"d", 1, u"u");
    }
    const std::u16string text = mode.big ? u"长文\r\n" + m_long : u"标题\r\n正文\r\n";
    std::u16string failure;
    try {
      EXPECT_EQ(m_control.ImportTxt(text, u"1", u"u"), 1);
    } catch (const VbError& error) {
      EXPECT_EQ(error.Number(), err::kNotAccepted);
      failure = error.Description();
    }
    return {m_control.Reply(), m_rig.Boxes(), failure};
  }

 private:
  Rig& m_rig;
  OfficeImport m_control{m_rig.platform};
  std::u16string m_long;
};

// --- The picture controls: a batch of one picture through their form ---------------------------

template <class Control>
class PictureDriver {
 public:
  explicit PictureDriver(Rig& rig) : m_rig(rig) {
    testing::WriteJpg(rig.files.Path() / "a.jpg", 32, 24);
    // Uncompressed, so the file is as big as the reset needs.
    testing::WriteBmp(rig.files.Path() / "big.bmp", 1700, 1700);
  }

  Outcome Send(const Mode& mode) {
    m_rig.ui.ClearHistory();
    m_control.Init(m_rig.Address(mode, "/cms/upload.asp"), m_rig.server.Url("/cms/savepost.asp"),
                   u"", 5, u"编辑", u"W");
    Form& form = m_control.GetForm();
    m_rig.AddPictures(form, {Picture(mode)});
    form[u"btnBegin"].on_click();
    // A batch that ends by a failure keeps its list; the next one must not send it again.
    form[u"lstFileList"].Clear();
    return {m_control.Reply(), m_rig.Boxes(), form[u"txtLog"].Text()};
  }
  std::u16string Picture(const Mode& mode) const {
    return m_rig.files.U16(mode.big ? "big.bmp" : "a.jpg");
  }
  Control& control() { return m_control; }

 private:
  Rig& m_rig;
  Control m_control{m_rig.platform};
};

// The log of a batch whose one picture met `mode`: a whole 200 reply runs the batch to its closing
// line; anything else ends it with the picture's failure, after the transfer's error text where a
// status came back.
void ExpectPictureLog(const Mode& mode, const std::u16string& start_line,
                      const std::u16string& picture, const Outcome& seen) {
  std::u16string head = start_line + u"\r\n上传 " + picture;
  EXPECT_TRUE(seen.log.starts_with(head)) << codepage::ToUtf8(seen.log);
  if (mode.ends == Ends::kBody) {
    EXPECT_EQ(seen.log, head + u"完成！\r\n本次上传图片全部传输完成！\r\n");
    return;
  }
  const std::u16string failed = u"[VelmarisClient]" + picture + u"：图片上传失败：";
  EXPECT_NE(seen.log.find(u"\r\n系统错误，操作被强行终止，错误描述：\r\n(-2147220991)" + failed),
            std::u16string::npos)
      << codepage::ToUtf8(seen.log);
  size_t error = seen.log.find(u"传输遇到错误：");
  if (mode.ends != Ends::kStatus) {
    EXPECT_EQ(error, std::u16string::npos) << codepage::ToUtf8(seen.log);
    return;
  }
  ASSERT_EQ(error, head.size()) << codepage::ToUtf8(seen.log);
  std::string received = codepage::ToUtf8(seen.log.substr(error + 7));
  EXPECT_TRUE(received.starts_with(StatusLine(mode))) << received;
}

// A plain route with nothing in front: "/_fault/slow-0" is the normal handling.
const Mode kPlain{"slow-0", Ends::kBody};

// Every mode in turn, each followed by the control's next transfer against the plain server,
// which must succeed; neither may leave anything in TEMP.
template <class Driver, class Check>
void RunMatrix(Rig& rig, Driver& driver, Check check) {
  for (const Mode& mode : kModes) {
    SCOPED_TRACE(mode.name);
    check(mode, driver.Send(mode));
    EXPECT_TRUE(rig.TempIsEmpty()) << "the upload wrote to TEMP";
    {
      SCOPED_TRACE("the next transfer");
      check(kPlain, driver.Send(kPlain));
    }
    EXPECT_TRUE(rig.TempIsEmpty()) << "the upload wrote to TEMP";
  }
}

TEST(FaultMatrixTest, FileUpload) {
  Rig rig;
  FileUploadDriver driver(rig);
  RunMatrix(rig, driver, [&](const Mode& mode, const Outcome& seen) {
    EXPECT_EQ(seen.reply, KeptReply(mode, rig.LastAddress()));
    ExpectTransferBoxes(mode, seen.boxes);
  });
}

// Over HTTPS every fault ends as it does over HTTP.
TEST(FaultMatrixTest, FileUploadOverHttps) {
  Rig rig(1, {.tls = true});
  FileUploadDriver driver(rig);
  RunMatrix(rig, driver, [&](const Mode& mode, const Outcome& seen) {
    EXPECT_EQ(seen.reply, KeptReply(mode, rig.LastAddress()));
    ExpectTransferBoxes(mode, seen.boxes);
  });
}

TEST(FaultMatrixTest, MultiUpload) {
  Rig rig;
  MultiUploadDriver driver(rig);
  size_t stored = 0;
  RunMatrix(rig, driver, [&](const Mode& mode, const Outcome& seen) {
    ExpectMultiUpload(mode, seen);
    // Only a whole 200 reply means the server took the file.
    size_t now = rig.StoredUploads();
    EXPECT_EQ(now - stored, mode.ends == Ends::kBody ? 1u : 0u);
    stored = now;
  });
}

TEST(FaultMatrixTest, OfficeImportPictureUpload) {
  Rig rig;
  OfficeUploadDriver driver(rig);
  RunMatrix(rig, driver, [&](const Mode& mode, const Outcome& seen) {
    EXPECT_EQ(seen.reply, KeptReply(mode, rig.LastAddress()));
    ExpectTransferBoxes(mode, seen.boxes);
  });
}

// The article post takes any 2xx or 3xx as success and fails the import on anything else.
TEST(FaultMatrixTest, OfficeImportArticlePost) {
  Rig rig;
  ArticlePostDriver driver(rig);
  size_t stored = 0;
  RunMatrix(rig, driver, [&](const Mode& mode, const Outcome& seen) {
    const bool redirect = mode.ends == Ends::kStatus && mode.status >= 300 && mode.status < 400;
    const bool too_large = mode.ends == Ends::kStatus && mode.status == 200;
    EXPECT_EQ(seen.reply, redirect ? u"<html><body>Moved</body></html>" : KeptReply(mode, u"OK"));
    // The failure says what came back, or that nothing did.
    if (mode.ends == Ends::kBody || redirect) {
      EXPECT_EQ(seen.log, u"");
    } else if (too_large) {
      EXPECT_EQ(seen.log, u"文章发布失败：服务器的应答过长");
    } else if (mode.ends == Ends::kStatus) {
      EXPECT_EQ(seen.log,
                u"文章发布失败：服务器返回状态 " + codepage::FromUtf8(std::to_string(mode.status)));
    } else {
      EXPECT_TRUE(seen.log.starts_with(u"文章发布失败：服务器没有应答"))
          << codepage::ToUtf8(seen.log);
    }
    ExpectTransferBoxes(mode, seen.boxes);
    size_t now = rig.StoredArticles();
    EXPECT_EQ(now - stored, mode.ends == Ends::kBody ? 1u : 0u);
    stored = now;
  });
}

// The picture controls post an article only from an upload the server took: any fault of the
// upload ends the batch with no article.
template <class Control>
void PictureMatrix(const std::u16string& start_line,
                   const std::function<std::u16string(const std::u16string& reply,
                                                      const std::u16string& title)>& content) {
  Rig rig;
  PictureDriver<Control> driver(rig);
  size_t articles = 0;
  RunMatrix(rig, driver, [&](const Mode& mode, const Outcome& seen) {
    const bool taken = mode.ends == Ends::kBody;
    EXPECT_EQ(seen.reply, taken ? u"OK" : u"Error");
    ExpectPictureLog(mode, start_line, driver.Picture(mode), seen);
    ExpectTransferBoxes(mode, seen.boxes);
    size_t now = rig.StoredArticles();
    ASSERT_EQ(now - articles, taken ? 1u : 0u);
    articles = now;
    if (taken) {
      EXPECT_EQ(rig.LastArticleContent(), content(rig.LastAddress(), mode.big ? u"big" : u"a"));
    }
  });
}

TEST(FaultMatrixTest, ImageUpload) {
  PictureMatrix<ImageUpload>(
      u"开始处理图片上传：",
      [](const std::u16string& reply, const std::u16string&) { return reply + kSep; });
}

TEST(FaultMatrixTest, ImageImport) {
  // One article for the batch, the picture and its title in it (the title is the picture's name).
  PictureMatrix<ImageImport>(
      u"开始上传图片：", [](const std::u16string& reply, const std::u16string& title) {
        return u"<p align=center>" + reply + u"</p><P align=center>" + title + u"</P>" + kSep;
      });
}

// A server that takes the package and never answers: each control gives up after 300 ticks of
// silence, not sooner and not twice, on a loop whose ticks are 20 times faster than real ones.
TEST(FaultMatrixTest, NoAnswerEndsAtTheReplyLimitInEveryControl) {
  constexpr int64_t kLeast = kReplyTicks;
  // The wait for the reply, with room for connecting and closing and the rest of the call.
  constexpr int64_t kMost = kReplyTicks + kConnectTicks + 2 * kCloseTicks + 20;
  Rig rig(20);
  // Each case makes its control when it runs, so the ticks counted are that control's alone.
  const struct {
    const char* control;
    std::function<Outcome()> send;
    std::function<void(const Outcome&)> check;
  } cases[] = {
      {"FileUpload", [&] { return FileUploadDriver(rig).Send(kNoAnswer); },
       [](const Outcome& seen) {
         EXPECT_EQ(seen.reply, u"Error");
         EXPECT_TRUE(seen.boxes.empty());
       }},
      {"MultiUpload", [&] { return MultiUploadDriver(rig).Send(kNoAnswer); },
       [](const Outcome& seen) { ExpectMultiUpload(kNoAnswer, seen); }},
      {"OfficeImport.StartUpload", [&] { return OfficeUploadDriver(rig).Send(kNoAnswer); },
       [](const Outcome& seen) {
         EXPECT_EQ(seen.reply, u"Error");
         EXPECT_TRUE(seen.boxes.empty());
       }},
      {"OfficeImport.ImportTxt", [&] { return ArticlePostDriver(rig).Send(kNoAnswer); },
       [](const Outcome& seen) {
         EXPECT_EQ(seen.reply, u"Error");
         EXPECT_EQ(seen.log, u"文章发布失败：服务器没有应答（等待超时）");
         EXPECT_TRUE(seen.boxes.empty());
       }},
      // The picture that got no answer ends the batch; no article is posted from it.
      {"ImageUpload", [&] { return PictureDriver<ImageUpload>(rig).Send(kNoAnswer); },
       [&](const Outcome& seen) {
         EXPECT_EQ(seen.reply, u"Error");
         EXPECT_TRUE(seen.boxes.empty());
         EXPECT_EQ(rig.StoredArticles(), 0u);
       }},
      {"ImageImport", [&] { return PictureDriver<ImageImport>(rig).Send(kNoAnswer); },
       [&](const Outcome& seen) {
         EXPECT_EQ(seen.reply, u"Error");
         EXPECT_TRUE(seen.boxes.empty());
         EXPECT_EQ(rig.StoredArticles(), 0u);
       }},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.control);
    int64_t before = rig.loop.Ticks();
    Outcome seen = c.send();
    int64_t took = rig.loop.Ticks() - before;
    c.check(seen);
    EXPECT_GE(took, kLeast);
    EXPECT_LE(took, kMost);
    EXPECT_TRUE(rig.TempIsEmpty()) << "the upload wrote to TEMP";
  }
}

// A TLS server that stalls: one that never answers the handshake is given up at the handshake's
// limit, with a box naming it; one that asks for a renegotiation and never goes on with it, at the
// reply's. Meanwhile the connection wakes the loop only when something happens on it: watched
// for room while TLS waits for the server to speak, it would wake the loop without end.
TEST(FaultMatrixTest, StalledTlsEndsAtItsLimitWithoutSpinning) {
  constexpr int64_t kSlack = kConnectTicks + 2 * kCloseTicks + 20;
  Rig rig(20, {.tls_stall = true});
  RenegotiationStall renegotiation(rig.server.Root() / "tls");
  const std::u16string big = rig.File("big.bin", std::string(8 << 20, 'z'));
  const struct {
    const char* what;
    std::u16string url;
    int64_t limit;
    const char16_t* box;
  } cases[] = {
      {"handshake", rig.server.Url("/upload.asp"), kHandshakeTicks,
       u"无法建立安全连接：服务器 127.0.0.1 没有在 10 秒内完成握手（握手超时）"},
      {"renegotiation", renegotiation.Url("/upload.asp"), kReplyTicks, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    rig.ui.ClearHistory();
    FileUpload control{rig.platform};
    const int64_t ticks = rig.loop.Ticks();
    const int64_t wakeups = rig.loop.SocketWakeups();
    control.StartUpload(u"f", c.url, big, 1);
    EXPECT_EQ(control.NewFileName(), u"Error");
    EXPECT_GE(rig.loop.Ticks() - ticks, c.limit);
    EXPECT_LE(rig.loop.Ticks() - ticks, c.limit + kSlack);
    EXPECT_LT(rig.loop.SocketWakeups() - wakeups, 50);
    const auto boxes = rig.Boxes();
    ASSERT_EQ(boxes.size(), c.box == nullptr ? 0u : 1u);
    if (c.box != nullptr) {
      EXPECT_EQ(boxes[0].text, c.box);
    }
  }
}

// The same limit in real time, once: 300 ticks of the real 100-millisecond timer.
TEST(FaultMatrixTest, NoAnswerInRealTime) {
  Rig rig;
  PictureDriver<ImageUpload> driver(rig);
  int64_t before = rig.loop.Ticks();
  Outcome seen = driver.Send(kNoAnswer);
  EXPECT_GE(rig.loop.Ticks() - before, kReplyTicks);
  EXPECT_EQ(rig.StoredArticles(), 0u);
  EXPECT_TRUE(seen.boxes.empty());
  EXPECT_TRUE(rig.TempIsEmpty()) << "the upload wrote to TEMP";
  // The next batch goes through.
  seen = driver.Send(kPlain);
  EXPECT_EQ(rig.LastArticleContent(), std::u16string(u"/files/a.jpg") + kSep);
}

}  // namespace
}  // namespace velmaris
