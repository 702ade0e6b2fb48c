#include "platform/posix/posix_socket.h"

#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/sendfile.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

#include "base/codepage.h"
#include "base/error.h"
#include "platform/posix/sigpipe_held.h"
#include "platform/socket_errors.h"

namespace velmaris {

namespace {

// Stands for the TLS session's own failure where a system error number would go.

// Sends `count` bytes of the file from `offset`; as sendfile(2) answers, errno included.
ssize_t SendFromFile(int socket, int file, int64_t offset, int64_t count) {
  off_t from = offset;
  ssize_t sent = 0;
  int error = 0;
  {
    const SigpipeHeld held;
    sent = sendfile(socket, file, &from, static_cast<size_t>(count));
    error = errno;
  }
  errno = error;
  return sent;
}

}  // namespace

// Shared with the resolver thread: the socket detaches itself when it closes, so a late answer
// is dropped instead of reaching a socket that has gone.
struct PosixSocket::Resolution {
  std::mutex mutex;
  PosixSocket* socket = nullptr;
  MessageLoop* loop = nullptr;
};

PosixSocket::PosixSocket(MessageLoop& loop) : QueuedSocket(loop) {}

PosixSocket::~PosixSocket() {
  on_data_arrival = nullptr;
  on_send_progress = nullptr;
  on_error = nullptr;
  on_close = nullptr;
  Close();
}

void PosixSocket::Connect() {
  Close();
  m_state = kResolvingHost;
  std::string host = codepage::ToUtf8(m_remote_host);
  std::string port = std::to_string(m_remote_port);

  addrinfo hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICHOST | AI_NUMERICSERV;
  addrinfo* numeric = nullptr;
  if (getaddrinfo(host.c_str(), port.c_str(), &hints, &numeric) == 0) {
    OnResolved(0, numeric);
    return;
  }

  // A name: resolve it off the loop's thread so the loop keeps running.
  m_resolution = std::make_shared<Resolution>();
  m_resolution->socket = this;
  m_resolution->loop = &m_loop;
  std::thread([resolution = m_resolution, host, port] {
    addrinfo wanted{};
    wanted.ai_family = AF_UNSPEC;
    wanted.ai_socktype = SOCK_STREAM;
    wanted.ai_flags = AI_NUMERICSERV | AI_ADDRCONFIG;
    addrinfo* found = nullptr;
    int rc = getaddrinfo(host.c_str(), port.c_str(), &wanted, &found);
    std::lock_guard<std::mutex> lock(resolution->mutex);
    if (resolution->loop == nullptr) {
      if (found) freeaddrinfo(found);
      return;
    }
    resolution->loop->Post([resolution, rc, found] {
      PosixSocket* socket;
      {
        std::lock_guard<std::mutex> inner(resolution->mutex);
        socket = resolution->socket;
      }
      if (socket == nullptr) {
        if (found) freeaddrinfo(found);
        return;
      }
      socket->m_resolution.reset();
      socket->OnResolved(rc, found);
    });
  }).detach();
}

void PosixSocket::OnResolved(int gai_error, addrinfo* addresses) {
  if (gai_error != 0 || addresses == nullptr) {
    if (addresses) freeaddrinfo(addresses);
    Fail(kHostNotFound);
    return;
  }
  m_state = kHostResolved;
  m_addresses = addresses;
  m_next_address = addresses;
  TryNextAddress();
}

void PosixSocket::TryNextAddress() {
  int last_error = ECONNREFUSED;
  while (m_next_address != nullptr) {
    addrinfo* address = m_next_address;
    m_next_address = address->ai_next;
    int fd = socket(address->ai_family, address->ai_socktype | SOCK_NONBLOCK | SOCK_CLOEXEC,
                    address->ai_protocol);
    if (fd < 0) {
      last_error = errno;
      continue;
    }
    int one = 1;
    setsockopt(fd, IPPROTO_TCP, TCP_NODELAY, &one, sizeof one);
    if (connect(fd, address->ai_addr, address->ai_addrlen) == 0 || errno == EINPROGRESS) {
      m_fd = fd;
      m_state = kConnecting;
      m_watch = m_loop.WatchFd(m_fd, MessageLoop::kWritable, [this](short mask) { OnReady(mask); });
      return;
    }
    last_error = errno;
    close(fd);
  }
  Fail(last_error);
}

void PosixSocket::OnConnectDone() {
  int error = 0;
  socklen_t length = sizeof error;
  getsockopt(m_fd, SOL_SOCKET, SO_ERROR, &error, &length);
  if (error == EINPROGRESS) return;
  if (error != 0) {
    m_loop.UnwatchFd(m_watch);
    m_watch = 0;
    close(m_fd);
    m_fd = -1;
    if (m_next_address != nullptr) {
      TryNextAddress();
      return;
    }
    Fail(error);
    return;
  }
  freeaddrinfo(m_addresses);
  m_addresses = m_next_address = nullptr;
  if (m_secure) {
    // The connection counts as made once the handshake is done; until then it tells that the
    // handshake is under way, for the caller to give that step its own limit.
    m_tls = std::make_unique<TlsChannel>(m_fd, m_remote_host);
    ContinueHandshake();
    return;
  }
  m_state = kConnected;
  UpdateWatch();
}

void PosixSocket::UpdateWatch() {
  if (m_watch == 0) return;
  short events = MessageLoop::kReadable;
  if (WantsRoom()) events |= MessageLoop::kWritable;
  m_loop.SetFdEvents(m_watch, events);
}

int64_t PosixSocket::Receive(char* data, size_t size, int& error) {
  for (;;) {
    ssize_t n = 0;
    if (!m_tls) {
      n = recv(m_fd, data, size, 0);
    } else {
      size_t done = 0;
      const TlsChannel::Io io = m_tls->Read(data, size, done);
      m_tls_read_waits = io;
      n = Transferred(io, done);
    }
    if (n >= 0) return n;
    if (errno == EINTR) continue;
    error = errno == EAGAIN || errno == EWOULDBLOCK ? 0 : errno;
    return -1;
  }
}

ssize_t PosixSocket::Transmit(const char* data, size_t size, bool more) {
  if (!m_tls) return send(m_fd, data, size, MSG_NOSIGNAL | (more ? MSG_MORE : 0));
  size_t done = 0;
  const TlsChannel::Io io = m_tls->Write(data, size, done);
  m_tls_write_waits = io;
  return Transferred(io, done);
}

ssize_t PosixSocket::Transferred(TlsChannel::Io io, size_t done) {
  switch (io) {
    case TlsChannel::Io::kDone:
      return static_cast<ssize_t>(done);
    case TlsChannel::Io::kClosed:
      return 0;
    case TlsChannel::Io::kWantRead:
    case TlsChannel::Io::kWantWrite:
      errno = EAGAIN;
      return -1;
    case TlsChannel::Io::kFailed:
      break;
  }
  errno = m_tls->LastFailure().system_error != 0 ? m_tls->LastFailure().system_error : kTlsFailed;
  return -1;
}

void PosixSocket::WriteQueued() {
  int64_t pass = 0;
  while (!m_queue.empty() && m_state == kConnected && pass < kWritePass) {
    Item& item = m_queue.front();
    const int64_t left = item.length - item.offset;
    ssize_t n = 0;
    if (item.file.IsOpen() && !m_tls) {
      // From the file to the socket inside the kernel: no copy passes through here.
      n = SendFromFile(m_fd, item.file.Descriptor(), item.offset, std::min(left, kWritePass));
      if (n == 0) {
        FailShortFile();
        return;
      }
    } else if (item.file.IsOpen()) {
      // Through the TLS session a piece at a time, read from the file as it goes.
      if (!ReadPiece(item)) return;
      n = Transmit(item.bytes.data() + item.piece_sent, item.bytes.size() - item.piece_sent, true);
      if (n > 0) item.piece_sent += static_cast<size_t>(n);
    } else {
      // More follows: a short text and the file after it may share a segment.
      n = Transmit(item.bytes.data() + item.offset, static_cast<size_t>(left), m_queue.size() > 1);
    }
    if (n < 0) {
      if (errno == EINTR) continue;
      if (errno == EAGAIN || errno == EWOULDBLOCK) break;
      FailSending(errno);
      return;
    }
    pass += n;
    if (!Advance(n)) return;
  }
  UpdateWatch();
}

void PosixSocket::DescribeSystemError(int error_number, int32_t& number,
                                      std::u16string& description) const {
  SocketErrorFor(error_number, number, description);
}

void PosixSocket::FailShortFile() {
  // Reset rather than closed, so that no server can take the bytes it got for a whole request.
  const linger reset{1, 0};
  setsockopt(m_fd, SOL_SOCKET, SO_LINGER, &reset, sizeof reset);
  Report(err::kPastEndOfFile, DefaultDescription(err::kPastEndOfFile));
}

void PosixSocket::StopWatching() {
  if (m_watch != 0) {
    m_loop.UnwatchFd(m_watch);
    m_watch = 0;
  }
}

void PosixSocket::CloseDescriptors() {
  ++m_generation;
  if (m_resolution) {
    std::lock_guard<std::mutex> lock(m_resolution->mutex);
    m_resolution->socket = nullptr;
    m_resolution->loop = nullptr;
    m_resolution.reset();
  }
  if (m_addresses) {
    freeaddrinfo(m_addresses);
    m_addresses = m_next_address = nullptr;
  }
  if (m_watch != 0) {
    m_loop.UnwatchFd(m_watch);
    m_watch = 0;
  }
  if (m_fd >= 0) {
    close(m_fd);
    m_fd = -1;
  }
  m_tls.reset();
  DropQueue();
}

void PosixSocket::Close() {
  if (m_tls && m_state == kConnected) m_tls->Shutdown();
  CloseDescriptors();
  m_received.clear();
  m_state = kClosed;
}

}  // namespace velmaris
