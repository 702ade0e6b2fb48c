#include "platform/win32/schannel_channel.h"

// <windows.h> and <wincrypt.h> come with it.
#include "platform/win32/schannel_certificate.h"
// UNICODE_STRING, which the newer credentials form in schannel.h uses.
#include <subauth.h>

#define SECURITY_WIN32
#define SCHANNEL_USE_BLACKLISTS
#include <schannel.h>
#include <security.h>

#include <algorithm>
#include <climits>
#include <cstring>

#include "platform/win32/system_text.h"

namespace velmaris {

namespace {

// What one receive takes: more than a whole record.
constexpr size_t kReceiveSize = 32 * 1024;
// Received bytes the session has not taken yet; more is no TLS a server should send.
constexpr size_t kMostIncoming = 1024 * 1024;

constexpr DWORD kRequest = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT |
                           ISC_REQ_CONFIDENTIALITY | ISC_REQ_EXTENDED_ERROR |
                           ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM | ISC_REQ_USE_SUPPLIED_CREDS |
                           ISC_REQ_MANUAL_CRED_VALIDATION;

// The certificate is checked here, after the handshake, so that its fault can be told apart;
// no client certificate is offered.
SECURITY_STATUS AcquireCredentials(CredHandle& handle) {
  constexpr DWORD kFlags =
      SCH_CRED_MANUAL_CRED_VALIDATION | SCH_CRED_NO_DEFAULT_CREDS | SCH_USE_STRONG_CRYPTO;
  TimeStamp expiry;
  TLS_PARAMETERS parameters{};
  parameters.grbitDisabledProtocols =
      SP_PROT_SSL2_CLIENT | SP_PROT_SSL3_CLIENT | SP_PROT_TLS1_0_CLIENT | SP_PROT_TLS1_1_CLIENT;
  SCH_CREDENTIALS current{};
  current.dwVersion = SCH_CREDENTIALS_VERSION;
  current.dwFlags = kFlags;
  current.cTlsParameters = 1;
  current.pTlsParameters = &parameters;
  SECURITY_STATUS status =
      AcquireCredentialsHandleW(nullptr, const_cast<wchar_t*>(UNISP_NAME_W), SECPKG_CRED_OUTBOUND,
                                nullptr, &current, nullptr, nullptr, &handle, &expiry);
  if (status == SEC_E_OK) return status;
  // Systems older than that form take this one, and have no TLS 1.3 anyway.
  SCHANNEL_CRED older{};
  older.dwVersion = SCHANNEL_CRED_VERSION;
  older.grbitEnabledProtocols = SP_PROT_TLS1_2_CLIENT;
  older.dwFlags = kFlags;
  return AcquireCredentialsHandleW(nullptr, const_cast<wchar_t*>(UNISP_NAME_W),
                                   SECPKG_CRED_OUTBOUND, nullptr, &older, nullptr, nullptr, &handle,
                                   &expiry);
}

// The status as a number in the system's text, for a status the system has no text for.
std::u16string StatusText(long status) {
  return SystemText(static_cast<int>(status));
}

}  // namespace

struct SchannelChannel::Session {
  std::wstring target;  // the host as a name, empty for an address (no SNI then)
  CredHandle credentials{};
  CtxtHandle context{};
  bool has_credentials = false;
  bool has_context = false;
  SECURITY_STATUS acquired = SEC_E_OK;
  SecPkgContext_StreamSizes sizes{};

  ~Session() {
    if (has_context) DeleteSecurityContext(&context);
    if (has_credentials) FreeCredentialsHandle(&credentials);
  }

