// The Windows platform set on a real system (or Wine): the message loop, sockets against the
// reference content server (over HTTP and HTTPS), the file system on wide-character paths and the
// dialogs' answer forms. Argument: the folder that holds one folder per server (plain, tls, and
// one for each certificate fault and the stalled handshake), its root with the port in `port`.
#include <windows.h>
// The system's macros would rename our members of the same names.
#undef DeleteFile
#undef MessageBox
#include <wincrypt.h>

#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "base/error.h"
#include "platform/filesystem.h"
#include "platform/platform_set.h"
#include "platform/win32/win32_ui.h"
#include "platform/win32/window_loop.h"
#include "tests/windows/trusted_authorities.h"

using namespace velmaris;
using namespace std::chrono_literals;

namespace {

int g_passed = 0;
int g_failed = 0;

void Check(bool ok, const char* what, int line) {
  ok ? ++g_passed : ++g_failed;
  if (!ok) std::printf("FAILED (line %d): %s\n", line, what);
}
#define CHECK(condition) Check((condition), #condition, __LINE__)

template <typename Call>
int32_t ErrorOf(Call call) {
  try {
    call();
  } catch (const VbError& error) {
    return error.Number();
  }
  return 0;
}

// Runs the loop until `done` or ten seconds have gone.
template <typename Done>
void WaitUntil(MessageLoop& loop, Done done) {
  bool late = false;
  const int timer = loop.AddTimer(10s, [&] { late = true; });
  while (!done() && !late) loop.WaitForEvent();
  loop.RemoveTimer(timer);
}

std::chrono::milliseconds ThreadCpu() {
  FILETIME created, ended, kernel, user;
  GetThreadTimes(GetCurrentThread(), &created, &ended, &kernel, &user);
  const auto ticks = [](FILETIME t) {
    return (uint64_t{t.dwHighDateTime} << 32) | t.dwLowDateTime;
  };
  return std::chrono::milliseconds((ticks(kernel) + ticks(user)) / 10000);
}

void LoopChecks() {
  WindowLoop loop;
  int ticks = 0;
  const int timer = loop.AddTimer(30ms, [&] { ++ticks; });
  loop.RunFor(320ms);
  loop.RemoveTimer(timer);
  const int counted = ticks;
  loop.RunFor(100ms);
  CHECK(counted >= 5 && counted <= 12);
  CHECK(ticks == counted);

  // A wait for a callback posted from another thread sleeps: no CPU goes meanwhile.
  bool ran = false;
  const auto start = MessageLoop::Clock::now();
  const auto cpu = ThreadCpu();
  std::thread poster([&] {
    Sleep(300);
    loop.Post([&] { ran = true; });
  });
  while (!ran) loop.WaitForEvent();
  poster.join();
  CHECK(MessageLoop::Clock::now() - start >= 250ms);
  CHECK(ThreadCpu() - cpu < 60ms);

  // The host's WM_QUIT outlives a wait, for its own loop to see.
  PostQuitMessage(3);
  bool posted = false;
  loop.Post([&] { posted = true; });
  loop.WaitForEvent();
  MSG quit;
  CHECK(posted);
  CHECK(PeekMessageW(&quit, nullptr, WM_QUIT, WM_QUIT, PM_REMOVE) && quit.wParam == 3);
}

struct Exchange {
  std::string reply;
  int32_t error = 0;
  std::u16string description;
  bool closed = false;
  int64_t sent = 0;
  int64_t remaining = -1;
};

// Connects, sends the queue `fill` makes and takes the reply until the server closes.
Exchange Send(PlatformSet& set, const std::u16string& host, int port, bool secure,
              const std::function<void(TcpSocket&)>& fill) {
  Exchange exchange;
  auto socket = set.new_socket();
  socket->on_data_arrival = [&](int64_t) { exchange.reply += socket->GetData(); };
  socket->on_error = [&](int32_t number, const std::u16string& description) {
    exchange.error = number, exchange.description = description;
  };
  socket->on_close = [&] { exchange.closed = true; };
  socket->on_send_progress = [&](int64_t sent, int64_t remaining) {
    exchange.sent = sent, exchange.remaining = remaining;
  };
  socket->SetRemoteHost(host);
  socket->SetRemotePort(port);
  socket->SetSecure(secure);
  socket->Connect();
  WaitUntil(*set.loop, [&] {
    return socket->State() != TcpSocket::kResolvingHost &&
           socket->State() != TcpSocket::kHostResolved && socket->State() != TcpSocket::kConnecting;
  });
  if (socket->State() == TcpSocket::kConnected) {
    fill(*socket);
    WaitUntil(*set.loop, [&] { return exchange.closed || exchange.error != 0; });
  }
  return exchange;
}

std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 4096) & 0xFF);
  return bytes;
}

