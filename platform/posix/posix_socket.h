// The socket control on non-blocking POSIX sockets, watched by the loop; a file is sent by
// sendfile(2), from the file to the connection inside the kernel, and TLS is OpenSSL's.
#pragma once

#include "platform/message_loop.h"
#include "platform/queued_socket.h"

namespace velmaris {

class PosixSocket : public QueuedSocket {
 public:
  explicit PosixSocket(MessageLoop& loop);
};

}  // namespace velmaris
