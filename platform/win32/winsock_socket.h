// The socket control on non-blocking Winsock sockets whose events come through the window loop:
// names are resolved on a helper thread whose answer is posted back to the loop; connecting,
// sending and receiving run on the loop. A file item is sent by TransmitFile, from the file
// straight to the connection, a piece at a time so that progress is told as it goes; through TLS
// (Schannel) it is read a piece at a time and encrypted.
#pragma once

// It brings <windows.h> with it.
#include <winsock2.h>

#include <memory>
#include <mutex>
#include <string>

#include "platform/message_loop.h"
#include "platform/queued_socket.h"
#include "platform/win32/schannel_channel.h"

struct addrinfoW;

namespace velmaris {

class WinsockSocket : public QueuedSocket {
 public:
  explicit WinsockSocket(MessageLoop& loop);
  ~WinsockSocket() override;
  WinsockSocket(const WinsockSocket&) = delete;
  WinsockSocket& operator=(const WinsockSocket&) = delete;

  void Connect() override;
  void Close() override;

  // The most one TransmitFile call sends.
  static constexpr int64_t kTransmitPiece = 1024 * 1024;

 private:
  struct Anchor;
  struct Transmission;
  void OnResolved(int error, addrinfoW* addresses);
  void TryNextAddress();
  void OnConnectDone() override;
  int64_t Receive(char* data, size_t size, int& error) override;
  // One send through TLS: the bytes taken, or -1 with `error` the Winsock error (0 when the
  // socket takes nothing now, kTlsFailed for the session's own failure).
  int64_t Encrypted(const char* data, size_t size, int& error);
  int64_t Transferred(SchannelChannel::Io io, size_t done, int& error);
  void WriteQueued() override;
  void StartTransmit(Item& item);
  void OnTransmitted();
  // Runs `step` on the loop later, unless the connection has gone by then.
  void PostStep(void (WinsockSocket::*step)());
  void DescribeSystemError(int error_number, int32_t& number,
                           std::u16string& description) const override;
  void FailShortFile() override;
  void UpdateWatch() override;
  void StopWatching() override;
  void CloseDescriptors() override;
  void EndTransmission();

  std::shared_ptr<Anchor> m_anchor;
  SOCKET m_socket = INVALID_SOCKET;
  addrinfoW* m_addresses = nullptr;
  addrinfoW* m_next_address = nullptr;
  std::unique_ptr<Transmission> m_transmission;
};

// The socket control's number and description for a Winsock error: those the POSIX sockets name
// as they name them, any other as its own number with the system's text.
void WinsockErrorFor(int wsa_error, int32_t& number, std::u16string& description);

// The system's own text for an error, without its closing line break and full stop.
std::u16string SystemText(int error);

}  // namespace velmaris
