#include "platform/win32/schannel_channel.h"

#include <wincrypt.h>
#include <ws2tcpip.h>
// UNICODE_STRING, which the newer credentials form in schannel.h uses.
#include <subauth.h>

#define SECURITY_WIN32
#define SCHANNEL_USE_BLACKLISTS
#include <schannel.h>
#include <security.h>

#include <algorithm>
#include <climits>
#include <cstring>
#include <string_view>

#include "platform/win32/winsock_socket.h"

namespace velmaris {

namespace {

// The policy's flag that leaves the name to the caller (wininet.h's
// SECURITY_FLAG_IGNORE_CERT_CN_INVALID).
constexpr DWORD kIgnoreName = 0x00001000;

// What one receive takes: more than a whole record.
constexpr size_t kReceiveSize = 32 * 1024;
// Received bytes the session has not taken yet; more is no TLS a server should send.
constexpr size_t kMostIncoming = 1024 * 1024;

constexpr DWORD kRequest = ISC_REQ_SEQUENCE_DETECT | ISC_REQ_REPLAY_DETECT |
                           ISC_REQ_CONFIDENTIALITY | ISC_REQ_EXTENDED_ERROR |
                           ISC_REQ_ALLOCATE_MEMORY | ISC_REQ_STREAM | ISC_REQ_USE_SUPPLIED_CREDS |
                           ISC_REQ_MANUAL_CRED_VALIDATION;

// The host's bytes when it is an address, else none.
std::string AddressBytes(const std::wstring& host) {
  char address[16];
  if (InetPtonW(AF_INET, host.c_str(), address) == 1) return std::string(address, 4);
  if (InetPtonW(AF_INET6, host.c_str(), address) == 1) return std::string(address, 16);
  return {};
}

// Whether the certificate is for `address`: an address is matched against the certificate's
// address entries only, which the system's own check does not do everywhere.
bool NamesAddress(PCCERT_CONTEXT certificate, const std::string& address) {
  const CERT_INFO* info = certificate->pCertInfo;
  const CERT_EXTENSION* extension =
      CertFindExtension(szOID_SUBJECT_ALT_NAME2, info->cExtension, info->rgExtension);
  CERT_ALT_NAME_INFO* names = nullptr;
  DWORD size = 0;
  if (extension == nullptr ||
      !CryptDecodeObjectEx(X509_ASN_ENCODING, X509_ALTERNATE_NAME, extension->Value.pbData,
                           extension->Value.cbData, CRYPT_DECODE_ALLOC_FLAG, nullptr, &names,
                           &size)) {
    return false;
  }
  bool named = false;
  for (DWORD i = 0; i < names->cAltEntry; ++i) {
    const CERT_ALT_NAME_ENTRY& entry = names->rgAltEntry[i];
    named = named || (entry.dwAltNameChoice == CERT_ALT_NAME_IP_ADDRESS &&
                      std::string_view(reinterpret_cast<const char*>(entry.IPAddress.pbData),
                                       entry.IPAddress.cbData) == address);
  }
  LocalFree(names);
  return named;
}

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
  std::wstring host;
  std::string address;  // the host's bytes when it is an address
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

SchannelChannel::SchannelChannel(SOCKET socket, const std::u16string& host)
    : m_session(std::make_unique<Session>()), m_socket(socket), m_host(host) {
  m_session->host.assign(host.begin(), host.end());
  m_session->address = AddressBytes(m_session->host);
  if (m_session->address.empty()) m_session->target = m_session->host;
  m_session->acquired = AcquireCredentials(m_session->credentials);
  m_session->has_credentials = m_session->acquired == SEC_E_OK;
}

SchannelChannel::~SchannelChannel() = default;

SchannelChannel::Io SchannelChannel::Handshake() {
  if (!m_session->has_credentials) {
    return Fail({0, kTlsIllegalMessage,
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
          SEC_E_OK ||
      certificate == nullptr) {
    m_failure = {0, kTlsUntrustedRoot, u"无法建立安全连接：服务器 " + m_host + u" 没有出示证书"};
    return false;
  }
  char server_auth[] = szOID_PKIX_KP_SERVER_AUTH;
  LPSTR usages[] = {server_auth};
  CERT_CHAIN_PARA parameters{};
  parameters.cbSize = sizeof parameters;
  parameters.RequestedUsage.dwType = USAGE_MATCH_TYPE_AND;
  parameters.RequestedUsage.Usage.cUsageIdentifier = 1;
  parameters.RequestedUsage.Usage.rgpszUsageIdentifier = usages;
  PCCERT_CHAIN_CONTEXT chain = nullptr;
  DWORD error = 0;
  DWORD trust = 0;
  if (!CertGetCertificateChain(nullptr, certificate, nullptr, certificate->hCertStore, &parameters,
                               0, nullptr, &chain)) {
    error = GetLastError();
  } else {
    SSL_EXTRA_CERT_CHAIN_POLICY_PARA ssl{};
    ssl.cbSize = sizeof ssl;
    ssl.dwAuthType = AUTHTYPE_SERVER;
    ssl.pwszServerName = const_cast<wchar_t*>(m_session->host.c_str());
    if (!m_session->address.empty()) ssl.fdwChecks = kIgnoreName;
    CERT_CHAIN_POLICY_PARA policy{};
    policy.cbSize = sizeof policy;
    policy.pvExtraPolicyPara = &ssl;
    CERT_CHAIN_POLICY_STATUS outcome{};
    outcome.cbSize = sizeof outcome;
    error = CertVerifyCertificateChainPolicy(CERT_CHAIN_POLICY_SSL, chain, &policy, &outcome)
                ? outcome.dwError
                : GetLastError();
    trust = chain->TrustStatus.dwErrorStatus;
    CertFreeCertificateChain(chain);
    // A chain that ends short of any root is refused even where the policy lets it pass.
    if (error == 0 && (trust & CERT_TRUST_IS_PARTIAL_CHAIN) != 0) {
      error = static_cast<DWORD>(CERT_E_CHAINING);
    }
    if (error == 0 && !m_session->address.empty() &&
        !NamesAddress(certificate, m_session->address)) {
      error = static_cast<DWORD>(CERT_E_CN_NO_MATCH);
    }
  }
  const LONG validity = CertVerifyTimeValidity(nullptr, certificate->pCertInfo);
  CertFreeCertificateContext(certificate);
  if (error == 0) return true;

  CertificateFault fault = CertificateFault::kOther;
  switch (error) {
    case static_cast<DWORD>(CERT_E_UNTRUSTEDROOT):
    case static_cast<DWORD>(CERT_E_CHAINING):
      // A chain that ends in a root of its own the store does not hold, or in none.
      fault =
          (trust & CERT_TRUST_IS_PARTIAL_CHAIN) != 0 || error == static_cast<DWORD>(CERT_E_CHAINING)
              ? CertificateFault::kUnknownAuthority
              : CertificateFault::kSelfSigned;
      break;
    case static_cast<DWORD>(CERT_E_EXPIRED):
      fault = validity < 0 ? CertificateFault::kNotYetValid : CertificateFault::kExpired;
      break;
    case static_cast<DWORD>(CERT_E_CN_NO_MATCH):
      fault = CertificateFault::kWrongHost;
      break;
  }
  m_failure = CertificateFailure(fault, m_host, StatusText(static_cast<long>(error)));
  return false;
}

SchannelChannel::Io SchannelChannel::Receive() {
  if (m_incoming.size() > kMostIncoming) return FailSession(SEC_E_ILLEGAL_MESSAGE);
  const size_t had = m_incoming.size();
  m_incoming.resize(had + kReceiveSize);
  const int n = recv(m_socket, m_incoming.data() + had, static_cast<int>(kReceiveSize), 0);
  m_incoming.resize(had + static_cast<size_t>(std::max(n, 0)));
  if (n > 0) {
    m_need_more = false;
    return Io::kDone;
  }
  if (n == 0) return Io::kClosed;
  const int error = WSAGetLastError();
  if (error == WSAEWOULDBLOCK) return Io::kWantRead;
  m_failure = {error, 0, {}};
  return Io::kFailed;
}

SchannelChannel::Io SchannelChannel::Flush() {
  while (HasUnsent()) {
    const size_t left = m_outgoing.size() - m_outgoing_sent;
    const int n = send(m_socket, m_outgoing.data() + m_outgoing_sent,
                       static_cast<int>(std::min<size_t>(left, INT_MAX)), 0);
    if (n == SOCKET_ERROR) {
      const int error = WSAGetLastError();
      if (error == WSAEWOULDBLOCK) return Io::kWantWrite;
      m_failure = {error, 0, {}};
      return Io::kFailed;
    }
    m_outgoing_sent += static_cast<size_t>(n);
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
      m_failure = {WSAESHUTDOWN, 0, {}};
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
