// The socket control on non-blocking Winsock sockets whose events come through the window loop:
// names are resolved on a helper thread whose answer is posted back to the loop; connecting,
// sending and receiving run on the loop. A file item is sent by TransmitFile, from the file
// straight to the connection, a piece at a time so that progress is told as it goes.
#pragma once

// It brings <windows.h> with it.
#include <winsock2.h>

#include <deque>
#include <memory>
#include <mutex>
#include <string>

#include "platform/message_loop.h"
#include "platform/tcp_socket.h"

struct addrinfoW;

namespace velmaris {

class WinsockSocket : public TcpSocket {
 public:
  explicit WinsockSocket(MessageLoop& loop);
  ~WinsockSocket() override;
  WinsockSocket(const WinsockSocket&) = delete;
  WinsockSocket& operator=(const WinsockSocket&) = delete;

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

  // The most one pass reads before handing the data on, the most it sends before the loop runs
  // again, and the most one TransmitFile call sends.
  static constexpr int64_t kReadPass = 256 * 1024;
  static constexpr int64_t kWritePass = 4 * 1024 * 1024;
  static constexpr int64_t kTransmitPiece = 1024 * 1024;

 private:
  struct Anchor;
  struct Transmission;
  struct Item {
    std::string bytes;
    FileHandle file;
    int64_t length = 0;
    int64_t offset = 0;  // how much of it has gone
  };
  struct Read {
    int64_t arrived = 0;
    bool peer_closed = false;
    bool drained = false;
    int error = 0;
    bool gone = false;  // the data handler closed or reopened the socket
  };

  void OnResolved(int error, addrinfoW* addresses);
  void TryNextAddress();
  void OnReady(short mask);
  void OnConnectDone();
  Read ReadPass();
  void ReadAvailable();
  void WriteQueued();
  // Counts `n` bytes of the front item as sent and tells the progress; false when the handler
  // closed the socket.
  bool Advance(int64_t n);
  void StartTransmit(Item& item);
  void OnTransmitted();
  // Runs `step` on the loop later, unless the connection has gone by then.
  void PostStep(void (WinsockSocket::*step)());
  void FailSending(int error_number);
  void Fail(int error_number);
  void FailShortFile();
  void Report(int32_t number, const std::u16string& description);
  void UpdateWatch();
  void CloseDescriptors();
  void EndTransmission();

  MessageLoop& m_loop;
  std::shared_ptr<Anchor> m_anchor;
  std::u16string m_remote_host;
  int32_t m_remote_port = 0;
  int m_state = kClosed;
  bool m_secure = false;
  SOCKET m_socket = INVALID_SOCKET;
  int m_watch = 0;
  addrinfoW* m_addresses = nullptr;
  addrinfoW* m_next_address = nullptr;
  std::unique_ptr<Transmission> m_transmission;
  std::deque<Item> m_queue;
  int64_t m_queued = 0;
  int64_t m_sent = 0;
  std::string m_received;
  int m_generation = 0;  // changes whenever the connection goes
};

// The socket control's number and description for a Winsock error: those the POSIX sockets name
// as they name them, any other as its own number with the system's text.
void WinsockErrorFor(int wsa_error, int32_t& number, std::u16string& description);

}  // namespace velmaris
