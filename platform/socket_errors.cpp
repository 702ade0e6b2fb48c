#include "platform/socket_errors.h"

#include <cerrno>
#include <cstring>

#include "base/codepage.h"

namespace velmaris {

void SocketErrorFor(int system_error, int32_t& number, std::u16string& description) {
  switch (system_error) {
    case ECONNREFUSED:
      number = 10061, description = u"连接被强制拒绝";
      return;
    case ETIMEDOUT:
      number = 10060, description = u"连接超时";
      return;
    case ENETUNREACH:
      number = 10051, description = u"网络不可达";
      return;
    case EHOSTUNREACH:
      number = 10065, description = u"无法访问主机";
      return;
    case ECONNRESET:
      number = 10054, description = u"连接被对方重设";
      return;
    case EPIPE:
    case ECONNABORTED:
      number = 10053, description = u"连接已中止";
      return;
    case kHostNotFound:
      number = kHostNotFound, description = u"找不到主机";
      return;
  }
  number = 10000 + system_error;
  description = u"套接字错误：" + codepage::FromUtf8(std::strerror(system_error));
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
  return {0, number, u"无法建立安全连接：服务器 " + host + u" 的证书" + cause};
}

TlsFailure HandshakeFailure(const std::u16string& host, const std::u16string& cause) {
  return {0, kTlsIllegalMessage, u"无法建立安全连接：服务器 " + host + u" " + cause};
}

TlsFailure HandshakeRefused(const std::u16string& host, const std::u16string& reason) {
  return HandshakeFailure(host, u"拒绝了握手（" + reason + u"）");
}

TlsFailure SessionFailure(const std::u16string& host, const std::u16string& reason) {
  return {0, kTlsIllegalMessage, u"与服务器 " + host + u" 的安全连接出错（" + reason + u"）"};
}

}  // namespace velmaris
