// TLS over a connection's byte transport, on the system's own security layer (Schannel, through
// SSPI): TLS 1.2 at least, the server's certificate checked against the system's trust
// store and the host the address names (a name is also sent, SNI). There is no way to turn the
// check off (schannel_certificate.h checks it). Its calls answer as the POSIX TlsChannel's do, so
// the socket drives both alike.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>

#include "platform/byte_transport.h"
#include "platform/tls_session.h"

namespace velmaris {

class SchannelChannel : public TlsSession {
 public:
  // `host` is the name or address the connection was made to, as the user wrote it.
  // The session reads and writes through `transport`, which outlives it.
  SchannelChannel(ByteTransport& transport, const std::u16string& host);
  ~SchannelChannel() override;
  SchannelChannel(const SchannelChannel&) = delete;
  SchannelChannel& operator=(const SchannelChannel&) = delete;

  Io Handshake() override;
  // A record at a time while the transport takes them. What was taken but not yet sent goes on the
  // next call (any size, 0 too).
  Io Write(const char* data, size_t size, size_t& done) override;
  Io Read(char* data, size_t size, size_t& done) override;
  bool HasPending() const override;
  // The connection is to be watched for room until they have gone.
  bool HasUnsent() const override { return m_outgoing_sent < m_outgoing.size(); }
  void Shutdown() override;
  const Failure& LastFailure() const override { return m_failure; }

 private:
  enum class Phase { kHandshaking, kOpen, kClosed };

  // Runs the handshake (or the peer's renegotiation) as far as the transport allows.
  Io Negotiate();
  // One step of the handshake on what has arrived.
  Io Step();
  // The handshake is done: what was agreed on and the certificate are checked.
  Io Established();
  Io Decrypt();
  Io Receive();
  Io Flush();
  bool Verify();
  Io Fail(const TlsFailure& failure);
  Io FailSession(long status);

  struct Session;
  std::unique_ptr<Session> m_session;
  ByteTransport& m_transport;
  std::u16string m_host;
  Phase m_phase = Phase::kHandshaking;
  bool m_started = false;
  bool m_need_more = false;  // what has arrived ends inside a record
  bool m_step_now = false;   // the handshake goes on first with what the session left over
  bool m_asked_for_certificate = false;
  std::string m_incoming;  // received, not yet taken by the session
  std::string m_outgoing;  // made by the session, not yet sent
  size_t m_outgoing_sent = 0;
  std::string m_plain;  // decrypted, not yet read
  size_t m_plain_taken = 0;
  Failure m_failure;
};

}  // namespace velmaris
