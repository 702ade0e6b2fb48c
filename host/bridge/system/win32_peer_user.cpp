#include "host/bridge/system/peer_user.h"

// winsock2.h before windows.h, and iphlpapi.h after both.
#include <winsock2.h>
#include <ws2tcpip.h>

#include <windows.h>

#include <iphlpapi.h>

#include <cstring>

#include <memory>
#include <vector>
#include "host/bridge/system/peer_address.h"

namespace velmaris::host::bridge {
namespace {

// The table of `family`'s connections with their owners; empty when it cannot be had.
std::vector<unsigned char> TcpTable(ULONG family) {
  // Room for a desktop's connections at the first try: asking for the size first would read the
  // whole table twice, which is slow where the system assembles it on every call (Wine).
  std::vector<unsigned char> table(64 * 1024);
  DWORD size = static_cast<DWORD>(table.size());
  for (int tries = 0; tries < 5; ++tries) {
    const DWORD result =
        GetExtendedTcpTable(table.data(), &size, FALSE, family, TCP_TABLE_OWNER_PID_ALL, 0);
    if (result == NO_ERROR) return table;
    if (result != ERROR_INSUFFICIENT_BUFFER) break;
    // Connections come and go between the calls.
    table.assign(size + 4096, 0);
    size = static_cast<DWORD>(table.size());
  }
  return {};
}

// The process that holds the socket whose local end is `source` and remote end `destination`;
// zero when there is none.
DWORD OwnerOf(const PeerAddress& source, uint16_t source_port, const PeerAddress& destination,
              uint16_t destination_port) {
  const DWORD sport = htons(source_port), dport = htons(destination_port);
  if (source.family == AF_INET) {
    const auto table = TcpTable(AF_INET);
    if (table.empty()) return 0;
    const auto* rows = reinterpret_cast<const MIB_TCPTABLE_OWNER_PID*>(table.data());
    DWORD saddr, daddr;
    std::memcpy(&saddr, source.bytes, 4);
    std::memcpy(&daddr, destination.bytes, 4);
    for (DWORD i = 0; i < rows->dwNumEntries; ++i) {
      const auto& row = rows->table[i];
      if (row.dwLocalAddr == saddr && (row.dwLocalPort & 0xFFFF) == sport &&
          row.dwRemoteAddr == daddr && (row.dwRemotePort & 0xFFFF) == dport) {
        return row.dwOwningPid;
      }
    }
    return 0;
  }
  const auto table = TcpTable(AF_INET6);
  if (table.empty()) return 0;
  const auto* rows = reinterpret_cast<const MIB_TCP6TABLE_OWNER_PID*>(table.data());
  for (DWORD i = 0; i < rows->dwNumEntries; ++i) {
    const auto& row = rows->table[i];
    if (std::memcmp(row.ucLocalAddr, source.bytes, 16) == 0 &&
        (row.dwLocalPort & 0xFFFF) == sport &&
        std::memcmp(row.ucRemoteAddr, destination.bytes, 16) == 0 &&
        (row.dwRemotePort & 0xFFFF) == dport) {
      return row.dwOwningPid;
    }
  }
  return 0;
}

struct HandleCloser {
  void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using Handle = std::unique_ptr<void, HandleCloser>;

// The user `process` runs as, as the bytes of its SID; empty when it cannot be read.
std::vector<unsigned char> ProcessUser(HANDLE process) {
  HANDLE token = nullptr;
  if (!OpenProcessToken(process, TOKEN_QUERY, &token)) return {};
  Handle owned(token);
  DWORD size = 0;
  GetTokenInformation(token, TokenUser, nullptr, 0, &size);
  if (size == 0) return {};
  std::vector<unsigned char> user(size);
  if (!GetTokenInformation(token, TokenUser, user.data(), size, &size)) return {};
  const PSID sid = reinterpret_cast<const TOKEN_USER*>(user.data())->User.Sid;
  if (!IsValidSid(sid)) return {};
  const auto* bytes = static_cast<const unsigned char*>(sid);
  return std::vector<unsigned char>(bytes, bytes + GetLengthSid(sid));
}

}  // namespace

PeerUser PeerUserOf(const TcpEndpoint& peer, const TcpEndpoint& local) {
  PeerAddress source, destination;
  if (!ParsePeerAddress(peer.address, source) || !ParsePeerAddress(local.address, destination) ||
      source.family != destination.family) {
    return PeerUser::kUnknown;
  }
  const DWORD pid = OwnerOf(source, peer.port, destination, local.port);
  if (pid == 0) return PeerUser::kUnknown;
  if (pid == GetCurrentProcessId()) return PeerUser::kSame;
  Handle process(OpenProcess(PROCESS_QUERY_LIMITED_INFORMATION, FALSE, pid));
  if (!process) return PeerUser::kUnknown;
  const auto theirs = ProcessUser(process.get());
  const auto ours = ProcessUser(GetCurrentProcess());
  if (theirs.empty() || ours.empty()) return PeerUser::kUnknown;
  return EqualSid(const_cast<unsigned char*>(theirs.data()),
                  const_cast<unsigned char*>(ours.data()))
             ? PeerUser::kSame
             : PeerUser::kOther;
}

}  // namespace velmaris::host::bridge
