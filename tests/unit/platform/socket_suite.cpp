// The system's own socket, as its platform set makes it (POSIX here, Winsock on Windows: the same
// table on each), against reference content servers on loopback: exchanges over HTTP and HTTPS,
// and each fault a connection meets. tests/support/socket_servers.sh starts the servers and names
// their folder in VELMARIS_SOCKET_SERVERS: a folder per server (plain, tls, one per certificate
// fault, stall), its root, with the port in `port`.
#ifdef _WIN32
#include "tests/windows/trusted_authorities.h"
// The system's macros would rename our members of the same names.
#undef DeleteFile
#undef MessageBox
#endif
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

#include "platform/filesystem.h"
#include "platform/platform_set.h"
#include "tests/support/temp_dir.h"
#include "tests/support/thread_cpu.h"

namespace velmaris {
namespace {

using namespace std::chrono_literals;
using ::testing::Contains;

// The servers' folder, their test authorities trusted while this lives: in the user's store on
// Windows, through SSL_CERT_FILE elsewhere.
class Servers {
 public:
  Servers() {
    const char* folder = std::getenv("VELMARIS_SOCKET_SERVERS");
    if (folder == nullptr) return;
    m_folder = testing::Utf8Path(folder);
    std::string authorities;
    for (const char* server : {"tls", "expired", "wrong-name", "unknown-ca"}) {
      const std::string authority = testing::ReadFile(m_folder / server / "tls" / "ca.pem");
#ifdef _WIN32
      m_trusted.Add(authority);
#endif
      authorities += authority;
    }
#ifndef _WIN32
    const auto bundle = m_folder / "trusted.pem";
    std::ofstream(bundle, std::ios::binary) << authorities;
    m_trust.emplace("SSL_CERT_FILE", bundle.c_str());
#endif
  }

  bool Started() const {
    return !m_folder.empty();
  }
  // The server's port; nobody listens on port 1.
  int Port(const char* server) const {
    return server ? std::stoi(testing::ReadFile(m_folder / server / "port")) : 1;
  }
  // The newest request the server stored, and the newest name a handshake asked it for.
  std::string NewestRequest(const char* server) const {
    std::filesystem::path newest;
    for (const auto& entry : std::filesystem::directory_iterator(m_folder / server / "requests")) {
      newest = std::max(newest, entry.path());
    }
    return testing::ReadFile(newest);
  }
  std::string NewestServerName(const char* server) const {
    std::string names = testing::ReadFile(m_folder / server / "tls" / "server-names.txt");
    if (names.empty()) return "<none>";
    names.pop_back();
    return names.substr(names.rfind('\n') + 1);
  }

