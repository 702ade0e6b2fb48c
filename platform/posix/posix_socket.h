// The socket control on non-blocking POSIX sockets: names are resolved on a helper thread whose
// answer is posted back to the loop; connecting, sending and receiving run on the loop.
#pragma once

#include <netdb.h>

#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "platform/message_loop.h"
#include "platform/posix/tls_channel.h"
#include "platform/tcp_socket.h"

namespace velmaris {

class PosixSocket : public TcpSocket {
 public:
  explicit PosixSocket(MessageLoop& loop);
  ~PosixSocket() override;
  PosixSocket(const PosixSocket&) = delete;
  PosixSocket& operator=(const PosixSocket&) = delete;

  void SetRemoteHost(const std::u16string& host) override { m_remote_host = host; }
  std::u16string RemoteHost() const override { return m_remote_host; }
  void SetRemotePort(int32_t port) override { m_remote_port = port; }
  int32_t RemotePort() const override { return m_remote_port; }
  void SetSecure(bool secure) override { m_secure = secure; }

  void Connect() override;
  int State() const override { return m_state; }
  void SendData(std::string bytes) override;
  void SendFile(FileHandle file, int64_t length) override;
  std::string GetData() override;
  void Close() override;

  // The most one pass reads before handing the data on, and the most it sends before the loop
  // runs again.
  static constexpr int64_t kReadPass = 256 * 1024;
  static constexpr int64_t kWritePass = 4 * 1024 * 1024;
  // What a file item reads at a time when it goes through TLS.
  static constexpr int64_t kTlsPiece = 256 * 1024;

 private:
  struct Resolution;
  // Bytes to send, or a file item: `length` bytes of the file from its start, sent by the
  // kernel straight from the file (through TLS: a piece at a time, read into `bytes`).
  struct Item {
    std::string bytes;
    FileHandle file;
    int64_t length = 0;
    int64_t offset = 0;     // how much of it has gone
    size_t piece_sent = 0;  // how much of the piece in `bytes` has gone, for a file item
  };

  void OnResolved(int gai_error, struct addrinfo* addresses);
  void TryNextAddress();
  void OnReady(short mask);
  void OnConnectDone();
  void ContinueHandshake();
  // One receive or send on the connection, plain or through TLS, as recv(2) and send(2) answer;
  // a TLS failure of its own sets errno to kTlsFailed.
  ssize_t Receive(char* data, size_t size);
  ssize_t Transmit(const char* data, size_t size, bool more);
  ssize_t Transferred(TlsChannel::Io io, size_t done);
  // What one bounded read pass met.
  struct Read {
    int64_t arrived = 0;
    bool peer_closed = false;
    bool drained = false;  // nothing more to read for now
    int error = 0;
    bool gone = false;  // the data handler closed or reopened the socket
  };
  Read ReadPass();
  void ReadAvailable();
  void WriteQueued();
  // A send failed: delivers what the peer said first, then fails unless that closed the socket.
  void FailSending(int error_number);
  void Fail(int error_number);
  // A file item ended before its length: the file shrank after the request announced it.
  void FailShortFile();
  void Report(int32_t number, const std::u16string& description);
  void UpdateWatch();
  void CloseDescriptors();

  MessageLoop& m_loop;
  std::u16string m_remote_host;
  int32_t m_remote_port = 0;
  int m_state = kClosed;
  bool m_secure = false;
  std::unique_ptr<TlsChannel> m_tls;
  bool m_tls_wants_write = false;
  int m_fd = -1;
  int m_watch = 0;
  std::shared_ptr<Resolution> m_resolution;
  struct addrinfo* m_addresses = nullptr;
  struct addrinfo* m_next_address = nullptr;
  std::deque<Item> m_queue;
  // Progress counts over everything queued since the queue was last empty.
  int64_t m_queued = 0;
  int64_t m_sent = 0;
  std::string m_received;
  int64_t m_received_total = 0;
  int m_generation = 0;  // changes whenever the descriptors go
};

}  // namespace velmaris
