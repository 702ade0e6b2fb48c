// The socket control's error numbers and descriptions, the same on every system: the classic
// Winsock numbers for the errors a page may meet and tell apart.
#pragma once

#include <cstdint>
#include <string>

namespace velmaris {

// What failed on a connection, the same on every system: the faults a page may meet and tell
// apart, named, and any other by the system's own number (kOther).
enum class NetFault : uint8_t {
  kNone,
  kRefused,
  kTimedOut,
  kNetUnreachable,
  kHostUnreachable,
  kReset,
  kAborted,  // aborted here, or written to after the peer had gone
  kHostNotFound,
  kOther,
};
struct NetError {
  NetFault fault = NetFault::kNone;
  int system = 0;  // the system's own number, for kOther
  explicit operator bool() const { return fault != NetFault::kNone; }
};

// A system's error numbers for the faults named; any other is kOther with its number.
struct SystemFault {
  int system;
  NetFault fault;
};
template <size_t N>
NetError FaultFor(int system, const SystemFault (&table)[N]) {
  for (const SystemFault& entry : table) {
    if (entry.system == system) return {entry.fault};
  }
  return {NetFault::kOther, system};
}

// The socket control's number and description for a failure: the classic Winsock numbers for
// those named, the system's own for any other.
void SocketErrorFor(NetError error, int32_t& number, std::u16string& description);
// The number and description of a failure the system names by its own number alone; each
// system's socket has its own (posix/, win32/).
void OtherSocketError(int system, int32_t& number, std::u16string& description);

// What a call of a TLS session over a non-blocking transport came to. kWantRead and kWantWrite: try
// again when the connection is readable or writable; kClosed: the peer ended the session.
enum class TlsIo { kDone, kWantRead, kWantWrite, kClosed, kFailed };

// The system security layer's own numbers for a TLS session's failures.
inline constexpr int32_t kTlsWrongPrincipal = static_cast<int32_t>(0x80090322u);
inline constexpr int32_t kTlsUntrustedRoot = static_cast<int32_t>(0x80090325u);
inline constexpr int32_t kTlsIllegalMessage = static_cast<int32_t>(0x80090326u);
inline constexpr int32_t kTlsCertExpired = static_cast<int32_t>(0x80090328u);

// Why a TLS session failed: its transport's failure, or the session's own, with a number (one of
// those) and a description naming cause and host.
struct TlsFailure {
  NetError transport;
  int32_t number = 0;
  std::u16string description;
};

// Why a server's certificate was refused; kOther with the verifier's own words as `detail`.
enum class CertificateFault {
  kSelfSigned,
  kUnknownAuthority,
  kExpired,
  kNotYetValid,
  kWrongHost,
  kOther
};
TlsFailure CertificateFailure(CertificateFault fault, const std::u16string& host,
                              const std::u16string& detail = {});

// The handshake with `host` failed for `cause`, one of these or the peer's refusal in words.
inline constexpr char16_t kTlsNotOffered[] = u"不支持 HTTPS 或所需的 TLS 版本";
inline constexpr char16_t kTlsCutShort[] = u"在握手时断开了连接";
// The caller's limits ran out: before TCP was connected, or before the handshake was done.
inline constexpr char16_t kTlsConnectTimedOut[] = u"没有响应连接请求（连接超时）";
inline constexpr char16_t kTlsHandshakeTimedOut[] = u"没有在 10 秒内完成握手（握手超时）";
TlsFailure HandshakeFailure(const std::u16string& host, const std::u16string& cause);
// The handshake was refused, for `reason` (the TLS layer's words).
TlsFailure HandshakeRefused(const std::u16string& host, const std::u16string& reason);
// The established session failed, for `reason`; `host` as above.
TlsFailure SessionFailure(const std::u16string& host, const std::u16string& reason);

}  // namespace velmaris
