// The socket every system shares, on a scripted system: what the peer said and how the
// system answers are set per row, so an order that real sockets leave to a race is fixed.
#include "platform/queued_socket.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

#include "tests/support/fake_loop.h"

namespace velmaris {
namespace {

// A system whose every address connects at once; what the peer sent and how sends end are set
// per row.
class ScriptedSystem : public SocketSystem {
 public:
  struct One : Addresses {
    size_t Count() const override { return 1; }
  };
  static std::shared_ptr<Addresses> Resolve(const std::u16string&, int32_t, bool) {
    return std::make_shared<One>();
  }

  NetError send_error;
  std::string waiting;  // what the peer sent and nobody read yet
  bool peer_closed = false;
  MessageLoop::FdCallback ready;  // the loop's call when the connection is ready

  NetError Open(const Addresses&, size_t) override { return {}; }
  int Watch(MessageLoop&, short, MessageLoop::FdCallback on_ready) override {
    ready = std::move(on_ready);
    return 1;
  }
  NetError Connect(const Addresses&, size_t) override { return {}; }
  std::optional<NetError> Connected() override { return NetError{}; }
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
  IoResult SendFile(const FileHandle&, int64_t, int64_t, std::function<void()>) override {
    return IoResult::Blocked();
  }
  void Reset() override {}
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

}  // namespace
}  // namespace velmaris
