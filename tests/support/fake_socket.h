// A socket whose peer the test plays: it decides when a connect succeeds, records what was sent
// (file items are read whole), and delivers reply data or a close when told.
#pragma once

#include <string>

#include "platform/tcp_socket.h"
#include "tests/support/fake_loop.h"

namespace velmaris::testing {

class FakeSocket : public TcpSocket {
 public:
  enum class ConnectMode { kAfter, kNever, kRefuse };

  explicit FakeSocket(FakeLoop& loop) : m_loop(loop) {}

  void SetRemoteHost(const std::u16string& host) override { m_host = host; }
  std::u16string RemoteHost() const override { return m_host; }
  void SetRemotePort(int32_t port) override { m_port = port; }
  int32_t RemotePort() const override { return m_port; }
  void SetSecure(bool secure) override { m_secure = secure; }
  bool Secure() const { return m_secure; }

  void Connect() override;
  int State() const override { return m_state; }
  bool Handshaking() const override { return m_handshaking; }
  void SendData(std::string bytes) override;
  void SendFile(FileHandle file, int64_t length) override;
  std::string GetData() override;
  void Close() override;

  // The test's side.
  ConnectMode connect_mode = ConnectMode::kAfter;
  std::chrono::milliseconds connect_delay{10};
  // A secure connection's handshake, once TCP is connected: how long it takes, or whether it
  // never ends.
  std::chrono::milliseconds handshake_delay{10};
  bool handshake_never = false;
  // When set, sending takes this long per progress step (one step per item, or `steps` for files).
  std::chrono::milliseconds send_step{0};
  int file_steps = 1;

  void Deliver(const std::string& bytes);
  void PeerClose();
  void RaiseError(int32_t number, const std::u16string& description);

  const std::string& Sent() const { return m_sent; }
  int Connects() const { return m_connects; }
  // Items handed over whose sending has not finished yet.
  int Unsent() const { return m_unsent; }
  int Closes() const { return m_closes; }

 private:
  FakeLoop& m_loop;
  std::u16string m_host;
  int32_t m_port = 0;
  bool m_secure = false;
  int m_state = kClosed;
  bool m_handshaking = false;
  int m_generation = 0;  // bumps on Close, so late scheduled events are dropped
  std::string m_sent;
  std::string m_pending;
  int m_connects = 0;
  int m_closes = 0;
  int m_unsent = 0;
  // Progress over everything queued since the queue was last empty, as a real socket reports it.
  int64_t m_queued = 0;
  int64_t m_done = 0;

  void Progress(int64_t bytes);
};

}  // namespace velmaris::testing
