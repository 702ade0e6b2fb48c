#include "platform/win32/winsock_socket.h"

// It brings <windows.h> with it; the others need it first.
#include <winsock2.h>
//
#include <mswsock.h>
#include <ws2tcpip.h>

#include <algorithm>
#include <climits>
#include <mutex>
#include <vector>

#include "platform/win32/schannel_channel.h"
#include "platform/win32/system_text.h"

#ifndef WSA_FLAG_NO_HANDLE_INHERIT
#define WSA_FLAG_NO_HANDLE_INHERIT 0x80
#endif

namespace velmaris {

namespace {

// The faults a page may tell apart, as this system numbers them.
constexpr SystemFault kFaults[] = {
    {WSAECONNREFUSED, NetFault::kRefused},
    {WSAETIMEDOUT, NetFault::kTimedOut},
    {WSAENETUNREACH, NetFault::kNetUnreachable},
    {WSAEHOSTUNREACH, NetFault::kHostUnreachable},
    {WSAECONNRESET, NetFault::kReset},
    {WSAECONNABORTED, NetFault::kAborted},
    {WSAESHUTDOWN, NetFault::kAborted},
    // A send on a connection the peer has ended, as EPIPE is on POSIX.
    {WSAENOTCONN, NetFault::kAborted},
    {WSAHOST_NOT_FOUND, NetFault::kHostNotFound}};

NetError ErrorFor(int error) {
  return FaultFor(error, kFaults);
}

// What a call that failed came to: nothing now, or a failure.
IoResult Unless(int error) {
  return error == WSAEWOULDBLOCK ? IoResult::Blocked() : IoResult::Failed(ErrorFor(error));
}

struct WinsockAddresses : SocketSystem::Addresses {
  ADDRINFOW* list = nullptr;
  std::vector<const ADDRINFOW*> entries;
  ~WinsockAddresses() override { FreeAddrInfoW(list); }
  size_t Count() const override { return entries.size(); }
};

void StartWinsock() {
  static std::once_flag once;
  std::call_once(once, [] {
    WSADATA data;
    WSAStartup(MAKEWORD(2, 2), &data);
  });
}

std::shared_ptr<SocketSystem::Addresses> Resolve(const std::u16string& host, int32_t port,
                                                 bool numeric) {
  const std::wstring name(host.begin(), host.end());
  ADDRINFOW hints{};
  hints.ai_family = AF_UNSPEC;
  hints.ai_socktype = SOCK_STREAM;
  hints.ai_flags = numeric ? AI_NUMERICHOST : AI_ADDRCONFIG;
  auto found = std::make_shared<WinsockAddresses>();
  if (GetAddrInfoW(name.c_str(), std::to_wstring(port).c_str(), &hints, &found->list) != 0) {
    return nullptr;
  }
  for (const ADDRINFOW* entry = found->list; entry != nullptr; entry = entry->ai_next) {
    found->entries.push_back(entry);
  }
  return found->entries.empty() ? nullptr : found;
}

// One TransmitFile call on its way.
struct Transmission {
  OVERLAPPED overlapped{};
  HANDLE wait = nullptr;
  int64_t piece = 0;
  std::function<void()> ended;

  // On a pool thread once the call has ended.
  static void CALLBACK Ended(void* context, BOOLEAN) {
    static_cast<Transmission*>(context)->ended();
  }
};

class WinsockSystem : public SocketSystem {
 public:
  WinsockSystem() { StartWinsock(); }
  ~WinsockSystem() override { Close(); }

  NetError Open(const Addresses& addresses, size_t index) override {
    const ADDRINFOW& address = *static_cast<const WinsockAddresses&>(addresses).entries[index];
    m_socket = WSASocketW(address.ai_family, address.ai_socktype, address.ai_protocol, nullptr, 0,
                          WSA_FLAG_OVERLAPPED | WSA_FLAG_NO_HANDLE_INHERIT);
    if (m_socket == INVALID_SOCKET) return ErrorFor(WSAGetLastError());
    const BOOL one = TRUE;
    setsockopt(m_socket, IPPROTO_TCP, TCP_NODELAY, reinterpret_cast<const char*>(&one), sizeof one);
    return {};
  }

  // Being watched makes the socket non-blocking, and its connect is then told to the loop.
  int Watch(MessageLoop& loop, short events, MessageLoop::FdCallback on_ready) override {
    return loop.WatchFd(static_cast<MessageLoop::Descriptor>(m_socket), events,
                        std::move(on_ready));
  }

  NetError Connect(const Addresses& addresses, size_t index) override {
    const ADDRINFOW& address = *static_cast<const WinsockAddresses&>(addresses).entries[index];
    if (connect(m_socket, address.ai_addr, static_cast<int>(address.ai_addrlen)) == 0) return {};
    const int error = WSAGetLastError();
    return error == WSAEWOULDBLOCK ? NetError{} : ErrorFor(error);
  }

