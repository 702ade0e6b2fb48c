// The socket base every system shares, on a scripted system: what the peer said and how the
// system answers are set per row, so an order that real sockets leave to a race is fixed.
#include "platform/queued_socket.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cerrno>
#include <string>
#include <vector>

#include "tests/support/fake_loop.h"

namespace velmaris {
namespace {

class ScriptedSocket : public QueuedSocket {
 public:
  explicit ScriptedSocket(MessageLoop& loop) : QueuedSocket(loop) {}

  void Connect() override { m_state = kConnected; }
  void Close() override {
    ++m_generation;
    m_state = kClosed;
  }
  // The system's next answers to sends and receives.
  int send_error = 0;
  std::string waiting;  // what the peer sent and nobody read yet
  bool peer_closed = false;
  void Write() { WriteQueued(); }

 protected:
  int64_t Receive(char* data, size_t size, int& error) override {
    if (!waiting.empty()) {
      const size_t n = std::min(size, waiting.size());
      waiting.copy(data, n);
      waiting.erase(0, n);
      return static_cast<int64_t>(n);
    }
    if (peer_closed) return 0;
    error = 0;
    return -1;
  }
  void UpdateWatch() override {}
  void StopWatching() override {}
  void CloseDescriptors() override {}
  void DescribeSystemError(int error_number, int32_t& number,
                           std::u16string& description) const override {
    number = error_number;
    description = u"system error";
  }
  void OnConnectDone() override {}
  void WriteQueued() override {
    if (send_error != 0) FailSending(send_error);
  }
  void FailShortFile() override {}
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
      {"nothing waits", "", false, {"error 104"}},
      {"an answer waits", "HTTP/1.1 413 x\r\n\r\n", false, {"data 18", "error 104"}},
      {"the answer closes it", "HTTP/1.1 413 x\r\n\r\n", true, {"data 18"}},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    testing::FakeLoop loop;
    ScriptedSocket socket(loop);
    std::vector<std::string> events;
    socket.on_data_arrival = [&](int64_t total) {
      events.push_back("data " + std::to_string(total));
      if (c.close_on_data) socket.Close();
    };
    socket.on_error = [&](int32_t number, const std::u16string&) {
      events.push_back("error " + std::to_string(number));
    };
    socket.Connect();
    socket.waiting = c.waiting;
    socket.peer_closed = true;
    socket.send_error = ECONNRESET;
    socket.SendData("POST / HTTP/1.1\r\n\r\nbody");
    socket.Write();
    EXPECT_EQ(events, c.events);
  }
}

}  // namespace
}  // namespace velmaris
