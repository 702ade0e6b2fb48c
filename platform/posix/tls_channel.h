// TLS over a connection's byte transport, on OpenSSL: the system's trust store (SSL_CERT_FILE and
// SSL_CERT_DIR name others, as users of OpenSSL expect), the host name verified and, for a name,
// sent (SNI); TLS 1.2 at least. There is no way to turn verification off.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/byte_transport.h"
#include "platform/tls_session.h"

namespace velmaris {

class TlsChannel : public TlsSession {
 public:
  // `host` is the name or address the connection was made to, as the user wrote it.
  // The session reads and writes through `transport`, which outlives it.
  TlsChannel(ByteTransport& transport, const std::u16string& host);
  ~TlsChannel() override;
  TlsChannel(const TlsChannel&) = delete;
  TlsChannel& operator=(const TlsChannel&) = delete;

  Io Handshake() override;
  // A write goes on while the transport takes more.
  Io Write(const char* data, size_t size, size_t& done) override;
  Io Read(char* data, size_t size, size_t& done) override;
  bool HasPending() const override;
  void Shutdown() override;
  const Failure& LastFailure() const override { return m_failure; }

 private:
  Io Outcome(int result, size_t& done, bool handshake);
  void FailVerification(long result);

  struct Session;
  std::unique_ptr<Session> m_session;
  std::u16string m_host;
  Failure m_failure;
};

}  // namespace velmaris
