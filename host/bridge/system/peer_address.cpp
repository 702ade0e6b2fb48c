#include "host/bridge/system/peer_address.h"

#ifdef _WIN32
#include <winsock2.h>
#include <ws2tcpip.h>
#else
#include <arpa/inet.h>
#include <netinet/in.h>
#endif

#include <cstring>

namespace velmaris::host::bridge {

bool ParsePeerAddress(const std::string& text, PeerAddress& address) {
  in_addr v4{};
  if (inet_pton(AF_INET, text.c_str(), &v4) == 1) {
    address.family = AF_INET;
    std::memcpy(address.bytes, &v4, sizeof v4);
    return true;
  }
  in6_addr v6{};
  if (inet_pton(AF_INET6, text.c_str(), &v6) != 1) return false;
  static constexpr unsigned char kMapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xFF, 0xFF};
  const auto* bytes = reinterpret_cast<const unsigned char*>(&v6);
  if (std::memcmp(bytes, kMapped, sizeof kMapped) == 0) {
    address.family = AF_INET;
    std::memcpy(address.bytes, bytes + 12, 4);
  } else {
    address.family = AF_INET6;
    std::memcpy(address.bytes, bytes, sizeof v6);
  }
  return true;
}

}  // namespace velmaris::host::bridge
