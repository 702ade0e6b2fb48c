// The socket control as every system runs it: the name resolved on a helper thread, each address
// tried in turn, the connect wait and the TLS handshake, the queue of what is to be sent with its
// progress, files sent from themselves, what has arrived read a bounded pass at a time, and the
// failures told as the control's numbers. The system's own calls come from a SocketSystem.
#pragma once

#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "platform/message_loop.h"
#include "platform/socket_system.h"
#include "platform/tcp_socket.h"
#include "platform/tls_session.h"

namespace velmaris {

class QueuedSocket : public TcpSocket {
 public:
  QueuedSocket(MessageLoop& loop, std::unique_ptr<SocketSystem> system,
               SocketSystem::Resolver resolve);
  ~QueuedSocket() override;
  QueuedSocket(const QueuedSocket&) = delete;
  QueuedSocket& operator=(const QueuedSocket&) = delete;

  void SetRemoteHost(const std::u16string& host) override { m_remote_host = host; }
  std::u16string RemoteHost() const override { return m_remote_host; }
  void SetRemotePort(int32_t port) override { m_remote_port = port; }
  int32_t RemotePort() const override { return m_remote_port; }
  void SetSecure(bool secure) override { m_secure = secure; }
  void Connect() override;
  int State() const override { return m_state; }
  bool Handshaking() const override { return m_state == kConnecting && m_tls != nullptr; }
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
  // What a helper thread (the resolver, the system's end of a file) holds to post back to the
  // loop: the socket lets go of it when it goes, and a late answer is dropped instead of
  // reaching it.
  class Anchor {
   public:
    explicit Anchor(MessageLoop& loop) : m_loop(&loop) {}
    // Runs `step` on the loop's thread, unless the socket has gone by then; from any thread.
    static void Post(const std::shared_ptr<Anchor>& anchor, MessageLoop::Callback step);
    void Detach();

   private:
    std::mutex m_mutex;
    MessageLoop* m_loop;
  };
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
    bool failed = false;
    NetError error;
    bool gone = false;  // the data handler closed or reopened the socket
  };

  void OnResolved(std::shared_ptr<SocketSystem::Addresses> addresses);
  void TryNextAddress();
  void OnConnectDone();
  // One more step of the TLS handshake, inside the connect wait: connected when it is done.
  void ContinueHandshake();
  // The connection is ready as `mask` says: the connect or the handshake goes on, or what
  // arrived is read and what waits is sent.
  void OnReady(short mask);
  // One receive or send of the connection's bytes, through the TLS session when there is one.
  IoResult ReceiveSome(char* data, size_t size);
  IoResult SendSome(const char* data, size_t size, bool more);
  IoResult ThroughTls(TlsIo io, size_t done) const;
  Read ReadPass();
  void ReadAvailable();
  // Sends from the queue while the connection takes it, a bounded pass at a time.
  void WriteQueued();
  // The next pass, from the loop: the system need not tell room it has not run out of.
  void PostNextPass();
  void OnFileSent();
  // Counts `n` bytes of the front item as sent and tells the progress; false when the handler
  // closed the socket.
  bool Advance(int64_t n);
  // For a file item that goes through TLS: once the last piece read into its bytes has gone, the
  // next one, read from the file. False when that failed the connection.
  bool ReadPiece(Item& item);
  // The events the connection waits for, after the queue changed.
  void UpdateWatch();
  // Whether the connection is to be watched for room to write: something is queued and the TLS
  // session does not wait for the peer first (a renegotiation under way), or a read of the
  // session has something to send. Watching for room the session cannot use would wake the
  // loop without end.
  bool WantsRoom() const;
  // A send failed: delivers what the peer said first, then fails unless that closed the socket.
  void FailSending(NetError error);
  // Fails with the control's error for `error`, or the TLS session's own failure when none.
  void Fail(NetError error);
  // A file item ended before its length: the file shrank after the request announced it.
  void FailShortFile();
  void Report(int32_t number, const std::u16string& description);
  // The connection stops being watched, as once the peer has closed it.
  void StopWatching();
  void CloseDescriptors();

  MessageLoop& m_loop;
  std::unique_ptr<SocketSystem> m_system;
  SocketSystem::Resolver m_resolve;
  std::shared_ptr<Anchor> m_anchor;
  std::u16string m_remote_host;
  int32_t m_remote_port = 0;
  int m_state = kClosed;
  bool m_secure = false;
  std::shared_ptr<SocketSystem::Addresses> m_addresses;
  size_t m_next_address = 0;
  std::deque<Item> m_queue;
  // Progress counts over everything queued since the queue was last empty.
  int64_t m_queued = 0;
  int64_t m_sent = 0;
  bool m_file_pending = false;  // the system sends a file piece on its own
  bool m_pass_posted = false;
  std::string m_received;
  int m_generation = 0;  // changes whenever the descriptors go
  int m_watch = 0;       // the loop's watch on the connection
  std::unique_ptr<TlsSession> m_tls;
  // What the session's last read and last write waited for (kDone when they did not wait).
  TlsIo m_tls_read_waits = TlsIo::kDone;
  TlsIo m_tls_write_waits = TlsIo::kDone;
};

}  // namespace velmaris
