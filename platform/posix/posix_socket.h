// The socket control on non-blocking POSIX sockets: names are resolved on a helper thread whose
// answer is posted back to the loop; connecting, sending and receiving run on the loop.
#pragma once

#include <netdb.h>

#include <memory>
#include <mutex>
#include <string>

#include "platform/message_loop.h"
#include "platform/posix/tls_channel.h"
#include "platform/queued_socket.h"

namespace velmaris {

class PosixSocket : public QueuedSocket {
 public:
  explicit PosixSocket(MessageLoop& loop);
  ~PosixSocket() override;
  PosixSocket(const PosixSocket&) = delete;
  PosixSocket& operator=(const PosixSocket&) = delete;

  void Connect() override;
  void Close() override;

 private:
  struct Resolution;
  void OnResolved(int gai_error, struct addrinfo* addresses);
  void TryNextAddress();
  void OnConnectDone() override;
  // One receive or send on the connection, plain or through TLS; a send answers as send(2) does,
  // a TLS failure of its own setting errno to kTlsFailed.
  int64_t Receive(char* data, size_t size, int& error) override;
  ssize_t Transmit(const char* data, size_t size, bool more);
  ssize_t Transferred(TlsChannel::Io io, size_t done);
  void WriteQueued() override;
  void DescribeSystemError(int error_number, int32_t& number,
                           std::u16string& description) const override;
  void FailShortFile() override;
  void UpdateWatch() override;
  void StopWatching() override;
  void CloseDescriptors() override;

  int m_fd = -1;
  std::shared_ptr<Resolution> m_resolution;
  struct addrinfo* m_addresses = nullptr;
  struct addrinfo* m_next_address = nullptr;
};

}  // namespace velmaris
