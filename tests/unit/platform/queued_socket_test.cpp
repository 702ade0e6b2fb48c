// The socket every system shares, on a scripted system: what the peer said and how the
// system answers are set per row, so an order that real sockets leave to a race is fixed.
#include "platform/queued_socket.h"

#include <fcntl.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/fake_loop.h"

namespace velmaris {
namespace {

// A system whose answers are set per row: how each address's connect ends, what the peer sent,
// how sends and a file end.
class ScriptedSystem : public SocketSystem {
 public:
  struct Some : Addresses {
    size_t count;
    explicit Some(size_t n) : count(n) {}
    size_t Count() const override { return count; }
  };
  // How many addresses any host resolves to: the resolver runs without a system.
  static inline size_t addresses = 1;
  static std::shared_ptr<Addresses> Resolve(const std::u16string&, int32_t, bool) {
    return addresses == 0 ? nullptr : std::make_shared<Some>(addresses);
  }

  std::vector<NetError> connects{NetError{}};  // how the connect to each address ends
  size_t opened = 0;
  IoResult file_now, file_later;  // a file's outcome at once, and later for a pending one
  std::function<void()> file_ended;
  bool reset = false;
  NetError send_error;
  std::string waiting;  // what the peer sent and nobody read yet
  bool peer_closed = false;
  MessageLoop::FdCallback ready;  // the loop's call when the connection is ready

  NetError Open(const Addresses&, size_t index) override {
    opened = index;
    return {};
  }
  int Watch(MessageLoop&, short, MessageLoop::FdCallback on_ready) override {
    ready = std::move(on_ready);
    return 1;
  }
  NetError Connect(const Addresses&, size_t) override { return {}; }
  std::optional<NetError> Connected() override { return connects.at(opened); }
  std::unique_ptr<TlsSession> StartTls(const std::u16string&) override { return nullptr; }
  IoResult Send(const char*, size_t size, bool) override {
    return send_error ? IoResult::Failed(send_error) : IoResult::Taken(static_cast<int64_t>(size));
  }
  IoResult Receive(char* data, size_t size) override {
    if (!waiting.empty()) {
      const size_t n = std::min(size, waiting.size());
      waiting.copy(data, n);
      waiting.erase(0, n);
      return IoResult::Taken(static_cast<int64_t>(n));
    }
    return peer_closed ? IoResult::Taken(0) : IoResult::Blocked();
  }
  IoResult SendFile(const FileHandle&, int64_t, int64_t, std::function<void()> ended) override {
    file_ended = std::move(ended);
    return file_now;
  }
  IoResult FileSent() override { return file_later; }
  void Reset() override { reset = true; }
  void Close() override {}
};

// A server that refuses a request answers and closes before it has read it all; the send then
// fails. What it answered is handed on before the failure, and a handler that closes the socket
// on that answer hears no failure at all.
TEST(QueuedSocketTest, AnswerWaitingWhenASendFailsComesFirst) {
  const struct {
    const char* what;
    std::string waiting;
    bool close_on_data;
    std::vector<std::string> events;
  } cases[] = {
      {"nothing waits", "", false, {"error 10054"}},
      {"an answer waits", "HTTP/1.1 413 x\r\n\r\n", false, {"data 18", "error 10054"}},
      {"the answer closes it", "HTTP/1.1 413 x\r\n\r\n", true, {"data 18"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    testing::FakeLoop loop;
    auto owned = std::make_unique<ScriptedSystem>();
    ScriptedSystem& system = *owned;
    QueuedSocket socket(loop, std::move(owned), &ScriptedSystem::Resolve);
    std::vector<std::string> events;
    socket.on_data_arrival = [&](int64_t total) {
      events.push_back("data " + std::to_string(total));
      if (c.close_on_data) socket.Close();
    };
    socket.on_error = [&](int32_t number, const std::u16string&) {
      events.push_back("error " + std::to_string(number));
    };
    socket.Connect();
    system.ready(MessageLoop::kWritable);
    ASSERT_EQ(socket.State(), TcpSocket::kConnected);
    system.waiting = c.waiting;
    system.peer_closed = true;
    system.send_error = {NetFault::kReset};
    socket.SendData("POST / HTTP/1.1\r\n\r\nbody");
    system.ready(MessageLoop::kWritable);
    EXPECT_EQ(events, c.events);
  }
}

// The socket's own steps on the system's answers: the addresses tried in turn, a host with none,
// and a file that the system sends at once or later, whole or cut short (the connection reset).
TEST(QueuedSocketTest, AddressesInTurnAndFilesAsTheSystemSendsThem) {
  const IoResult taken = IoResult::Taken(4);
  const IoResult pending{IoResult::kPending, 0, {}};
  const IoResult short_file{IoResult::kFileEnded, 0, {}};
  const NetError refused{NetFault::kRefused};
  const struct {
    const char* what;
    std::vector<NetError> connects;
    IoResult now, later;
    std::vector<std::string> events;
  } cases[] = {
      {"no address", {}, taken, {}, {"error 11001"}},
      {"the second address", {refused, {}}, taken, {}, {"sent 4 left 0"}},
      {"every address refuses", {refused, {NetFault::kTimedOut}}, taken, {}, {"error 10060"}},
      {"the file ends short", {{}}, short_file, {}, {"error 62", "reset"}},
      {"the file goes later", {{}}, pending, taken, {"sent 4 left 0"}},
      {"it ends short later", {{}}, pending, short_file, {"error 62", "reset"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    testing::FakeLoop loop;
    auto owned = std::make_unique<ScriptedSystem>();
    ScriptedSystem& system = *owned;
    ScriptedSystem::addresses = c.connects.size();
    system.connects = c.connects;
    system.file_now = c.now;
    system.file_later = c.later;
    QueuedSocket socket(loop, std::move(owned), &ScriptedSystem::Resolve);
    std::vector<std::string> events;
    socket.on_send_progress = [&](int64_t sent, int64_t left) {
      events.push_back("sent " + std::to_string(sent) + " left " + std::to_string(left));
    };
    socket.on_error = [&](int32_t number, const std::u16string&) {
      events.push_back("error " + std::to_string(number));
    };
    socket.Connect();
    if (c.connects.empty()) loop.WaitForEvent();  // the resolver's answer
    while (socket.State() == TcpSocket::kConnecting) system.ready(MessageLoop::kWritable);
    if (socket.State() == TcpSocket::kConnected) {
      socket.SendFile(FileHandle(open("/dev/null", O_RDONLY)), 4);
      system.ready(MessageLoop::kWritable);
      if (system.file_ended) system.file_ended();
      loop.Pump();
    }
    if (system.reset) events.push_back("reset");
    EXPECT_EQ(events, c.events);
  }
  ScriptedSystem::addresses = 1;
}

}  // namespace
}  // namespace velmaris
