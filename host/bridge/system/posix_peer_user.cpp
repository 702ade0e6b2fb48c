#include "host/bridge/system/peer_user.h"

#include <arpa/inet.h>
#include <linux/inet_diag.h>
#include <linux/netlink.h>
#include <linux/sock_diag.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <sys/time.h>
#include <unistd.h>

#include <cstring>

#include "host/bridge/system/peer_address.h"

namespace velmaris::host::bridge {
namespace {

class Fd {
 public:
  explicit Fd(int fd) : m_fd(fd) {}
  ~Fd() {
    if (m_fd >= 0) close(m_fd);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int Get() const { return m_fd; }

 private:
  int m_fd;
};

}  // namespace

PeerUser PeerUserOf(const TcpEndpoint& peer, const TcpEndpoint& local) {
  PeerAddress source, destination;
  if (!ParsePeerAddress(peer.address, source) || !ParsePeerAddress(local.address, destination) ||
      source.family != destination.family) {
    return PeerUser::kUnknown;
  }

  Fd diag(socket(AF_NETLINK, SOCK_DGRAM | SOCK_CLOEXEC, NETLINK_SOCK_DIAG));
  if (diag.Get() < 0) return PeerUser::kUnknown;
  // The kernel answers at once; the limit only guards against a reply that never comes.
  timeval limit{1, 0};
  setsockopt(diag.Get(), SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);

  // The client's socket, looked up by its exact four-tuple (no dump of every socket).
  struct {
    nlmsghdr header;
    inet_diag_req_v2 request;
  } message{};
  message.header.nlmsg_len = sizeof message;
  message.header.nlmsg_type = SOCK_DIAG_BY_FAMILY;
  message.header.nlmsg_flags = NLM_F_REQUEST;
  message.header.nlmsg_seq = 1;
  message.request.sdiag_family = static_cast<uint8_t>(source.family);
  message.request.sdiag_protocol = IPPROTO_TCP;
  message.request.idiag_states = ~0u;
  message.request.id.idiag_sport = htons(peer.port);
  message.request.id.idiag_dport = htons(local.port);
  std::memcpy(message.request.id.idiag_src, source.bytes, sizeof source.bytes);
  std::memcpy(message.request.id.idiag_dst, destination.bytes, sizeof destination.bytes);
  message.request.id.idiag_cookie[0] = INET_DIAG_NOCOOKIE;
  message.request.id.idiag_cookie[1] = INET_DIAG_NOCOOKIE;

  sockaddr_nl kernel{};
  kernel.nl_family = AF_NETLINK;
  if (sendto(diag.Get(), &message, sizeof message, 0, reinterpret_cast<sockaddr*>(&kernel),
             sizeof kernel) != static_cast<ssize_t>(sizeof message)) {
    return PeerUser::kUnknown;
  }

  alignas(nlmsghdr) char reply[8192];
  for (;;) {
    sockaddr_nl from{};
    socklen_t from_size = sizeof from;
    ssize_t size = recvfrom(diag.Get(), reply, sizeof reply, 0, reinterpret_cast<sockaddr*>(&from),
                            &from_size);
    if (size < 0) return PeerUser::kUnknown;
    if (from.nl_pid != 0) continue;  // only the kernel's word counts
    auto length = static_cast<unsigned>(size);
    for (auto* header = reinterpret_cast<nlmsghdr*>(reply); NLMSG_OK(header, length);
         header = NLMSG_NEXT(header, length)) {
      if (header->nlmsg_seq != message.header.nlmsg_seq) continue;
      if (header->nlmsg_type != SOCK_DIAG_BY_FAMILY) return PeerUser::kUnknown;  // an error
      if (header->nlmsg_len < NLMSG_LENGTH(sizeof(inet_diag_msg))) return PeerUser::kUnknown;
      const auto* found = static_cast<const inet_diag_msg*>(NLMSG_DATA(header));
      return found->idiag_uid == geteuid() ? PeerUser::kSame : PeerUser::kOther;
    }
  }
}

}  // namespace velmaris::host::bridge
