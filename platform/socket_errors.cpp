#include "platform/socket_errors.h"

namespace velmaris {

namespace {

// The classic numbers and their descriptions, for the faults a page may tell apart.
struct Named {
  NetFault fault;
  int32_t number;
  const char16_t* description;
};
constexpr Named kNamed[] = {
    {NetFault::kRefused, 10061, u"连接被强制拒绝"},
    {NetFault::kTimedOut, 10060, u"连接超时"},
    {NetFault::kNetUnreachable, 10051, u"网络不可达"},
    {NetFault::kHostUnreachable, 10065, u"无法访问主机"},
    {NetFault::kReset, 10054, u"连接被对方重设"},
    {NetFault::kAborted, 10053, u"连接已中止"},
    {NetFault::kHostNotFound, 11001, u"找不到主机"},
};

}  // namespace

void SocketErrorFor(NetError error, int32_t& number, std::u16string& description) {
  for (const Named& named : kNamed) {
    if (named.fault == error.fault) {
      number = named.number, description = named.description;
      return;
    }
  }
  OtherSocketError(error.system, number, description);
}

TlsFailure CertificateFailure(CertificateFault fault, const std::u16string& host,
                              const std::u16string& detail) {
  int32_t number = kTlsUntrustedRoot;
  std::u16string cause;
  switch (fault) {
    case CertificateFault::kSelfSigned:
      cause = u"是自签名的，不受信任";
      break;
    case CertificateFault::kUnknownAuthority:
      cause = u"由不受信任的颁发机构签发";
      break;
    case CertificateFault::kExpired:
      number = kTlsCertExpired;
      cause = u"已过期";
      break;
    case CertificateFault::kNotYetValid:
      number = kTlsCertExpired;
      cause = u"尚未生效";
      break;
    case CertificateFault::kWrongHost:
      number = kTlsWrongPrincipal;
      cause = u"不是为该主机颁发的";
      break;
    case CertificateFault::kOther:
      cause = u"无法验证（" + detail + u"）";
      break;
  }
  return {{}, number, u"无法建立安全连接：服务器 " + host + u" 的证书" + cause};
}

TlsFailure HandshakeFailure(const std::u16string& host, const std::u16string& cause) {
  return {{}, kTlsIllegalMessage, u"无法建立安全连接：服务器 " + host + u" " + cause};
}

TlsFailure HandshakeRefused(const std::u16string& host, const std::u16string& reason) {
  return HandshakeFailure(host, u"拒绝了握手（" + reason + u"）");
}

TlsFailure SessionFailure(const std::u16string& host, const std::u16string& reason) {
  return {{}, kTlsIllegalMessage, u"与服务器 " + host + u" 的安全连接出错（" + reason + u"）"};
}

}  // namespace velmaris