  std::optional<NetError> Connected() override {
    int error = 0;
    int length = sizeof error;
    getsockopt(m_socket, SOL_SOCKET, SO_ERROR, reinterpret_cast<char*>(&error), &length);
    if (error == 0) {
      sockaddr_storage peer{};
      int peer_length = sizeof peer;
      if (getpeername(m_socket, reinterpret_cast<sockaddr*>(&peer), &peer_length) != 0) {
        error = WSAGetLastError();
        // Not connected yet: its end comes as an event of its own.
        if (error == WSAENOTCONN) return std::nullopt;
      }
    }
    return error == 0 ? NetError{} : ErrorFor(error);
  }

  std::unique_ptr<TlsSession> StartTls(const std::u16string& host) override {
    return std::make_unique<SchannelChannel>(*this, host);
  }

  IoResult Send(const char* data, size_t size, bool) override {
    const int n = send(m_socket, data, static_cast<int>(std::min<size_t>(size, INT_MAX)), 0);
    return n == SOCKET_ERROR ? Unless(WSAGetLastError()) : IoResult::Taken(n);
  }

  IoResult Receive(char* data, size_t size) override {
    const int n = recv(m_socket, data, static_cast<int>(std::min<size_t>(size, INT_MAX)), 0);
    return n == SOCKET_ERROR ? Unless(WSAGetLastError()) : IoResult::Taken(n);
  }

  IoResult SendFile(const FileHandle& file, int64_t offset, int64_t length,
                    std::function<void()> ended) override {
    auto transmission = std::make_unique<Transmission>();
    transmission->piece = std::min(length, WinsockSocket::kTransmitPiece);
    transmission->ended = std::move(ended);
    // The offset travels with the call, so the file's own position does not matter.
    transmission->overlapped.Offset = static_cast<DWORD>(offset);
    transmission->overlapped.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
    transmission->overlapped.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
    if (transmission->overlapped.hEvent == nullptr) {
      return IoResult::Failed(ErrorFor(static_cast<int>(GetLastError())));
    }
    if (!TransmitFile(m_socket, reinterpret_cast<HANDLE>(file.Descriptor()),
                      static_cast<DWORD>(transmission->piece), 0, &transmission->overlapped,
                      nullptr, 0)) {
      const int error = WSAGetLastError();
      if (error != WSA_IO_PENDING) {
        CloseHandle(transmission->overlapped.hEvent);
        return IoResult::Failed(ErrorFor(error));
      }
    }
    m_transmission = std::move(transmission);
    RegisterWaitForSingleObject(&m_transmission->wait, m_transmission->overlapped.hEvent,
                                &Transmission::Ended, m_transmission.get(), INFINITE,
                                WT_EXECUTEONLYONCE);
    return {IoResult::kPending, 0, {}};
  }

  IoResult FileSent() override {
    DWORD sent = 0;
    DWORD flags = 0;
    const BOOL done =
        WSAGetOverlappedResult(m_socket, &m_transmission->overlapped, &sent, FALSE, &flags);
    const int error = done ? 0 : WSAGetLastError();
    const int64_t piece = m_transmission->piece;
    DropFile();
    if (!done) return IoResult::Failed(ErrorFor(error));
    // The file ended before the length the request announced.
    if (static_cast<int64_t>(sent) < piece) return {IoResult::kFileEnded, 0, {}};
    return IoResult::Taken(sent);
  }

  void DropFile() override {
    if (!m_transmission) return;
    Transmission& transmission = *m_transmission;
    if (!HasOverlappedIoCompleted(&transmission.overlapped)) {
      // Its OVERLAPPED must outlive the call: cancel it and see it end.
      CancelIoEx(reinterpret_cast<HANDLE>(m_socket), &transmission.overlapped);
      DWORD sent = 0;
      DWORD flags = 0;
      WSAGetOverlappedResult(m_socket, &transmission.overlapped, &sent, TRUE, &flags);
    }
    // Waits for a call of Ended under way, so nothing reaches the transmission once it has gone.
    if (transmission.wait != nullptr) UnregisterWaitEx(transmission.wait, INVALID_HANDLE_VALUE);
    CloseHandle(transmission.overlapped.hEvent);
    m_transmission.reset();
  }

  void Reset() override {
    const linger reset{1, 0};
    setsockopt(m_socket, SOL_SOCKET, SO_LINGER, reinterpret_cast<const char*>(&reset),
               sizeof reset);
  }

  void Close() override {
    DropFile();
    if (m_socket != INVALID_SOCKET) closesocket(m_socket);
    m_socket = INVALID_SOCKET;
  }

 private:
  SOCKET m_socket = INVALID_SOCKET;
  std::unique_ptr<Transmission> m_transmission;
};

}  // namespace

void OtherSocketError(int system, int32_t& number, std::u16string& description) {
  number = system;
  description = u"套接字错误：" + SystemText(system);
}

WinsockSocket::WinsockSocket(MessageLoop& loop)
    : QueuedSocket(loop, std::make_unique<WinsockSystem>(), &Resolve) {}

}  // namespace velmaris
