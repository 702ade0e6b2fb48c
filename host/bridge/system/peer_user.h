// Who is at the other end of a loopback connection: the bridge serves only its own user's
// processes, since any local user can reach a loopback port.
#pragma once

#include <cstdint>
#include <string>

namespace velmaris::host::bridge {

// A numeric address ("127.0.0.1", "::1", "::ffff:127.0.0.1") and a port.
struct TcpEndpoint {
  std::string address;
  uint16_t port = 0;
};

enum class PeerUser { kSame, kOther, kUnknown };

// Whether the process at the other end of an accepted loopback TCP connection runs as the same
// user as this process. `peer` is the connection's remote endpoint, `local` our end of it.
PeerUser PeerUserOf(const TcpEndpoint& peer, const TcpEndpoint& local);

}  // namespace velmaris::host::bridge
