#include "platform/win32/winsock_socket.h"

// After winsock2.h, which they need.
#include <mswsock.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <thread>

#include "base/codepage.h"
#include "base/error.h"
#include "platform/socket_errors.h"

#ifndef WSA_FLAG_NO_HANDLE_INHERIT
#define WSA_FLAG_NO_HANDLE_INHERIT 0x80
#endif

namespace velmaris {

namespace {

// Stands for the TLS session's own failure where a Winsock error number would go.

void StartWinsock() {
  static std::once_flag once;
  std::call_once(once, [] {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  });
}

}  // namespace

std::u16string SystemText(int error) {
  wchar_t* buffer = nullptr;
  const DWORD length = FormatMessageW(
      FORMAT_MESSAGE_ALLOCATE_BUFFER | FORMAT_MESSAGE_FROM_SYSTEM | FORMAT_MESSAGE_IGNORE_INSERTS,
      nullptr, static_cast<DWORD>(error), 0, reinterpret_cast<wchar_t*>(&buffer), 0, nullptr);
  std::u16string text = length == 0 ? u"未知错误 " + codepage::FromUtf8(std::to_string(error))
                                    : std::u16string(buffer, buffer + length);
  LocalFree(buffer);
  while (!text.empty() && (text.back() == u'\r' || text.back() == u'\n' || text.back() == u' ' ||
                           text.back() == u'.' || text.back() == u'。')) {
    text.pop_back();
  }
  return text;
}

void WinsockErrorFor(int wsa_error, int32_t& number, std::u16string& description) {
  int posix = 0;
  switch (wsa_error) {
    case WSAECONNREFUSED:
      posix = ECONNREFUSED;
      break;
    case WSAETIMEDOUT:
      posix = ETIMEDOUT;
      break;
    case WSAENETUNREACH:
      posix = ENETUNREACH;
      break;
    case WSAEHOSTUNREACH:
      posix = EHOSTUNREACH;
      break;
    case WSAECONNRESET:
      posix = ECONNRESET;
      break;
    case WSAECONNABORTED:
      posix = ECONNABORTED;
      break;
    case WSAESHUTDOWN:
      posix = EPIPE;
      break;
    case kHostNotFound:
      posix = kHostNotFound;
      break;
  }
  if (posix != 0) {
    SocketErrorFor(posix, number, description);
    return;
  }
  number = wsa_error;
  description = u"套接字错误：" + SystemText(wsa_error);
}

// Shared with the resolver thread and the thread pool that sees a TransmitFile end: the socket
// detaches itself when it goes, so a late answer is dropped instead of reaching it.
struct WinsockSocket::Anchor {
  std::mutex mutex;
  WinsockSocket* socket = nullptr;
  MessageLoop* loop = nullptr;
};

// One TransmitFile call on its way.
struct WinsockSocket::Transmission {
  OVERLAPPED overlapped{};
  HANDLE wait = nullptr;
  int64_t piece = 0;
  int generation = 0;
  std::shared_ptr<Anchor> anchor;

