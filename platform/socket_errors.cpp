#include "platform/socket_errors.h"

namespace velmaris {

void SocketErrorFor(NetError error, int32_t& number, std::u16string& description) {
  switch (error.fault) {
    case NetFault::kRefused:
      number = 10061, description = u"连接被强制拒绝";
      return;
    case NetFault::kTimedOut:
      number = 10060, description = u"连接超时";
      return;
    case NetFault::kNetUnreachable:
      number = 10051, description = u"网络不可达";
      return;
    case NetFault::kHostUnreachable:
      number = 10065, description = u"无法访问主机";
      return;
    case NetFault::kReset:
      number = 10054, description = u"连接被对方重设";
      return;
    case NetFault::kAborted:
      number = 10053, description = u"连接已中止";
      return;
    case NetFault::kHostNotFound:
      number = 11001, description = u"找不到主机";
      return;
    case NetFault::kNone:
    case NetFault::kOther:
      break;
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
