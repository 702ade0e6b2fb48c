// What the socket controls of every system share: the remote end, the queue of what is to be sent
// with its progress counts, and what has arrived, read a bounded pass at a time. The system's own
// part connects, receives, writes and closes.
#pragma once

#include <deque>
#include <memory>
#include <string>

#include "platform/message_loop.h"
#include "platform/tcp_socket.h"
#include "platform/tls_session.h"

namespace velmaris {

class QueuedSocket : public TcpSocket {
 public:
  explicit QueuedSocket(MessageLoop& loop) : m_loop(loop) {}

  void SetRemoteHost(const std::u16string& host) override { m_remote_host = host; }
  std::u16string RemoteHost() const override { return m_remote_host; }
  void SetRemotePort(int32_t port) override { m_remote_port = port; }
  int32_t RemotePort() const override { return m_remote_port; }
  void SetSecure(bool secure) override { m_secure = secure; }
  int State() const override { return m_state; }
  bool Handshaking() const override { return m_state == kConnecting && m_tls != nullptr; }
  void SendData(std::string bytes) override;
  void SendFile(FileHandle file, int64_t length) override;
  std::string GetData() override;

  // The most one pass reads before handing the data on, and the most it sends before the loop
  // runs again.
  static constexpr int64_t kReadPass = 256 * 1024;
  static constexpr int64_t kWritePass = 4 * 1024 * 1024;
  // What a file item reads at a time when it goes through TLS.
  static constexpr int64_t kTlsPiece = 256 * 1024;

 protected:
  // Bytes to send, or a file item: `length` bytes of the file from its start.
  struct Item {
    std::string bytes;
    FileHandle file;
    int64_t length = 0;
    int64_t offset = 0;     // how much of it has gone
    size_t piece_sent = 0;  // how much of a piece read into `bytes` has gone, for a file item
  };
  // What one bounded read pass met.
  struct Read {
    int64_t arrived = 0;
    bool peer_closed = false;
    bool drained = false;  // nothing more to read for now
    int error = 0;
    bool gone = false;  // the data handler closed or reopened the socket
  };

  // One receive: the bytes taken, 0 at the peer's end, or -1 with `error` the system's error (0
  // when nothing waits now).
  virtual int64_t Receive(char* data, size_t size, int& error) = 0;
  // The events the connection waits for, after the queue changed.
  virtual void UpdateWatch() = 0;
  // The connection stops being watched once the peer has closed it.
  virtual void StopWatching() = 0;
  virtual void CloseDescriptors() = 0;
  // The socket control's number and description for a system error.
  virtual void DescribeSystemError(int error_number, int32_t& number,
                                   std::u16string& description) const = 0;
  // The connect has ended, well or not (its outcome is the system's to read).
  virtual void OnConnectDone() = 0;
  // Sends from the queue while the connection takes it, a bounded pass at a time.
  virtual void WriteQueued() = 0;
  // A file item ended before its length: the file shrank after the request announced it.
  virtual void FailShortFile() = 0;

  // A TLS session's own failure, where a system error is given.
  static constexpr int kTlsFailed = -1;
  // One more step of the TLS handshake, inside the connect wait: connected when it is done.
  void ContinueHandshake();
  // The connection is ready as `mask` says: the connect or the handshake goes on, or what
  // arrived is read and what waits is sent.
  void OnReady(short mask);
  // Whether bytes wait that the system will not signal (decrypted inside a TLS session).
  bool HoldsUnsignalled() const { return m_tls && m_tls->HasPending(); }
  // Whether the connection is to be watched for room to write: something is queued and the TLS
  // session does not wait for the peer first (a renegotiation under way), or a read of the
  // session has something to send. Watching for room the session cannot use would wake the
  // loop without end.
  bool WantsRoom() const;
  // Fails with the socket control's error for a system error, or the TLS session's own failure.
  void Fail(int error_number);

  Read ReadPass();
  void ReadAvailable();
  // A send failed: delivers what the peer said first, then fails unless that closed the socket.
  void FailSending(int error_number);
  // Counts `n` bytes of the front item as sent and tells the progress; false when the handler
  // closed the socket.
  bool Advance(int64_t n);
  // For a file item that goes through TLS: once the last piece read into its bytes has gone, the
  // next one, read from the file. False when that failed the connection.
  bool ReadPiece(Item& item);
  void Report(int32_t number, const std::u16string& description);
  void DropQueue();

  MessageLoop& m_loop;
  std::u16string m_remote_host;
  int32_t m_remote_port = 0;
  int m_state = kClosed;
  bool m_secure = false;
  std::deque<Item> m_queue;
  // Progress counts over everything queued since the queue was last empty.
  int64_t m_queued = 0;
  int64_t m_sent = 0;
  std::string m_received;
  int m_generation = 0;  // changes whenever the descriptors go
  int m_watch = 0;       // the loop's watch on the connection
  std::unique_ptr<TlsSession> m_tls;
  // What the session's last read and last write waited for (kDone when they did not wait).
  TlsIo m_tls_read_waits = TlsIo::kDone;
  TlsIo m_tls_write_waits = TlsIo::kDone;
};

}  // namespace velmaris
