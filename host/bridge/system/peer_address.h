// A numeric address of a loopback connection as both systems' tables hold it.
#pragma once

#include <string>

namespace velmaris::host::bridge {

struct PeerAddress {
  int family = 0;                // AF_INET or AF_INET6
  unsigned char bytes[16] = {};  // network order; four bytes for AF_INET
};

// Reads "127.0.0.1", "::1" or "::ffff:127.0.0.1"; a v4-mapped IPv6 address is taken as its IPv4
// address, since the connecting socket may be of either family. False for anything else.
bool ParsePeerAddress(const std::string& text, PeerAddress& address);

}  // namespace velmaris::host::bridge
