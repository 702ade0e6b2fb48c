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

}  // namespace velmaris
