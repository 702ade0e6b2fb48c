// The socket control on non-blocking Winsock sockets whose events come through the window loop.
// A file is sent by TransmitFile, from the file straight to the connection, a piece at a time so
// that progress is told as it goes; TLS is the system's own (Schannel).
#pragma once

#include "platform/message_loop.h"
#include "platform/queued_socket.h"

namespace velmaris {

class WinsockSocket : public QueuedSocket {
 public:
  explicit WinsockSocket(MessageLoop& loop);

  // The most one TransmitFile call sends.
  static constexpr int64_t kTransmitPiece = 1024 * 1024;
};

}  // namespace velmaris