void SocketChecks(const std::u16string& servers, const std::u16string& folder) {
  PlatformSet set = MakeHeadlessSet();
  FileSystemObject files;
  const auto port = [&](const char16_t* server) {
    return std::stoi(files.ReadAllBytes(servers + u"\\" + server + u"\\port"));
  };
  TrustedAuthorities trusted;
  for (const char16_t* server : {u"tls", u"expired", u"wrong-name", u"unknown-ca"}) {
    CHECK(trusted.Add(files.ReadAllBytes(servers + u"\\" + server + u"\\tls\\ca.pem")));
  }

  const std::u16string path = folder + u"\\上传 文件.bin";
  // Three TransmitFile pieces and a part of one.
  const std::string content = Pattern(3 * 1024 * 1024 + 4321);
  CreateNewFile(path).Write(content.data(), content.size());

  const std::string body_head =
      "--XyZ\r\nContent-Disposition: form-data; name=\"file\"; filename=\"a.bin\"\r\n"
      "Content-Type: application/octet-stream\r\n\r\n";
  const std::string body_tail = "\r\n--XyZ--\r\n";
  const std::string head =
      "POST /upload.asp HTTP/1.1\r\nHost: localhost\r\n"
      "Content-Type: multipart/form-data; boundary=XyZ\r\nContent-Length: " +
      std::to_string(body_head.size() + content.size() + body_tail.size()) +
      "\r\nConnection: close\r\n\r\n" + body_head;
  // By name, so resolved on the helper thread; ::1 may refuse first, 127.0.0.1 takes it. Over
  // TLS (the certificate names both) the file goes in pieces read and encrypted as it goes.
  const struct {
    const char16_t* server;
    const char16_t* host;
    const char* request;  // as the server stored it
  } uploads[] = {
      {u"plain", u"localhost", "000001"},
      {u"tls", u"localhost", "000001"},
      {u"tls", u"127.0.0.1", "000002"},
  };
  for (const auto& u : uploads) {
    const bool secure = std::u16string(u.server) == u"tls";
    const Exchange upload = Send(set, u.host, port(u.server), secure, [&](TcpSocket& socket) {
      socket.SendData(head);
      socket.SendFile(OpenRegularFile(path), static_cast<int64_t>(content.size()));
      socket.SendData(body_tail);
    });
    CHECK(upload.error == 0);
    CHECK(upload.reply.rfind("HTTP/1.1 200", 0) == 0);
    CHECK(upload.remaining == 0 &&
          upload.sent == static_cast<int64_t>(head.size() + content.size() + body_tail.size()));
    // What the server got is what was sent, byte for byte.
    const std::u16string stored = servers + u"\\" + u.server + u"\\requests\\" +
                                  std::u16string(u.request, u.request + 6) + u".http";
    CHECK(files.ReadAllBytes(stored) == head + content + body_tail);
  }
  // The name is sent (SNI) for a name only.
  CHECK(files.ReadAllBytes(servers + u"\\tls\\tls\\server-names.txt") == "localhost\n\n");

  // A file shorter than announced ends the connection with 62, the server seeing a reset.
  const Exchange shrunk = Send(set, u"127.0.0.1", port(u"plain"), false, [&](TcpSocket& socket) {
    socket.SendData(head);
    socket.SendFile(OpenRegularFile(path), static_cast<int64_t>(content.size()) + 1000);
  });
  CHECK(shrunk.error == err::kPastEndOfFile);

  struct Refusal {
    const char16_t* host;
    int port;
    bool secure;
    int32_t number;
    std::u16string description;
  };
  const std::u16string unsafe = u"无法建立安全连接：服务器 ";
  const Refusal refusals[] = {
      {u"127.0.0.1", 1, false, 10061, u"连接被强制拒绝"},
      {u"127.0.0.1", port(u"self-signed"), true, static_cast<int32_t>(0x80090325u),
       unsafe + u"127.0.0.1 的证书是自签名的，不受信任"},
      {u"127.0.0.1", port(u"expired"), true, static_cast<int32_t>(0x80090328u),
       unsafe + u"127.0.0.1 的证书已过期"},
      {u"localhost", port(u"wrong-name"), true, static_cast<int32_t>(0x80090322u),
       unsafe + u"localhost 的证书不是为该主机颁发的"},
      {u"127.0.0.1", port(u"wrong-name"), true, static_cast<int32_t>(0x80090322u),
       unsafe + u"127.0.0.1 的证书不是为该主机颁发的"},
      {u"127.0.0.1", port(u"unknown-ca"), true, static_cast<int32_t>(0x80090325u),
       unsafe + u"127.0.0.1 的证书由不受信任的颁发机构签发"},
  };
  for (const auto& refusal : refusals) {
    const Exchange refused =
        Send(set, refusal.host, refusal.port, refusal.secure, [](TcpSocket&) {});
    CHECK(refused.error == refusal.number && refused.description == refusal.description);
  }

  // A handshake never answered keeps the socket connecting, TCP connected and the handshake under
  // way, for the handshake's limit to end.
  auto stalled = set.new_socket();
  stalled->SetRemoteHost(u"127.0.0.1");
  stalled->SetRemotePort(port(u"stall"));
  stalled->SetSecure(true);
  stalled->Connect();
  set.loop->RunFor(1500ms);
  CHECK(stalled->State() == TcpSocket::kConnecting && stalled->Handshaking());
  stalled->Close();
  files.DeleteFile(path);
}