  // On a pool thread once the call has ended: the loop takes it from there.
  static void CALLBACK Ended(void* context, BOOLEAN) {
    const auto* self = static_cast<Transmission*>(context);
    std::lock_guard<std::mutex> lock(self->anchor->mutex);
    if (self->anchor->loop == nullptr) return;
    self->anchor->loop->Post([anchor = self->anchor, generation = self->generation] {
      WinsockSocket* socket;
      {
        std::lock_guard<std::mutex> inner(anchor->mutex);
        socket = anchor->socket;
      }
      if (socket != nullptr && socket->m_generation == generation && socket->m_transmission) {
        socket->OnTransmitted();
      }
    });
  }
};

WinsockSocket::WinsockSocket(MessageLoop& loop)
    : QueuedSocket(loop), m_anchor(std::make_shared<Anchor>()) {
  StartWinsock();
  m_anchor->socket = this;
  m_anchor->loop = &loop;
}

WinsockSocket::~WinsockSocket() {
  on_data_arrival = nullptr;
  on_send_progress = nullptr;
  on_error = nullptr;
  on_close = nullptr;
  Close();
  std::lock_guard<std::mutex> lock(m_anchor->mutex);
  m_anchor->socket = nullptr;
  m_anchor->loop = nullptr;
}

void WinsockSocket::Connect() {
  Close();
  m_state = kResolvingHost;
  const std::wstring host(m_remote_host.begin(), m_remote_host.end());
  const std::wstring port = std::to_wstring(m_remote_port);

  ADDRINFOW hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = AI_NUMERICHOST;
  ADDRINFOW* numeric = nullptr;
  if (GetAddrInfoW(host.c_str(), port.c_str(), &hints, &numeric) == 0) {
    OnResolved(0, numeric);
    return;
  }

  // A name: resolve it off the loop's thread so the loop keeps running.
  std::thread([anchor = m_anchor, generation = m_generation, host, port] {
    ADDRINFOW wanted{};
    wanted.ai_family = AF_UNSPEC;
    wanted.ai_socktype = SOCK_STREAM;
    wanted.ai_flags = AI_ADDRCONFIG;
    ADDRINFOW* found = nullptr;
    const int rc = GetAddrInfoW(host.c_str(), port.c_str(), &wanted, &found);
    std::lock_guard<std::mutex> lock(anchor->mutex);
    if (anchor->loop == nullptr) {
      if (found) FreeAddrInfoW(found);
      return;
    }
    anchor->loop->Post([anchor, generation, rc, found] {
      WinsockSocket* socket;
      {
        std::lock_guard<std::mutex> inner(anchor->mutex);
        socket = anchor->socket;
      }
      if (socket == nullptr || socket->m_generation != generation ||
          socket->m_state != kResolvingHost) {
        if (found) FreeAddrInfoW(found);
        return;
      }
      socket->OnResolved(rc, found);
    });
  }).detach();
}

void WinsockSocket::OnResolved(int error, ADDRINFOW* addresses) {
  if (error != 0 || addresses == nullptr) {
    if (addresses) FreeAddrInfoW(addresses);
    Fail(kHostNotFound);
    return;
  }
  m_state = kHostResolved;
  m_addresses = addresses;
  m_next_address = addresses;
  TryNextAddress();
}

void WinsockSocket::TryNextAddress() {
  int last_error = WSAECONNREFUSED;
  while (m_next_address != nullptr) {
    ADDRINFOW* address = m_next_address;
    m_next_address = address->ai_next;
    const SOCKET s = WSASocketW(address->ai_family, address->ai_socktype, address->ai_protocol,
                                nullptr, 0, WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (s == INVALID_SOCKET) {
      last_error = WSAGetLastError();
      continue;
    }
    const BOOL one = TRUE;
    setsockopt(s, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    // Watched first: that makes it non-blocking, and its connect is then told to the loop.
    m_socket = s;
    m_watch = m_loop.WatchFd(static_cast<int>(s), MessageLoop::kWritable,
                             [this](short mask) { OnReady(mask); });
    const int rc = connect(s, address->ai_addr, static_cast<int>(address->ai_addrlen));
    const int error = rc == 0 ? 0 : WSAGetLastError();
    if (error == 0 || error == WSAEWOULDBLOCK) {
      m_state = kConnecting;
      return;
    }
    last_error = error;
    m_loop.UnwatchFd(m_watch);
    m_watch = 0;
    closesocket(s);
    m_socket = INVALID_SOCKET;
  }
  Fail(last_error);
}

void WinsockSocket::OnConnectDone() {
  int error = 0;
  int length = sizeof error;
  getsockopt(m_socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length);
  if (error == 0) {
    sockaddr_storage peer{};
    int peer_length = sizeof peer;
    if (getpeername(m_socket, reinterpret_cast<sockaddr*>(&peer), &peer_length) != 0) {
      error = WSAGetLastError();
      // Not connected yet: its end comes as an event of its own.
      if (error == WSAENOTCONN) return;
    }
  }
  if (error != 0) {
    m_loop.UnwatchFd(m_watch);
    m_watch = 0;
    closesocket(m_socket);
    m_socket = INVALID_SOCKET;
    if (m_next_address != nullptr) {
      TryNextAddress();
      return;
    }
    Fail(error);
    return;
  }
  FreeAddrInfoW(m_addresses);
  m_addresses = m_next_address = nullptr;
  if (m_secure) {
    // The connection counts as made once the handshake is done; until then it tells that the
    // handshake is under way, for the caller to give that step its own limit.
    m_tls = std::make_unique<SchannelChannel>(m_socket, m_remote_host);
    ContinueHandshake();
    return;
  }
  m_state = kConnected;
  UpdateWatch();
}

void WinsockSocket::UpdateWatch() {
  if (m_watch == 0) return;
  short events = MessageLoop::kReadable;
  // A file piece on its way tells its own end.
  if ((WantsRoom() && !m_transmission) || (m_tls && m_tls->HasUnsent())) {
    events |= MessageLoop::kWritable;
  }
  m_loop.SetFdEvents(m_watch, events);
}

int64_t WinsockSocket::Receive(char* data, size_t size, int& error) {
  if (m_tls) {
    size_t done = 0;
    const SchannelChannel::Io io = m_tls->Read(data, size, done);
    m_tls_read_waits = io;
    return Transferred(io, done, error);
  }
  const int n = recv(m_socket, data, static_cast<int>(std::min<size_t>(size, INT_MAX)), 0);
  if (n != SOCKET_ERROR) return n;
  error = WSAGetLastError() == WSAEWOULDBLOCK ? 0 : WSAGetLastError();
  return -1;
}

int64_t WinsockSocket::Encrypted(const char* data, size_t size, int& error) {
  size_t done = 0;
  const SchannelChannel::Io io = m_tls->Write(data, size, done);
  m_tls_write_waits = io;
  return Transferred(io, done, error);
}

int64_t WinsockSocket::Transferred(SchannelChannel::Io io, size_t done, int& error) {
  error = 0;
  switch (io) {
    case SchannelChannel::Io::kDone:
      return static_cast<int64_t>(done);
    case SchannelChannel::Io::kClosed:
      return 0;
    case SchannelChannel::Io::kWantRead:
    case SchannelChannel::Io::kWantWrite:
      return -1;
    case SchannelChannel::Io::kFailed:
      break;
  }
  const int system_error = m_tls->LastFailure().system_error;
  error = system_error != 0 ? system_error : kTlsFailed;
  return -1;
}

void WinsockSocket::WriteQueued() {
  if (m_transmission) return;
  int64_t pass = 0;
  // Encrypted bytes of the last record go before anything else.
  if (m_tls && m_tls->HasUnsent() && m_queue.empty()) {
    int error = 0;
    if (Encrypted(nullptr, 0, error) < 0 && error != 0) {
      FailSending(error);
      return;
    }
  }
  while (!m_queue.empty() && m_state == kConnected) {
    if (pass >= kWritePass) {
      // Winsock tells writability only after a send would have blocked, which none did.
      PostStep(&WinsockSocket::WriteQueued);
      break;
    }
    Item& item = m_queue.front();
    if (item.file.IsOpen() && !m_tls) {
      StartTransmit(item);
      break;
    }
    int error = 0;
    int64_t n = 0;
    if (item.file.IsOpen()) {
      // Through the TLS session a piece at a time, read from the file as it goes.
      if (!ReadPiece(item)) return;
      n = Encrypted(item.bytes.data() + item.piece_sent, item.bytes.size() - item.piece_sent,
                    error);
      if (n > 0) item.piece_sent += static_cast<size_t>(n);
    } else {
      const int64_t left = std::min<int64_t>(item.length - item.offset, kWritePass);
      if (m_tls) {
        n = Encrypted(item.bytes.data() + item.offset, static_cast<size_t>(left), error);
      } else {
        n = send(m_socket, item.bytes.data() + item.offset, static_cast<int>(left), 0);
        error = n == SOCKET_ERROR && WSAGetLastError() != WSAEWOULDBLOCK ? WSAGetLastError() : 0;
      }
    }
    if (n < 0) {
      if (error == 0) break;
      FailSending(error);
      return;
    }
    pass += n;
    if (!Advance(n)) return;
  }
  UpdateWatch();
}

void WinsockSocket::StartTransmit(Item& item) {
  auto transmission = std::make_unique<Transmission>();
  transmission->piece = std::min(item.length - item.offset, kTransmitPiece);
  transmission->generation = m_generation;
  transmission->anchor = m_anchor;
  // The offset travels with the call, so the file's own position does not matter.
  transmission->overlapped.Offset = static_cast<DWORD>(item.offset);
  transmission->overlapped.OffsetHigh =
      static_cast<DWORD>(static_cast<uint64_t>(item.offset) >> 32);
  transmission->overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (transmission->overlapped.hEvent == nullptr) {
    Fail(static_cast<int>(GetLastError()));
    return;
  }
  const auto file = reinterpret_cast<HANDLE>(item.file.Descriptor());
  if (!TransmitFile(m_socket, file, static_cast<DWORD>(transmission->piece), 0,
                    &transmission->overlapped, nullptr, 0)) {
    const int error = WSAGetLastError();
    if (error != WSA_IO_PENDING) {
      CloseHandle(transmission->overlapped.hEvent);
      FailSending(error);
      return;
    }
  }
  m_transmission = std::move(transmission);
  RegisterWaitForSingleObject(&m_transmission->wait, m_transmission->overlapped.hEvent,
                              &Transmission::Ended, m_transmission.get(), INFINITE,
                              WT_EXECUTEONLYONCE);
}

void WinsockSocket::OnTransmitted() {
  DWORD sent = 0;
  DWORD flags = 0;
  const BOOL done =
      WSAGetOverlappedResult(m_socket, &m_transmission->overlapped, &sent, FALSE, &flags);
  const int error = done ? 0 : WSAGetLastError();
  const int64_t piece = m_transmission->piece;
  EndTransmission();
  if (!done) {
    FailSending(error);
    return;
  }
  // The file ended before the length the request announced.
  if (static_cast<int64_t>(sent) < piece) {
    FailShortFile();
    return;
  }
  if (!Advance(sent)) return;
  WriteQueued();
}

void WinsockSocket::EndTransmission() {
  if (!m_transmission) return;
  Transmission& transmission = *m_transmission;
  if (!HasOverlappedIoCompleted(&transmission.overlapped)) {
    // Its OVERLAPPED must outlive the call: cancel it and see it end.
    CancelIoEx(reinterpret_cast<HANDLE>(m_socket), &transmission.overlapped);
    DWORD sent = 0;
    DWORD flags = 0;
    WSAGetOverlappedResult(m_socket, &transmission.overlapped, &sent, TRUE, &flags);
  }
  if (transmission.wait != nullptr) UnregisterWaitEx(transmission.wait, INVALID_HANDLE_VALUE);
  CloseHandle(transmission.overlapped.hEvent);
  m_transmission.reset();
}

void WinsockSocket::PostStep(void (WinsockSocket::*step)()) {
  m_loop.Post([anchor = m_anchor, generation = m_generation, step] {
    WinsockSocket* socket;
    {
      std::lock_guard<std::mutex> lock(anchor->mutex);
      socket = anchor->socket;
    }
    if (socket != nullptr && socket->m_generation == generation && socket->m_state == kConnected) {
      (socket->*step)();
    }
  });
}

void WinsockSocket::DescribeSystemError(int error_number, int32_t& number,
                                        std::u16string& description) const {
  WinsockErrorFor(error_number, number, description);
}

void WinsockSocket::FailShortFile() {
  // Reset rather than closed, so that no server can take the bytes it got for a whole request.
  const linger reset{1, 0};
  setsockopt(m_socket, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&reset), sizeof reset);
  Report(err::kPastEndOfFile, DefaultDescription(err::kPastEndOfFile));
}

void WinsockSocket::StopWatching() {
  // A file piece on its way cannot arrive any more.
  EndTransmission();
  if (m_watch != 0) {
    m_loop.UnwatchFd(m_watch);
    m_watch = 0;
  }
}

void WinsockSocket::CloseDescriptors() {
  ++m_generation;
  EndTransmission();
  if (m_addresses) {
    FreeAddrInfoW(m_addresses);
    m_addresses = m_next_address = nullptr;
  }
  if (m_watch != 0) {
    m_loop.UnwatchFd(m_watch);
    m_watch = 0;
  }
  if (m_socket != INVALID_SOCKET) {
    closesocket(m_socket);
    m_socket = INVALID_SOCKET;
  }
  m_tls.reset();
  DropQueue();
}

void WinsockSocket::Close() {
  if (m_tls && m_state == kConnected) m_tls->Shutdown();
  CloseDescriptors();
  m_received.clear();
  m_state = kClosed;
}

}  // namespace velmaris
