#include "core/upload_transfer.h"

#include <gtest/gtest.h>

#include <cstring>

#include "base/error.h"
#include "tests/support/transfer_fixture.h"
#include "tests/support/transfer_probe.h"

namespace velmaris {
namespace {

using testing::FakeSocket;

class TransferTest : public testing::FakeWorld {
 protected:
  double progress = -1;
  std::vector<std::u16string> actions;
  UploadTransfer transfer{
      platform,
      {.default_path = u"/upload.asp",
       .error_action = [this](const std::u16string& text) { actions.push_back(text); },
       .progress = [this](double percent) { progress = percent; },
       .error_box =
           [this](const std::u16string& text) { ui.MessageBox(text, msgbox::kOkOnly, u""); }}};

  void FillOneFile(CompondFile& package) {
    auto path = files.Write("a.txt", "abc");
    package.AddUploadFile(u"a.txt", codepage::FromUtf8(path.string()));
    package.addFormData(u"contentid", u"7");
  }
};

TEST_F(TransferTest, ParseServerAddress) {
  struct Case {
    const char16_t* address;
    int32_t error;  // 0: parsed
    const char16_t* host;
    const char16_t* port;
    const char16_t* path;
    bool secure = false;
    const char16_t* before = u"http://a:81/p";
  };
  // Each row starts from `before`.
  const Case cases[] = {
      {u"HTTP://Server:8080", 0, u"Server", u"8080", u"/"},
      {u"http://h:0/x", 0, u"h", u"80", u"/x"},
      {u"http://h:08080/a b/中文?q=1", 0, u"h", u"8080", u"/a b/中文?q=1"},
      {u"http://b/cms/upload.asp", 0, u"b", u"81", u"/cms/upload.asp"},
      {u"http://b", 0, u"b", u"81", u"/"},
      {u"ftp://h/x", err::kObjectError, u"a", u"81", u"/p"},
      {u"http:/", err::kObjectError, u"a", u"81", u"/p"},
      {u"http://h:abc/x", err::kTypeMismatch, u"a", u"81", u"/p"},
      {u"http://h:/x", err::kTypeMismatch, u"a", u"81", u"/p"},
      {u"http://h:70000/x", err::kOverflow, u"a", u"81", u"/p"},
      {u"http://h/x\r\nEvil: 1", err::kObjectError, u"a", u"81", u"/p"},
      {u"http://h\t/x", err::kObjectError, u"a", u"81", u"/p"},
      {u"HTTPS://b/x", 0, u"b", u"443", u"/x", true},
      {u"https://b:8443", 0, u"b", u"8443", u"/", true},
      {u"https:/b", err::kObjectError, u"a", u"81", u"/p"},
      {u"httpx://b", err::kObjectError, u"a", u"81", u"/p"},
      // After https, an http address without a port goes to 80, not to 443.
      {u"http://b/x", 0, u"b", u"80", u"/x", false, u"https://a/p"},
      {u"https://b/x", 0, u"b", u"443", u"/x", true, u"http://a:81/p"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(codepage::ToUtf8(c.address));
    transfer.ParseServerAddress(c.before);
    try {
      transfer.ParseServerAddress(c.address);
      EXPECT_EQ(c.error, 0);
    } catch (const VbError& e) {
      EXPECT_EQ(e.Number(), c.error);
      if (c.error == err::kObjectError) {
        EXPECT_EQ(e.Source(), u"Error");
        EXPECT_EQ(e.Description(), u"错误的URL");
      }
    }
    EXPECT_EQ(transfer.Host(), c.host);
    EXPECT_EQ(transfer.Port(), c.port);
    EXPECT_EQ(transfer.Path(), c.path);
    EXPECT_EQ(socket->RemoteHost(), c.host);
    EXPECT_EQ(socket->RemotePort(), std::stoi(codepage::ToUtf8(c.port)));
    EXPECT_EQ(socket->Secure(), c.secure);
  }
}

TEST_F(TransferTest, RequestHeaderIsTheTenLines) {
  transfer.ParseServerAddress(u"HTTP://Server:8080");
  const ServerAddress& to = transfer.Address();
  EXPECT_EQ(
      codepage::ToUtf8(RequestHeader(to, to.path, kBoundary, 290)),
      "POST / HTTP/1.1\r\n"
      "Accept: image/gif, image/x-xbitmap, image/jpeg, image/pjpeg, application/msword, "
      "application/vnd.ms-excel, */*\r\n"
      "Accept-Language: zh-cn\r\n"
      "Content-Type: multipart/form-data; boundary=---------------------------7d1c934a05c4\r\n"
      "Accept-Encoding: gzip , deflate\r\n"
      "User-Agent: Mozilla/4.0 (compatible; MSIE 5.01; Windows NT 5.0)\r\n"
      "Host: Server:8080\r\n"
      "Content-Length:  290\r\n"
      "Connection: Keep-Alive\r\n"
      "\r\n");
  // Beyond 32 bits the length is still right.
  EXPECT_NE(
      RequestHeader(to, to.path, kBoundary, 5'000'000'000).find(u"Content-Length:  5000000000\r\n"),
      std::u16string::npos);
}

TEST_F(TransferTest, SuccessfulTransferSendsHeaderAndPackageAndKeepsTheBody) {
  transfer.ParseServerAddress(u"http://h:81/up/中.asp");
  ReplyAfterSend("HTTP/1.1 200 OK\r\nContent-Length: 7\r\n\r\nnew.doc");
  transfer.Run([this](CompondFile& p) { FillOneFile(p); });

  EXPECT_EQ(transfer.Reply(), u"new.doc");
  EXPECT_TRUE(TransferProbe::Finished(transfer));
  EXPECT_EQ(progress, 100);
  const std::string& sent = socket->Sent();
  EXPECT_EQ(sent.rfind("POST /up/\xD6\xD0.asp HTTP/1.1\r\n", 0), 0u);
  size_t body = sent.find("\r\n\r\n") + 4;
  EXPECT_NE(sent.find("Content-Length:  " + std::to_string(sent.size() - body) + "\r\n"),
            std::string::npos);
  EXPECT_NE(sent.find("abc\r\n", body), std::string::npos);
  EXPECT_EQ(socket->State(), FakeSocket::kClosed);
  EXPECT_TRUE(TempIsEmpty()) << "the upload wrote to TEMP";
  EXPECT_TRUE(ui.History().empty());
}

// Each wait ends on the tick of its limit, not one later, and a reply that comes after the reply
// wait has given up is not taken, even while the connection is still open.
TEST_F(TransferTest, TickLimits) {
  struct Case {
    const char* what;
    FakeSocket::ConnectMode mode;
    int connect_ms;
    bool late_answer;        // the server answers half a tick after the reply wait's limit
    int64_t min_ms, max_ms;  // fake time the upload and the reply wait take
    size_t boxes;
    TransferOutcome outcome;
    int handshake_ms = 0;  // over HTTPS when not 0: how long the handshake takes, -1 for ever
    const char16_t* box = nullptr;  // what the box says of the host
  };
  const Case cases[] = {
      // 6 ticks to connect, then no reply wait at all.
      {"connect never completes", FakeSocket::ConnectMode::kNever, 10, false, 600, 600, 0,
       TransferOutcome::kNotConnected},
      {"connects half a tick too late", FakeSocket::ConnectMode::kAfter, 650, false, 600, 600, 0,
       TransferOutcome::kNotConnected},
      {"connection refused", FakeSocket::ConnectMode::kRefuse, 10, false, 0, 100, 1,
       TransferOutcome::kNotConnected},
      // The reply clock starts after the connect wait and runs 300 ticks.
      {"silent server", FakeSocket::ConnectMode::kAfter, 10, false, 30010, 30010, 0,
       TransferOutcome::kTimedOut},
      {"answers half a tick too late", FakeSocket::ConnectMode::kAfter, 10, true, 30010, 30010, 0,
       TransferOutcome::kTimedOut},
      // Over HTTPS the handshake has 100 ticks of its own once TCP is connected, and a step that
      // runs out of time is named.
      {"https: connect never completes", FakeSocket::ConnectMode::kNever, 10, false, 600, 600, 1,
       TransferOutcome::kNotConnected, 10, u"没有响应连接请求（连接超时）"},
      {"https: handshake never completes", FakeSocket::ConnectMode::kAfter, 10, false, 10010, 10010,
       1, TransferOutcome::kNotConnected, -1, u"没有在 10 秒内完成握手（握手超时）"},
      {"https: handshake of 3 s, then a silent server", FakeSocket::ConnectMode::kAfter, 10, false,
       33010, 33010, 0, TransferOutcome::kTimedOut, 3000},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ui.ClearHistory();
    transfer.SetReply(u"previous.doc");
    socket->connect_mode = c.mode;
    socket->connect_delay = std::chrono::milliseconds(c.connect_ms);
    socket->handshake_delay = std::chrono::milliseconds(c.handshake_ms);
    socket->handshake_never = c.handshake_ms < 0;
    transfer.ParseServerAddress(c.handshake_ms == 0 ? u"http://h/" : u"https://h/");
    if (c.late_answer) {
      ReplyAfterSend("HTTP/1.1 200 OK\r\nContent-Length: 4\r\n\r\nlate",
                     std::chrono::milliseconds(kReplyTicks * 100 + 50));
    }
    // One request of a series, with a pause before the series ends and closes the connection.
    UploadTransfer::Series series(transfer);
    int64_t start = loop.ElapsedMs();
    series.Run([this](CompondFile& p) { FillOneFile(p); });
    int64_t took = loop.ElapsedMs() - start;
    loop.RunFor(std::chrono::seconds(1));
    series.End();
    transfer.Package().RemoveAll();
    EXPECT_GE(took, c.min_ms);
    EXPECT_LE(took, c.max_ms);
    EXPECT_EQ(transfer.Reply(), u"Error") << "a failed transfer keeps no earlier result";
    EXPECT_EQ(transfer.LastOutcome(), c.outcome);
    ASSERT_EQ(ui.History().size(), c.boxes);
    if (c.box != nullptr) {
      EXPECT_EQ(ui.History()[0].text, u"无法建立安全连接：服务器 h " + std::u16string(c.box));
    }
    EXPECT_EQ(socket->State(), FakeSocket::kClosed);
    EXPECT_EQ(loop.ActiveTimers(), 0) << "an idle transfer keeps no timer";
    EXPECT_TRUE(TempIsEmpty());
  }
}

TEST_F(TransferTest, SlowSendIsNotAbandonedWhileItProgresses) {
  // Sending takes 50 s in five steps, then the server answers: progress restarts the clock.
  socket->send_step = std::chrono::seconds(10);
  socket->file_steps = 5;
  ReplyAfterSend("HTTP/1.1 200 OK\r\nContent-Length: 2\r\n\r\nok", std::chrono::seconds(20));
  transfer.Run([this](CompondFile& p) { FillOneFile(p); });
  EXPECT_EQ(transfer.Reply(), u"ok");
  EXPECT_GT(loop.ElapsedMs(), 70000);
}

TEST_F(TransferTest, ErrorReplyRunsTheControlsActionAndEndsAtOnce) {
  transfer.SetReply(u"previous.doc");
  ReplyAfterSend("HTTP/1.1 404 Not Found\r\nContent-Length: 3\r\n\r\nnf!");
  transfer.Run([this](CompondFile& p) { FillOneFile(p); });
  EXPECT_EQ(transfer.Reply(), u"Error");
  ASSERT_EQ(actions.size(), 1u);
  EXPECT_EQ(actions[0].rfind(u"HTTP/1.1 404 Not Found", 0), 0u);
  EXPECT_LT(loop.ElapsedMs(), 1000);
}

// A connection that breaks while the reply is awaited ends the wait. A whole reply that came
// before the break is judged as if the server had closed after it, and shows no box; only a break
// with no whole reply shows the socket's description.
TEST_F(TransferTest, BrokenConnectionWhileWaiting) {
  const struct {
    const char* what;
    std::string before;  // what arrived before the break
    const char16_t* reply;
    size_t actions;
    TransferOutcome outcome;
  } cases[] = {
      {"nothing came", "", u"Error", 0, TransferOutcome::kNoReply},
      {"a reply cut short", "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nne", u"Error", 0,
       TransferOutcome::kNoReply},
      {"a reply to the close", "HTTP/1.1 200 OK\r\n\r\nnew.doc", u"new.doc", 0,
       TransferOutcome::kSuccess},
      {"a refusal", "HTTP/1.1 413 Request Entity Too Large\r\n\r\n", u"Error", 1,
       TransferOutcome::kErrorReply},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ui.ClearHistory();
    actions.clear();
    transfer.SetReply(u"previous.doc");
    int64_t start = loop.ElapsedMs();
    loop.After(std::chrono::seconds(2), [this, &c] {
      if (!c.before.empty()) socket->Deliver(c.before);
      socket->RaiseError(10054, u"连接被对方重设");
    });
    transfer.Run([this](CompondFile& p) { FillOneFile(p); });
    EXPECT_EQ(transfer.Reply(), c.reply);
    EXPECT_EQ(transfer.LastOutcome(), c.outcome);
    EXPECT_EQ(actions.size(), c.actions);
    EXPECT_LT(loop.ElapsedMs() - start, 3000);
    if (c.outcome != TransferOutcome::kNoReply) {
      EXPECT_TRUE(ui.History().empty());
      continue;
    }
    ASSERT_EQ(ui.History().size(), 1u);
    EXPECT_EQ(ui.History()[0].text, u"连接被对方重设");
    EXPECT_EQ(ui.History()[0].style, msgbox::kOkOnly);
  }
}

TEST_F(TransferTest, ProgressRoundsHalvesToEven) {
  const struct {
    int64_t sent, remaining;
    double value;
  } cases[] = {{1, 7, 12},
               {3, 5, 38},
               {1, 1, 50},
               {0, 10, 0},
               {10, 0, 100},
               {0, 0, 100},
               {3'000'000'000, 1'000'000'000, 75}};
  for (const auto& c : cases) {
    socket->on_send_progress(c.sent, c.remaining);
    EXPECT_EQ(progress, c.value) << c.sent << "/" << c.remaining;
  }
}

// The counter runs while a reply is on its way (a later wait times it) and stops at its largest
// value; an idle transfer leaves the loop without a timer.
TEST_F(TransferTest, TickCounterStopsAtItsLargestValue) {
  loop.RunFor(std::chrono::seconds(10));
  EXPECT_EQ(TransferProbe::Ticks(transfer), 0);
  EXPECT_EQ(loop.ActiveTimers(), 0);
  socket->connect_mode = FakeSocket::ConnectMode::kAfter;
  FillOneFile(transfer.Package());
  transfer.Send();
  loop.RunFor(std::chrono::hours(1));
  EXPECT_EQ(TransferProbe::Ticks(transfer), 32767);
  EXPECT_EQ(loop.ActiveTimers(), 1);
}

TEST_F(TransferTest, PackageThatCannotBeWrittenSendsNothing) {
  transfer.Package().AddUploadFile(u"gone", u"/nonexistent/gone.txt");
  try {
    transfer.Send();
    FAIL() << "no error";
  } catch (const VbError& e) {
    EXPECT_EQ(e.Number(), err::kFileNotFound);
  }
  EXPECT_EQ(socket->Connects(), 0);
  EXPECT_TRUE(TempIsEmpty());
}

// The file is measured once, before connecting, and changed while the connection is made. The
// request never carries more than it announced; a file that can no longer fill it ends the
// transfer, naming the file. Nothing goes through TEMP, which here cannot be written to.
TEST_F(TransferTest, FileSizesAreTakenOnce) {
  const struct {
    const char* what;
    const char* now;  // the file's contents once it has been measured; null: deleted
    const char* sent;
    const char16_t* box;
  } cases[] = {
      {"unchanged", "abc", "abc\r\n", nullptr},
      {"grown", "abcdef", "abc\r\n", nullptr},
      {"deleted, still open", nullptr, "abc\r\n", nullptr},
      {"shrunk", "ab", "ab", u"文件在发送过程中变小了，上传已中止：a.txt"},
  };
  testing::ScopedEnv env("TEMP", "/nonexistent/velmaris");
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    ui.ClearHistory();
    const auto path = files.Write("a.txt", "abc");
    transfer.Package().RemoveAll();
    transfer.Package().AddUploadFile(u"f", u"a.txt", path);
    loop.After(std::chrono::milliseconds(5), [&] {
      if (c.now == nullptr) {
        std::filesystem::remove(path);
      } else {
        files.Write("a.txt", c.now);
      }
    });
    const size_t before = socket->Sent().size();
    transfer.Send();
    loop.RunFor(std::chrono::seconds(1));
    const std::string sent = socket->Sent().substr(before);
    const size_t body = sent.find("\r\n\r\n") + 4;
    const size_t content = sent.find("\r\n\r\n", body) + 4;
    EXPECT_EQ(sent.substr(content, std::strlen(c.sent)), c.sent);
    if (c.box == nullptr) {
      EXPECT_NE(sent.find("Content-Length:  " + std::to_string(sent.size() - body) + "\r\n"),
                std::string::npos);
      EXPECT_TRUE(ui.History().empty());
    } else {
      // Nothing follows the short file.
      EXPECT_EQ(sent.size(), content + std::strlen(c.sent));
      ASSERT_EQ(ui.History().size(), 1u);
      EXPECT_EQ(ui.History()[0].text, c.box);
      EXPECT_EQ(transfer.LastOutcome(), TransferOutcome::kNoReply);
      EXPECT_EQ(socket->State(), FakeSocket::kClosed);
    }
  }
}

// A package with 16 MiB of files or more chooses its boundary on a thread of its own while the
// loop goes on; the request is the one a small package's choice gives: the fixed boundary, or a
// longer one where the file holds it (here in its last bytes, the end of the second half read).
TEST_F(TransferTest, LargePackageChoosesItsBoundaryAside) {
  const std::string delimiter = std::string("\r\n--") + kBoundary + "\r\n";
  const std::string plain(17 * 1024 * 1024, 'x');
  std::string holding = plain;
  holding.replace(holding.size() - delimiter.size(), delimiter.size(), delimiter);
  for (const bool holds : {false, true}) {
    SCOPED_TRACE(holds ? "holding the boundary" : "plain");
    const std::string& contents = holds ? holding : plain;
    transfer.Package().RemoveAll();
    transfer.Package().AddUploadFile(u"f", u"big.bin", files.Write("big.bin", contents));
    const size_t before = socket->Sent().size();
    transfer.Send();
    const std::string sent = socket->Sent().substr(before);
    const size_t named = sent.find("boundary=") + 9;
    const std::string boundary = sent.substr(named, sent.find("\r\n", named) - named);
    EXPECT_EQ(boundary == kBoundary, !holds);
    EXPECT_EQ(boundary.rfind(kBoundary, 0), 0u);
    const size_t body = sent.find("\r\n\r\n") + 4;
    const size_t content = sent.find("\r\n\r\n", body) + 4;
    EXPECT_EQ(sent.rfind("--" + boundary + "\r\n", body), body);
    EXPECT_TRUE(sent.compare(content, contents.size(), contents) == 0);
    EXPECT_EQ(sent.substr(content + contents.size()), "\r\n--" + boundary + "--\r\n");
    EXPECT_NE(sent.find("Content-Length:  " + std::to_string(sent.size() - body) + "\r\n"),
              std::string::npos);
  }
}

TEST_F(TransferTest, OpenConnectionIsClosedBeforeTheNextOne) {
  transfer.Send();  // connects, sends, no reply awaited
  ASSERT_EQ(socket->State(), FakeSocket::kConnected);
  transfer.Send();
  EXPECT_EQ(socket->Connects(), 2);
  EXPECT_GE(socket->Closes(), 1);
}

TEST_F(TransferTest, StartFromInsideItsOwnWaitIsRefused) {
  // Something the wait yields to (a page's timer) starts again, once while the package is being
  // sent and once while the reply is awaited: refused each time, and the waiting call gets its
  // own reply on its own connection.
  socket->send_step = std::chrono::seconds(1);
  socket->file_steps = 3;
  ReplyAfterSend("HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nfirst", std::chrono::seconds(2));
  std::vector<int32_t> refused;
  auto start_again = [&] {
    try {
      transfer.Run([this](CompondFile& p) { p.addFormData(u"second", u"x"); });
    } catch (const VbError& e) {
      refused.push_back(e.Number());
    }
    try {
      transfer.Send();
    } catch (const VbError& e) {
      refused.push_back(e.Number());
    }
  };
  loop.After(std::chrono::milliseconds(1500), start_again);
  loop.After(std::chrono::milliseconds(4500), start_again);
  transfer.Run([this](CompondFile& p) { FillOneFile(p); });
  EXPECT_EQ(transfer.Reply(), u"first");
  EXPECT_EQ(refused, (std::vector<int32_t>{err::kInvalidCall, err::kInvalidCall, err::kInvalidCall,
                                           err::kInvalidCall}));
  EXPECT_EQ(socket->Connects(), 1);
  EXPECT_EQ(transfer.Package().Files().size(), 1u) << "the package was changed";
  EXPECT_TRUE(TempIsEmpty());
  // Once the call has returned, the next start goes through.
  transfer.Send();
  EXPECT_EQ(socket->Connects(), 2);
}

}  // namespace
}  // namespace velmaris