void FileChecks(const std::u16string& folder) {
  FileSystemObject files;
  const std::u16string path = folder + u"\\数据 文件.bin";
  const std::string content = Pattern(100000);
  CreateNewFile(path).Write(content.data(), content.size());
  CHECK(ErrorOf([&] { CreateNewFile(path); }) == err::kFileExists);
  {
    const FileHandle file = OpenRegularFile(path);
    char piece[10];
    CHECK(file.CurrentSize() == 100000);
    CHECK(file.ReadAt(1000, piece, 10) == 10 && std::string(piece, 10) == content.substr(1000, 10));
    CHECK(file.ReadAt(100000, piece, 10) == 0);
    // Deleted while open, as on POSIX: the open file still reads. (The name may stay until the
    // file is closed, as it does on older Windows.)
    files.DeleteFile(path);
    CHECK(file.ReadAt(99995, piece, 10) == 5);
  }
  CHECK(!files.FileExists(path));
  CreateNewFile(folder + u"\\乙.txt");
  CreateNewFile(folder + u"\\a.txt");
  const FolderEntry entry = files.GetFolder(folder + u"\\");
  CHECK(entry.Path == folder);
  const auto listed = entry.Files();
  CHECK(listed.size() == 2 && listed[0].Name == u"a.txt" && listed[1].Name == u"乙.txt" &&
        listed[1].Path == folder + u"\\乙.txt");

  struct Failure {
    int32_t number;
    std::function<void()> call;
  };
  const Failure failures[] = {
      {err::kFileNotFound, [&] { OpenRegularFile(folder + u"\\无.txt"); }},
      {err::kFileNotFound, [&] { OpenRegularFile(folder + u"\\无\\x.txt"); }},
      {err::kPathFileAccess, [&] { OpenRegularFile(folder); }},
      {err::kPathFileAccess, [&] { OpenRegularFile(u"NUL"); }},
      {err::kPathNotFound, [&] { files.GetFolder(folder + u"\\无"); }},
      {err::kFileExists, [&] { files.CreateFolder(folder); }},
      {err::kBadFileName, [&] { OpenRegularFile(folder + std::u16string(u"\\a\0b", 4)); }},
      {0, [&] { CHECK(!PrivateFolder::Open(folder, u"私有").Fresh()); }},
      {0, [&] { CHECK(!PrivateFolder::Open(folder, u"私有").Fresh()); }},
      // A file at the name: a fresh folder beside it, gone with its object.
      {0,
       [&] {
         std::u16string fresh;
         {
           const PrivateFolder taken = PrivateFolder::Open(folder, u"a.txt");
           CHECK(taken.Fresh() && taken.CreateNewFile(u"x.tmp") && !taken.CreateNewFile(u"x.tmp"));
           fresh = taken.Path();
         }
         CHECK(!files.FolderExists(fresh) && files.FileExists(folder + u"\\a.txt"));
       }},
  };
  for (const auto& failure : failures) CHECK(ErrorOf(failure.call) == failure.number);
}

void DialogAnswerChecks() {
  using namespace std::string_literals;
  CHECK(win32ui::Filter(u"文档|*.doc;*.txt|全部|*.*") == L"文档\0*.doc;*.txt\0全部\0*.*\0\0"s);
  CHECK(win32ui::Filter(u"空|| 图片|*.jpg|落单") == L" 图片\0*.jpg\0\0"s);
  CHECK(win32ui::Filter(u"").empty());
  CHECK(win32ui::Selection(L"C:\\文件夹\\a.txt\0") == u"C:\\文件夹\\a.txt");
  CHECK(win32ui::Selection(L"C:\\文件夹\0a.txt\0乙.doc\0") == u"C:\\文件夹\0a.txt\0乙.doc"s);
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fputs("usage: platform_test SERVERS_FOLDER\n", stderr);
    return 2;
  }
  const std::string servers_text = argv[1];
  const std::u16string servers(servers_text.begin(), servers_text.end());
  FileSystemObject files;
  const std::u16string folder = TempFolderPath() + u"\\velmaris 测试";
  if (files.FolderExists(folder)) files.DeleteFolder(folder);
  files.CreateFolder(folder);
  try {
    LoopChecks();
    SocketChecks(servers, folder);
    FileChecks(folder);
    DialogAnswerChecks();
  } catch (const VbError& error) {
    ++g_failed;
    std::printf("FAILED: error %d raised\n", static_cast<int>(error.Number()));
  }
  files.DeleteFolder(folder);
  std::printf("%d passed, %d failed\n", g_passed, g_failed);
  return g_failed == 0 ? 0 : 1;
}