 private:
  std::filesystem::path m_folder;
#ifdef _WIN32
  TrustedAuthorities m_trusted;
#else
  std::optional<testing::ScopedEnv> m_trust;
#endif
};

// Runs the loop until `done` or `limit` has gone.
template <typename Done>
void RunUntil(MessageLoop& loop, std::chrono::milliseconds limit, Done done) {
  bool late = false;
  const int timer = loop.AddTimer(limit, [&] { late = true; });
  while (!done() && !late) loop.WaitForEvent();
  loop.RemoveTimer(timer);
}

enum class Send {
  kNothing,    // never connected
  kUpload,     // a request with a file of three TransmitFile pieces and a part of one
  kShortFile,  // its head, then the file announced 1000 bytes longer than it is
};

struct Row {
  const char* what;
  const char* server;  // its folder; null for a port nobody listens on
  const char16_t* host;
  const char* target;
  Send send;
  // What the socket told, in order: arrivals run together, an error with its description. Where
  // a read or a send may meet a reset first, either outcome, split by '|'.
  std::u16string events;
  const char* reply = "";             // how what arrived begins
  const char* server_name = nullptr;  // the name a TLS server was asked for (SNI)
  bool handshaking = false;           // at the end
  // What Wine's sockets may tell besides, where they differ from the system they stand for.
  const char16_t* on_wine = nullptr;
};

// Whether this runs on Wine, whose ntdll says so.
bool OnWine() {
#ifdef _WIN32
  const HMODULE ntdll = GetModuleHandleW(L"ntdll.dll");
  return ntdll != nullptr && GetProcAddress(ntdll, "wine_get_version") != nullptr;
#else
  return false;
#endif
}

const std::u16string kUnsafe = u" 无法建立安全连接：服务器 ";

const Row kRows[] = {
    // By name, resolved on a helper thread: ::1 may refuse first, 127.0.0.1 takes it.
    {"by name", "plain", u"localhost", "/upload.asp", Send::kUpload, u"data, close",
     "HTTP/1.1 200"},
    // Over TLS the file goes in pieces read and encrypted as it goes; the name is sent for a name
    // only.
    {"TLS by name", "tls", u"localhost", "/upload.asp", Send::kUpload, u"data, close",
     "HTTP/1.1 200", "localhost"},
    {"TLS by address", "tls", u"127.0.0.1", "/upload.asp", Send::kUpload, u"data, close",
     "HTTP/1.1 200", ""},
    {"refused", nullptr, u"127.0.0.1", "", Send::kNothing, u"error 10061 连接被强制拒绝"},
    // The server reads the start of the body and resets the connection.
    {"reset", "plain", u"127.0.0.1", "/_fault/reset/upload.asp", Send::kUpload,
     u"error 10054 连接被对方重设|error 10053 连接已中止", "", nullptr, false,
     // Wine answers a read after a reset with the end of the stream, where Windows tells the
     // reset.
     u"close"},
    // The server answers on the head alone and closes, the body unread, resetting the connection
    // after its close: what it said comes first, then its close or the reset.
    {"early reply", "plain", u"127.0.0.1", "/_fault/early/upload.asp", Send::kUpload,
     u"data, close|data, error 10054 连接被对方重设|data, error 10053 连接已中止", "HTTP/1.1 413"},
    // The peer must not take a shorter body for the one announced.
    {"short file", "plain", u"127.0.0.1", "/upload.asp", Send::kShortFile,
     u"error 62 输入超出文件尾"},
    // The system security layer's numbers: 0x80090325, 0x80090328, 0x80090322.
    {"self-signed", "self-signed", u"127.0.0.1", "", Send::kNothing,
     u"error -2146893019" + kUnsafe + u"127.0.0.1 的证书是自签名的，不受信任"},
    {"expired", "expired", u"127.0.0.1", "", Send::kNothing,
     u"error -2146893016" + kUnsafe + u"127.0.0.1 的证书已过期"},
    {"wrong name", "wrong-name", u"localhost", "", Send::kNothing,
     u"error -2146893022" + kUnsafe + u"localhost 的证书不是为该主机颁发的"},
    // Named by its address, a server's certificate must name that address.
    {"wrong address", "wrong-name", u"127.0.0.1", "", Send::kNothing,
     u"error -2146893022" + kUnsafe + u"127.0.0.1 的证书不是为该主机颁发的"},
    {"unknown authority", "unknown-ca", u"127.0.0.1", "", Send::kNothing,
     u"error -2146893019" + kUnsafe + u"127.0.0.1 的证书由不受信任的颁发机构签发"},
    // A handshake never answered keeps the socket connecting, TCP connected and the handshake
    // under way, for the caller's limit to end; meanwhile it waits without spinning.
    {"stalled handshake", "stall", u"127.0.0.1", "", Send::kNothing, u"", "", nullptr, true},
};

std::vector<std::u16string> Alternatives(const std::u16string& events) {
  std::vector<std::u16string> split(1);
  for (const char16_t c : events) {
    if (c == u'|') {
      split.emplace_back();
    } else {
      split.back() += c;
    }
  }
  return split;
}

std::string Pattern(size_t size) {
  std::string bytes(size, '\0');
  for (size_t i = 0; i < size; ++i) bytes[i] = static_cast<char>((i * 7 + i / 4096) & 0xFF);
  return bytes;
}

TEST(SocketSuite, ExchangesAndFaults) {
  const Servers servers;
  ASSERT_TRUE(servers.Started()) << "run through tests/support/socket_servers.sh";
  PlatformSet set = MakeHeadlessSet();
  const testing::TempDir folder;
  const std::string content = Pattern(3 * 1024 * 1024 + 4321);
  folder.Write("上传 文件.bin", content);
  const std::u16string path = folder.U16("上传 文件.bin");
  const std::string body_head =
      "--XyZ\r\nContent-Disposition: form-data; name=\"file\"; filename=\"a.bin\"\r\n"
      "Content-Type: application/octet-stream\r\n\r\n";
  const std::string body_tail = "\r\n--XyZ--\r\n";

  for (const Row& row : kRows) {
    SCOPED_TRACE(row.what);
    const std::string head =
        "POST " + std::string(row.target) +
        " HTTP/1.1\r\nHost: localhost\r\nContent-Type: multipart/form-data; boundary=XyZ\r\n"
        "Content-Length: " +
        std::to_string(body_head.size() + content.size() + body_tail.size()) +
        "\r\nConnection: close\r\n\r\n" + body_head;
    auto socket = set.new_socket();
    std::u16string events;  // as the row writes them
    const auto tell = [&](const std::u16string& event) {
      events += (events.empty() ? u"" : u", ") + event;
    };
    std::string reply;
    int64_t sent = 0, remaining = -1;
    socket->on_data_arrival = [&](int64_t) {
      reply += socket->GetData();
      if (!events.ends_with(u"data")) tell(u"data");
    };
    socket->on_error = [&](int32_t number, const std::u16string& text) {
      const std::string digits = std::to_string(number);
      tell(u"error " + std::u16string(digits.begin(), digits.end()) + u" " + text);
    };
    socket->on_close = [&] { tell(u"close"); };
    socket->on_send_progress = [&](int64_t bytes_sent, int64_t bytes_remaining) {
      sent = bytes_sent, remaining = bytes_remaining;
    };
    socket->SetRemoteHost(row.host);
    socket->SetRemotePort(servers.Port(row.server));
    socket->SetSecure(row.server != nullptr && std::string(row.server) != "plain");
    const auto cpu = testing::ThreadCpu();
    socket->Connect();
    RunUntil(*set.loop, row.handshaking ? 1500ms : 10000ms, [&] {
      return socket->State() != TcpSocket::kResolvingHost &&
             socket->State() != TcpSocket::kHostResolved &&
             socket->State() != TcpSocket::kConnecting;
    });
    if (row.handshaking) {
      EXPECT_LT(testing::ThreadCpu() - cpu, 300ms);
    }
    if (socket->State() == TcpSocket::kConnected && row.send != Send::kNothing) {
      socket->SendData(head);
      const auto length = static_cast<int64_t>(content.size());
      socket->SendFile(OpenRegularFile(path),
                       row.send == Send::kShortFile ? length + 1000 : length);
      if (row.send == Send::kUpload) socket->SendData(body_tail);
      RunUntil(*set.loop, 10000ms, [&] { return !events.empty() && !events.ends_with(u"data"); });
    }
    std::u16string expected = row.events;
    if (row.on_wine != nullptr && OnWine()) expected = expected + u"|" + row.on_wine;
    EXPECT_THAT(Alternatives(expected), Contains(events));
    EXPECT_EQ(reply.substr(0, std::string(row.reply).size()), row.reply);
    // The state tells how it ended.
    const int ended = events.empty()               ? TcpSocket::kConnecting
                      : events.ends_with(u"close") ? TcpSocket::kClosing
                                                   : TcpSocket::kError;
    EXPECT_EQ(socket->State(), ended);
    EXPECT_EQ(socket->Handshaking(), row.handshaking);
    if (std::string(row.reply) == "HTTP/1.1 200") {
      // All of it went, and what the server stored is what was sent, byte for byte.
      const std::string request = head + content + body_tail;
      EXPECT_EQ(sent, static_cast<int64_t>(request.size()));
      EXPECT_EQ(remaining, 0);
      EXPECT_TRUE(servers.NewestRequest(row.server) == request);
    }
    if (row.server_name) {
      EXPECT_EQ(servers.NewestServerName(row.server), row.server_name);
    }
    socket->Close();
  }
}

}  // namespace
}  // namespace velmaris
