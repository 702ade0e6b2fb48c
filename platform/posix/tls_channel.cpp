#include "platform/posix/tls_channel.h"

#include <arpa/inet.h>
#include <openssl/err.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <climits>
#include <cstdlib>
#include <mutex>

#include "base/codepage.h"

namespace velmaris {

namespace {

std::string Environment(const char* name) {
  const char* value = std::getenv(name);
  return value == nullptr ? std::string() : value;
}

// One context for as long as the trusted authorities stay named as they are: loading the trust
// store costs milliseconds that a run of many uploads should not pay for each one. A session keeps
// the context it was made from alive.
SSL_CTX* Context() {
  static std::mutex mutex;
  static SSL_CTX* context = nullptr;
  static std::string made_for;
  std::lock_guard<std::mutex> lock(mutex);
  const std::string wanted = Environment("SSL_CERT_FILE") + '\n' + Environment("SSL_CERT_DIR");
  if (context != nullptr && wanted == made_for) return context;
  SSL_CTX* fresh = SSL_CTX_new(TLS_client_method());
  if (fresh == nullptr) return nullptr;
  SSL_CTX_set_min_proto_version(fresh, TLS1_2_VERSION);
  // TLS 1.3 suites in the order browsers offer them: AES-128-GCM first, with 10 rounds where
  // AES-256 has 14 the cheaper to encrypt a large upload with; the server still has the last word.
  SSL_CTX_set_ciphersuites(
      fresh, "TLS_AES_128_GCM_SHA256:TLS_CHACHA20_POLY1305_SHA256:TLS_AES_256_GCM_SHA384");
  SSL_CTX_set_verify(fresh, SSL_VERIFY_PEER, nullptr);
  SSL_CTX_set_default_verify_paths(fresh);
  SSL_CTX_set_mode(fresh, SSL_MODE_ENABLE_PARTIAL_WRITE | SSL_MODE_ACCEPT_MOVING_WRITE_BUFFER);
  // Many servers close without saying goodbye; the reply's own length tells whether it is whole.
  SSL_CTX_set_options(fresh, SSL_OP_IGNORE_UNEXPECTED_EOF);
  if (context != nullptr) SSL_CTX_free(context);
  context = fresh;
  made_for = wanted;
  return context;
}

bool IsAddress(const std::string& host) {
  unsigned char address[16];
  return inet_pton(AF_INET, host.c_str(), address) == 1 ||
         inet_pton(AF_INET6, host.c_str(), address) == 1;
}

std::u16string LastReason() {
  const char* reason = ERR_reason_error_string(ERR_peek_last_error());
  return codepage::FromUtf8(reason != nullptr ? reason : "unknown");
}

// What the session's records go through, and why that failed in the last call, if it did.
struct Link {
  ByteTransport& transport;
  NetError failed;
};

// The records go to and come from the transport as they are, no copy between.
int TransportResult(BIO* bio, const IoResult& result, void (*retry)(BIO*)) {
  switch (result.outcome) {
    case IoResult::kTaken:
      return static_cast<int>(result.count);
    case IoResult::kWouldBlock:
      retry(bio);
      return -1;
    default:
      static_cast<Link*>(BIO_get_data(bio))->failed = result.error;
      return -1;
  }
}

BIO_METHOD* TransportMethod() {
  static BIO_METHOD* const method = [] {
    BIO_METHOD* made = BIO_meth_new(BIO_get_new_index() | BIO_TYPE_SOURCE_SINK, "transport");
    BIO_meth_set_write(made, [](BIO* bio, const char* data, int size) {
      BIO_clear_retry_flags(bio);
      auto* link = static_cast<Link*>(BIO_get_data(bio));
      return TransportResult(bio, link->transport.Send(data, static_cast<size_t>(size), false),
                             [](BIO* b) { BIO_set_retry_write(b); });
    });
    BIO_meth_set_read(made, [](BIO* bio, char* data, int size) {
      BIO_clear_retry_flags(bio);
      auto* link = static_cast<Link*>(BIO_get_data(bio));
      const int got = TransportResult(bio, link->transport.Receive(data, static_cast<size_t>(size)),
                                      [](BIO* b) { BIO_set_retry_read(b); });
      // The peer's end, marked as a socket's BIO marks it: the session tells a close from a cut.
      if (got == 0) BIO_set_flags(bio, BIO_FLAGS_IN_EOF);
      return got;
    });
    BIO_meth_set_ctrl(made, [](BIO* bio, int command, long, void*) -> long {
      if (command == BIO_CTRL_EOF) return BIO_test_flags(bio, BIO_FLAGS_IN_EOF) != 0;
      return command == BIO_CTRL_FLUSH ? 1 : 0;
    });
    return made;
  }();
  return method;
}

}  // namespace

struct TlsChannel::Session {
  explicit Session(ByteTransport& transport) : link{transport, {}} {}
  ~Session() { SSL_free(ssl); }

