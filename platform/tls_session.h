// A TLS client session over a connection's byte transport, as the socket drives it: OpenSSL's on
// POSIX systems (posix/tls_channel.h), Schannel's on Windows (win32/schannel_channel.h).
#pragma once

#include <cstddef>

#include "platform/socket_errors.h"

namespace velmaris {

class TlsSession {
 public:
  using Io = TlsIo;
  using Failure = TlsFailure;

  virtual ~TlsSession() = default;

  virtual Io Handshake() = 0;
  // Up to `size` bytes; `done` tells how many went or came.
  virtual Io Write(const char* data, size_t size, size_t& done) = 0;
  virtual Io Read(char* data, size_t size, size_t& done) = 0;
  // Whether decrypted bytes wait inside the session, which the system will not signal.
  virtual bool HasPending() const = 0;
  // Whether bytes the session made wait to be taken by the transport.
  virtual bool HasUnsent() const { return false; }
  // Says goodbye to the peer when that can be done at once; the socket is closed by its owner.
  virtual void Shutdown() = 0;
  virtual const Failure& LastFailure() const = 0;
};

}  // namespace velmaris