  // One call of the handshake on `input` (none at the start), its token added to `output`.
  SECURITY_STATUS Initialize(SecBufferDesc* input, std::string& output) {
    SecBuffer token{0, SECBUFFER_TOKEN, nullptr};
    SecBufferDesc tokens{SECBUFFER_VERSION, 1, &token};
    ULONG attributes = 0;
    const SECURITY_STATUS status = InitializeSecurityContextW(
        &credentials, has_context ? &context : nullptr,
        target.empty() ? nullptr : const_cast<wchar_t*>(target.c_str()), kRequest, 0, 0, input, 0,
        &context, &tokens, &attributes, nullptr);
    if (!FAILED(status) || has_context) has_context = true;
    if (token.pvBuffer != nullptr) {
      output.append(static_cast<const char*>(token.pvBuffer), token.cbBuffer);
      FreeContextBuffer(token.pvBuffer);
    }
    return status;
  }
};

SchannelChannel::SchannelChannel(ByteTransport& transport, const std::u16string& host)
    : m_session(std::make_unique<Session>()), m_transport(transport), m_host(host) {
  const std::wstring name(host.begin(), host.end());
  if (AddressBytes(name).empty()) m_session->target = name;
  m_session->acquired = AcquireCredentials(m_session->credentials);
  m_session->has_credentials = m_session->acquired == SEC_E_OK;
}

SchannelChannel::~SchannelChannel() = default;

SchannelChannel::Io SchannelChannel::Handshake() {
  if (!m_session->has_credentials) {
    return Fail({{},
                 kTlsIllegalMessage,
                 u"无法建立安全连接：系统的安全连接层无法初始化（" +
                     StatusText(m_session->acquired) + u"）"});
  }
  return Negotiate();
}

SchannelChannel::Io SchannelChannel::Negotiate() {
  for (;;) {
    const Io flushed = Flush();
    if (flushed != Io::kDone || m_phase != Phase::kHandshaking) return flushed;
    if (m_started && !m_step_now && (m_need_more || m_incoming.empty())) {
      const Io received = Receive();
      if (received == Io::kClosed) return Fail(HandshakeFailure(m_host, kTlsCutShort));
      if (received != Io::kDone) return received;
    }
    const Io stepped = Step();
    if (stepped != Io::kDone) return stepped;
  }
}

SchannelChannel::Io SchannelChannel::Step() {
  // Whether what came looks like TLS at all, for the failure's cause.
  const bool looks_like_tls =
      m_incoming.size() < 2 || (static_cast<uint8_t>(m_incoming[0]) >= 20 &&
                                static_cast<uint8_t>(m_incoming[0]) <= 23 && m_incoming[1] == 3);
  SecBuffer in[2] = {{static_cast<ULONG>(m_incoming.size()), SECBUFFER_TOKEN, m_incoming.data()},
                     {0, SECBUFFER_EMPTY, nullptr}};
  SecBufferDesc input{SECBUFFER_VERSION, 2, in};
  const SECURITY_STATUS status = m_session->Initialize(m_started ? &input : nullptr, m_outgoing);
  m_started = true;
  m_step_now = false;
  m_need_more = status == SEC_E_INCOMPLETE_MESSAGE;
  if (status == SEC_I_INCOMPLETE_CREDENTIALS && !m_asked_for_certificate) {
    // The server asks for a client certificate: the same again goes on without one.
    m_asked_for_certificate = m_step_now = true;
    return Io::kDone;
  }
  if (!m_need_more) {
    // What the call did not take stays for the next.
    const size_t extra = in[1].BufferType == SECBUFFER_EXTRA ? in[1].cbBuffer : 0;
    m_incoming.erase(0, m_incoming.size() - std::min<size_t>(extra, m_incoming.size()));
  }
  switch (status) {
    case SEC_E_OK: {
      // Not a byte more goes to a server that is not the one asked for.
      const Io outcome = Established();
      if (outcome != Io::kDone) {
        m_outgoing.clear();
        m_outgoing_sent = 0;
      }
      return outcome;
    }
    case SEC_I_CONTINUE_NEEDED:
    case SEC_E_INCOMPLETE_MESSAGE:
      return Io::kDone;
    case SEC_E_ALGORITHM_MISMATCH:
    case SEC_E_UNSUPPORTED_FUNCTION:
      return Fail(HandshakeFailure(m_host, kTlsNotOffered));
    default:
      break;
  }
  if (!looks_like_tls) return Fail(HandshakeFailure(m_host, kTlsNotOffered));
  // The alert the layer made, if it can go at once.
  Flush();
  return Fail(HandshakeRefused(m_host, StatusText(status)));
}

SchannelChannel::Io SchannelChannel::Established() {
  // Some systems take the newer credentials form but not the versions it turns off: what was
  // agreed on is checked here.
  SecPkgContext_ConnectionInfo connection{};
  if (QueryContextAttributesW(&m_session->context, SECPKG_ATTR_CONNECTION_INFO, &connection) !=
      SEC_E_OK) {
    return FailSession(SEC_E_INTERNAL_ERROR);
  }
  if ((connection.dwProtocol & (SP_PROT_SSL2 | SP_PROT_SSL3 | SP_PROT_TLS1_0 | SP_PROT_TLS1_1)) !=
      0) {
    return Fail(HandshakeFailure(m_host, kTlsNotOffered));
  }
  const SECURITY_STATUS sized =
      QueryContextAttributesW(&m_session->context, SECPKG_ATTR_STREAM_SIZES, &m_session->sizes);
  if (sized != SEC_E_OK) return FailSession(sized);
  if (!Verify()) return Io::kFailed;
  m_phase = Phase::kOpen;
  return Io::kDone;
}

SchannelChannel::Io SchannelChannel::Fail(const TlsFailure& failure) {
  m_failure = failure;
  return Io::kFailed;
}

SchannelChannel::Io SchannelChannel::FailSession(long status) {
  return Fail(SessionFailure(m_host, StatusText(status)));
}

bool SchannelChannel::Verify() {
  PCCERT_CONTEXT certificate = nullptr;
  if (QueryContextAttributesW(&m_session->context, SECPKG_ATTR_REMOTE_CERT_CONTEXT, &certificate) !=
      SEC_E_OK) {
    certificate = nullptr;
  }
  std::optional<TlsFailure> refused = CertificateRefused(certificate, m_host);
  if (refused) m_failure = std::move(*refused);
  return !refused;
}

SchannelChannel::Io SchannelChannel::Receive() {
  if (m_incoming.size() > kMostIncoming) return FailSession(SEC_E_ILLEGAL_MESSAGE);
  const size_t had = m_incoming.size();
  m_incoming.resize(had + kReceiveSize);
  const IoResult got = m_transport.Receive(m_incoming.data() + had, kReceiveSize);
  const bool taken = got.outcome == IoResult::kTaken;
  m_incoming.resize(had + static_cast<size_t>(taken ? got.count : 0));
  if (taken && got.count > 0) {
    m_need_more = false;
    return Io::kDone;
  }
  if (taken) return Io::kClosed;
  if (got.outcome == IoResult::kWouldBlock) return Io::kWantRead;
  m_failure = {got.error, 0, {}};
  return Io::kFailed;
}

SchannelChannel::Io SchannelChannel::Flush() {
  while (HasUnsent()) {
    const IoResult sent = m_transport.Send(m_outgoing.data() + m_outgoing_sent,
                                           m_outgoing.size() - m_outgoing_sent, false);
    if (sent.outcome == IoResult::kWouldBlock) return Io::kWantWrite;
    if (sent.outcome != IoResult::kTaken) {
      m_failure = {sent.error, 0, {}};
      return Io::kFailed;
    }
    m_outgoing_sent += static_cast<size_t>(sent.count);
  }
  m_outgoing.clear();
  m_outgoing_sent = 0;
  return Io::kDone;
}

SchannelChannel::Io SchannelChannel::Write(const char* data, size_t size, size_t& done) {
  done = 0;
  for (;;) {
    // A record at a time: the next is made once the last has gone.
    const Io flushed = Flush();
    if (flushed == Io::kWantWrite) return done > 0 ? Io::kDone : flushed;
    if (flushed != Io::kDone || done == size) return flushed;
    if (m_phase == Phase::kHandshaking) {
      // The peer's renegotiation goes first, read as it comes.
      const Io io = Negotiate();
      if (io != Io::kDone) return done > 0 && io == Io::kWantRead ? Io::kDone : io;
      continue;
    }
    if (m_phase == Phase::kClosed) {
      m_failure = {{NetFault::kAborted}, 0, {}};
      return Io::kFailed;
    }
    const SecPkgContext_StreamSizes& sizes = m_session->sizes;
    const size_t piece = std::min<size_t>(size - done, sizes.cbMaximumMessage);
    m_outgoing.resize(sizes.cbHeader + piece + sizes.cbTrailer);
    char* record = m_outgoing.data();
    std::memcpy(record + sizes.cbHeader, data + done, piece);
    SecBuffer buffers[4] = {
        {sizes.cbHeader, SECBUFFER_STREAM_HEADER, record},
        {static_cast<ULONG>(piece), SECBUFFER_DATA, record + sizes.cbHeader},
        {sizes.cbTrailer, SECBUFFER_STREAM_TRAILER, record + sizes.cbHeader + piece},
        {0, SECBUFFER_EMPTY, nullptr}};
    SecBufferDesc message{SECBUFFER_VERSION, 4, buffers};
    const SECURITY_STATUS status = EncryptMessage(&m_session->context, 0, &message, 0);
    if (status != SEC_E_OK) {
      m_outgoing.clear();
      return FailSession(status);
    }
    // The trailer may come out shorter than its room.
    m_outgoing.resize(buffers[0].cbBuffer + buffers[1].cbBuffer + buffers[2].cbBuffer);
    done += piece;
  }
}

SchannelChannel::Io SchannelChannel::Read(char* data, size_t size, size_t& done) {
  done = 0;
  for (;;) {
    if (m_plain_taken < m_plain.size()) {
      done = std::min(size, m_plain.size() - m_plain_taken);
      std::memcpy(data, m_plain.data() + m_plain_taken, done);
      m_plain_taken += done;
      if (m_plain_taken == m_plain.size()) {
        m_plain.clear();
        m_plain_taken = 0;
      }
      return Io::kDone;
    }
    if (m_phase == Phase::kClosed) return Io::kClosed;
    if (m_phase == Phase::kHandshaking) {
      const Io io = Negotiate();
      if (io != Io::kDone) return io;
      continue;
    }
    const Io io = m_incoming.empty() || m_need_more ? Receive() : Decrypt();
    if (io != Io::kDone) return io;
  }
}

SchannelChannel::Io SchannelChannel::Decrypt() {
  SecBuffer buffers[4] = {
      {static_cast<ULONG>(m_incoming.size()), SECBUFFER_DATA, m_incoming.data()},
      {0, SECBUFFER_EMPTY, nullptr},
      {0, SECBUFFER_EMPTY, nullptr},
      {0, SECBUFFER_EMPTY, nullptr}};
  SecBufferDesc message{SECBUFFER_VERSION, 4, buffers};
  const SECURITY_STATUS status = DecryptMessage(&m_session->context, &message, 0, nullptr);
  if (status == SEC_E_INCOMPLETE_MESSAGE) {
    m_need_more = true;
    return Io::kDone;
  }
  if (status != SEC_E_OK && status != SEC_I_RENEGOTIATE && status != SEC_I_CONTEXT_EXPIRED) {
    return FailSession(status);
  }
  size_t extra = 0;
  for (const SecBuffer& buffer : buffers) {
    if (buffer.BufferType == SECBUFFER_DATA && buffer.pvBuffer != nullptr) {
      m_plain.append(static_cast<const char*>(buffer.pvBuffer), buffer.cbBuffer);
    } else if (buffer.BufferType == SECBUFFER_EXTRA) {
      extra = buffer.cbBuffer;
    }
  }
  // The records after this one, decrypted on the next call.
  m_incoming.erase(0, m_incoming.size() - std::min(extra, m_incoming.size()));
  if (status == SEC_I_CONTEXT_EXPIRED) {
    // The peer's close_notify.
    m_phase = Phase::kClosed;
  } else if (status == SEC_I_RENEGOTIATE) {
    // A new handshake (or TLS 1.3's messages after it), on what follows before anything new.
    m_phase = Phase::kHandshaking;
    m_step_now = true;
  }
  return Io::kDone;
}

bool SchannelChannel::HasPending() const {
  return m_plain_taken < m_plain.size() || (!m_incoming.empty() && !m_need_more);
}

void SchannelChannel::Shutdown() {
  if (m_phase != Phase::kOpen || !m_session->has_context) return;
  DWORD type = SCHANNEL_SHUTDOWN;
  SecBuffer token{sizeof type, SECBUFFER_TOKEN, &type};
  SecBufferDesc control{SECBUFFER_VERSION, 1, &token};
  if (ApplyControlToken(&m_session->context, &control) != SEC_E_OK) return;
  m_session->Initialize(nullptr, m_outgoing);
  m_phase = Phase::kClosed;
  Flush();
}

}  // namespace velmaris