  Link link;
  SSL* ssl = nullptr;
};

TlsChannel::TlsChannel(ByteTransport& transport, const std::u16string& host)
    : m_session(std::make_unique<Session>(transport)), m_host(host) {
  SSL_CTX* context = Context();
  m_session->ssl = context != nullptr ? SSL_new(context) : nullptr;
  SSL* ssl = m_session->ssl;
  if (ssl == nullptr) return;
  BIO* bio = BIO_new(TransportMethod());
  BIO_set_data(bio, &m_session->link);
  BIO_set_init(bio, 1);
  SSL_set_bio(ssl, bio, bio);
  const std::string name = codepage::ToUtf8(host);
  if (IsAddress(name)) {
    X509_VERIFY_PARAM_set1_ip_asc(SSL_get0_param(ssl), name.c_str());
  } else {
    SSL_set_tlsext_host_name(ssl, name.c_str());
    SSL_set1_host(ssl, name.c_str());
  }
}

TlsChannel::~TlsChannel() = default;

TlsChannel::Io TlsChannel::Handshake() {
  size_t unused = 0;
  if (m_session->ssl == nullptr) {
    m_failure = {
        {}, kTlsIllegalMessage, u"无法建立安全连接：TLS 库无法初始化（" + LastReason() + u"）"};
    return Io::kFailed;
  }
  ERR_clear_error();
  m_session->link.failed = {};
  return Outcome(SSL_connect(m_session->ssl), unused, true);
}

TlsChannel::Io TlsChannel::Write(const char* data, size_t size, size_t& done) {
  // Record after record while the transport takes them.
  done = 0;
  while (done < size) {
    ERR_clear_error();
    m_session->link.failed = {};
    const int count = static_cast<int>(std::min<size_t>(size - done, INT_MAX));
    size_t written = 0;
    const Io io = Outcome(SSL_write(m_session->ssl, data + done, count), written, false);
    if (io != Io::kDone) {
      // What went counts; the rest is tried again, the same bytes, when the socket is ready.
      const bool waits = io == Io::kWantRead || io == Io::kWantWrite;
      return done > 0 && waits ? Io::kDone : io;
    }
    done += written;
  }
  return Io::kDone;
}

TlsChannel::Io TlsChannel::Read(char* data, size_t size, size_t& done) {
  ERR_clear_error();
  m_session->link.failed = {};
  const int count = static_cast<int>(std::min<size_t>(size, INT_MAX));
  return Outcome(SSL_read(m_session->ssl, data, count), done, false);
}

bool TlsChannel::HasPending() const {
  return m_session->ssl != nullptr && SSL_pending(m_session->ssl) > 0;
}

void TlsChannel::Shutdown() {
  if (m_session->ssl == nullptr || !SSL_is_init_finished(m_session->ssl)) return;
  ERR_clear_error();
  SSL_shutdown(m_session->ssl);
}

TlsChannel::Io TlsChannel::Outcome(int result, size_t& done, bool handshake) {
  const NetError transport = m_session->link.failed;
  done = 0;
  if (result > 0) {
    done = static_cast<size_t>(result);
    return Io::kDone;
  }
  switch (SSL_get_error(m_session->ssl, result)) {
    case SSL_ERROR_WANT_READ:
      return Io::kWantRead;
    case SSL_ERROR_WANT_WRITE:
      return Io::kWantWrite;
    case SSL_ERROR_ZERO_RETURN:
      return Io::kClosed;
    case SSL_ERROR_SYSCALL:
      if (ERR_peek_error() == 0) {
        if (!transport && !handshake) return Io::kClosed;
        if (transport) {
          m_failure = {transport, 0, {}};
          return Io::kFailed;
        }
      }
      break;
    default:
      break;
  }
  if (!handshake) {
    m_failure = SessionFailure(m_host, LastReason());
    return Io::kFailed;
  }
  const long verified = SSL_get_verify_result(m_session->ssl);
  if (verified != X509_V_OK) {
    FailVerification(verified);
    return Io::kFailed;
  }
  switch (ERR_GET_REASON(ERR_peek_last_error())) {
    case SSL_R_WRONG_VERSION_NUMBER:
    case SSL_R_UNSUPPORTED_PROTOCOL:
    case SSL_R_TLSV1_ALERT_PROTOCOL_VERSION:
      m_failure = HandshakeFailure(m_host, kTlsNotOffered);
      break;
    case SSL_R_UNEXPECTED_EOF_WHILE_READING:
    case 0:
      m_failure = HandshakeFailure(m_host, kTlsCutShort);
      break;
    default:
      m_failure = HandshakeRefused(m_host, LastReason());
  }
  return Io::kFailed;
}

void TlsChannel::FailVerification(long result) {
  CertificateFault fault = CertificateFault::kOther;
  switch (result) {
    case X509_V_ERR_DEPTH_ZERO_SELF_SIGNED_CERT:
    case X509_V_ERR_SELF_SIGNED_CERT_IN_CHAIN:
      fault = CertificateFault::kSelfSigned;
      break;
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT_LOCALLY:
    case X509_V_ERR_UNABLE_TO_GET_ISSUER_CERT:
    case X509_V_ERR_UNABLE_TO_VERIFY_LEAF_SIGNATURE:
    case X509_V_ERR_CERT_UNTRUSTED:
      fault = CertificateFault::kUnknownAuthority;
      break;
    case X509_V_ERR_CERT_HAS_EXPIRED:
      fault = CertificateFault::kExpired;
      break;
    case X509_V_ERR_CERT_NOT_YET_VALID:
      fault = CertificateFault::kNotYetValid;
      break;
    case X509_V_ERR_HOSTNAME_MISMATCH:
    case X509_V_ERR_IP_ADDRESS_MISMATCH:
      fault = CertificateFault::kWrongHost;
      break;
  }
  m_failure =
      CertificateFailure(fault, m_host, codepage::FromUtf8(X509_verify_cert_error_string(result)));
}

}  // namespace velmaris
