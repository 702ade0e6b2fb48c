#include "platform/posix/posix_socket.h"

#include <netdb.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

#include "base/codepage.h"
#include "platform/posix/sigpipe_held.h"
#include "platform/posix/tls_channel.h"

namespace velmaris {

namespace {

// The faults a page may tell apart, as this system numbers them.
constexpr SystemFault kFaults[] = {
    {ECONNREFUSED, NetFault::kRefused},       {ETIMEDOUT, NetFault::kTimedOut},
    {ENETUNREACH, NetFault::kNetUnreachable}, {EHOSTUNREACH, NetFault::kHostUnreachable},
    {ECONNRESET, NetFault::kReset},           {EPIPE, NetFault::kAborted},
    {ECONNABORTED, NetFault::kAborted}};

NetError ErrorFor(int error) {
  return FaultFor(error, kFaults);
}

// What a call that failed with errno came to: nothing now, or a failure.
IoResult Unless(int error) {
  return error == EAGAIN || error == EWOULDBLOCK ? IoResult::Blocked()
                                                 : IoResult::Failed(ErrorFor(error));
}

struct PosixAddresses : SocketSystem::Addresses {
  addrinfo* list = nullptr;
  std::vector<const addrinfo*> entries;
  ~PosixAddresses() override { freeaddrinfo(list); }
  size_t Count() const override { return entries.size(); }
};

std::shared_ptr<SocketSystem::Addresses> Resolve(const std::u16string& host, int32_t port,
                                                 bool numeric) {
  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICSERV | (numeric ? AI_NUMERICHOST : AI_ADDRCONFIG);
  auto found = std::make_shared<PosixAddresses>();
  if (getaddrinfo(codepage::ToUtf8(host).c_str(), std::to_string(port).c_str(), &hints,
                  &found->list) != 0) {
    return nullptr;
  }
  for (const addrinfo* entry = found->list; entry != nullptr; entry = entry->ai_next) {
    found->entries.push_back(entry);
  }
  return found->entries.empty() ? nullptr : found;
}

class PosixSystem : public SocketSystem {
 public:
  ~PosixSystem() override { Close(); }

  NetError Open(const Addresses& addresses, size_t index) override {
    const addrinfo& address = *static_cast<const PosixAddresses&>(addresses).entries[index];
    m_fd = socket(address.ai_family, address.ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                  address.ai_protocol);
    if (m_fd < 0) return ErrorFor(errno);
    int one = 1;
    setsockopt(m_fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    return {};
  }

  int Watch(MessageLoop& loop, short events, MessageLoop::FdCallback on_ready) override {
    return loop.WatchFd(m_fd, events, std::move(on_ready));
  }

  NetError Connect(const Addresses& addresses, size_t index) override {
    const addrinfo& address = *static_cast<const PosixAddresses&>(addresses).entries[index];
    if (connect(m_fd, address.ai_addr, address.ai_addrlen) == 0 || errno == EINPROGRESS) return {};
    return ErrorFor(errno);
  }

  std::optional<NetError> Connected() override {
    int error = 0;
    socklen_t length = sizeof error;
    getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &length);
    if (error == EINPROGRESS) return std::nullopt;
    return error == 0 ? NetError{} : ErrorFor(error);
  }

  std::unique_ptr<TlsSession> StartTls(const std::u16string& host) override {
    return std::make_unique<TlsChannel>(*this, host);
  }

  IoResult Send(const char* data, size_t size, bool more) override {
    for (;;) {
      const ssize_t n = send(m_fd, data, size, MSG_NOSIGNAL | (more ? MSG_MORE : 0));
      if (n >= 0) return IoResult::Taken(n);
      if (errno != EINTR) return Unless(errno);
    }
  }

  IoResult Receive(char* data, size_t size) override {
    for (;;) {
      const ssize_t n = recv(m_fd, data, size, 0);
      if (n >= 0) return IoResult::Taken(n);
      if (errno != EINTR) return Unless(errno);
    }
  }

  IoResult SendFile(const FileHandle& file, int64_t offset, int64_t length,
                    std::function<void()>) override {
    for (;;) {
      off_t from = offset;
      ssize_t sent = 0;
      int error = 0;
      {
        const SigpipeHeld held;
        sent = sendfile(m_fd, file.Descriptor(), &from, static_cast<size_t>(length));
        error = errno;
      }
      if (sent > 0) return IoResult::Taken(sent);
      if (sent == 0) return {IoResult::kFileEnded, 0, {}};
      if (error != EINTR) return Unless(error);
    }
  }

  void Reset() override {
    const linger reset{1, 0};
    setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  }

  void Close() override {
    if (m_fd >= 0) close(m_fd);
    m_fd = -1;
  }

 private:
  int m_fd = -1;
};

}  // namespace

void OtherSocketError(int system, int32_t& number, std::u16string& description) {
  number = 10000 + system;
  description = u"套接字错误：" + codepage::FromUtf8(std::strerror(system));
}

PosixSocket::PosixSocket(MessageLoop& loop)
    : QueuedSocket(loop, std::make_unique<PosixSystem>(), &Resolve) {}

}  // namespace velmaris
