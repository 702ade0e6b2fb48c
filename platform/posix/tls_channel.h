// TLS over a connected non-blocking socket, on OpenSSL: the system's trust store (SSL_CERT_FILE and
// SSL_CERT_DIR name others, as users of OpenSSL expect), the host name verified and, for a name,
// sent (SNI); TLS 1.2 at least. There is no way to turn verification off.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

namespace velmaris {

class TlsChannel {
 public:
  // What a call came to. kWantRead and kWantWrite: try again when the socket is readable or
  // writable; kClosed: the peer ended the session; kFailed: see Failure().
  enum class Io { kDone, kWantRead, kWantWrite, kClosed, kFailed };

  // Why the session failed: a system error of the socket (errno), or the session's own, with a
  // number and a description that names the cause and the host.
  struct Failure {
    int system_error = 0;
    int32_t number = 0;
    std::u16string description;
  };

  // `host` is the name or address the connection was made to, as the user wrote it.
  TlsChannel(int fd, const std::u16string& host);
  ~TlsChannel();
  TlsChannel(const TlsChannel&) = delete;
  TlsChannel& operator=(const TlsChannel&) = delete;

  Io Handshake();
  // Up to `size` bytes; `done` tells how many went or came. A write goes on while the socket
  // takes more.
  Io Write(const char* data, size_t size, size_t& done);
  Io Read(char* data, size_t size, size_t& done);
  // Whether decrypted bytes wait inside the session, which the socket will not signal.
  bool HasPending() const;
  // Says goodbye to the peer when that can be done at once; the socket is closed by its owner.
  void Shutdown();

  const Failure& LastFailure() const { return m_failure; }

 private:
  Io Outcome(int result, size_t& done, bool handshake);
  void FailVerification(long result);

  struct Session;
  std::unique_ptr<Session> m_session;
  std::u16string m_host;
  Failure m_failure;
};

}  // namespace velmaris
