#include "platform/win32/window_loop.h"

#include "platform/win32/window_class.h"

#include <algorithm>
#include <stdexcept>

namespace velmaris {

namespace {

constexpr wchar_t kClassName[] = L"VelmarisMessageLoop";
// Posted callbacks are waiting; a watch has events waiting that Winsock will not tell again.
constexpr UINT kPostedMessage = WM_APP + 1;
constexpr UINT kDeliverMessage = WM_APP + 2;
// Each socket watch gets a message number of its own from this range, in turn.
constexpr UINT kFirstWatchMessage = WM_APP + 16;
constexpr UINT kLastWatchMessage = 0xBFFF;
// The most messages one Pump dispatches: a callback that posts itself again cannot keep it.
constexpr int kPumpLimit = 256;

// The class lives while a loop does; registered with its procedure at the first use.
WindowClass& LoopClass(WNDPROC procedure = nullptr) {
  static WindowClass window_class(kClassName, procedure, false);
  return window_class;
}

bool IsInput(UINT message) {
  return (message >= WM_KEYFIRST && message <= WM_KEYLAST) ||
         (message >= WM_MOUSEFIRST && message <= WM_MOUSELAST);
}

}  // namespace

WindowLoop::WindowLoop() {
  if (!LoopClass(&Procedure).Use()) throw std::runtime_error("RegisterClassExW failed");
  m_window =
      CreateWindowExW(0, kClassName, L"", 0, 0, 0, 0, 0, HWND_MESSAGE, nullptr, OwnModule(), this);
  if (m_window == nullptr) {
    LoopClass().Drop();
    throw std::runtime_error("CreateWindowExW failed");
  }
}

WindowLoop::~WindowLoop() {
  for (const auto& [id, watch] : m_watches) WSAAsyncSelect(watch.handle, m_window, 0, 0);
  DestroyWindow(m_window);
  LoopClass().Drop();
}

LRESULT CALLBACK WindowLoop::Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam) {
  if (message == WM_NCCREATE) {
    const auto* create = reinterpret_cast<const CREATESTRUCTW*>(lparam);
    SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(create->lpCreateParams));
  }
  auto* loop = reinterpret_cast<WindowLoop*>(GetWindowLongPtrW(window, GWLP_USERDATA));
  if (loop != nullptr && loop->Handle(message, wparam, lparam)) return 0;
  return DefWindowProcW(window, message, wparam, lparam);
}

bool WindowLoop::Handle(UINT message, WPARAM wparam, LPARAM lparam) {
  switch (message) {
    case WM_TIMER: {
      auto it = m_timers.find(static_cast<int>(wparam));
      if (it == m_timers.end()) return true;
      auto callback = it->second;
      ++m_handled;
      (*callback)();
      return true;
    }
    case kPostedMessage:
      RunPosted();
      return true;
    case kDeliverMessage:
      Deliver(static_cast<int>(wparam));
      return true;
  }
  if (message >= kFirstWatchMessage && message <= kLastWatchMessage) {
    auto it = m_watch_by_message.find(message);
    if (it != m_watch_by_message.end() &&
        m_watches.at(it->second).handle == static_cast<SOCKET>(wparam)) {
      OnSocketEvent(it->second, lparam);
    }
    return true;
  }
  return false;
}

void WindowLoop::Dispatch(const MSG& msg) {
  if (IsInput(msg.message)) ++m_handled;
  MSG copy = msg;
  if (before_dispatch && before_dispatch(copy)) return;
  TranslateMessage(&msg);
  DispatchMessageW(&msg);
}

void WindowLoop::PutBackQuit() {
  if (m_depth == 0 && m_quit) {
    m_quit = false;
    PostQuitMessage(static_cast<int>(m_quit_code));
  }
}

void WindowLoop::Pump() {
  ++m_depth;
  MSG msg;
  for (int n = 0; n < kPumpLimit && PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE); ++n) {
    if (msg.message == WM_QUIT) {
      m_quit = true, m_quit_code = msg.wParam;
      break;
    }
    Dispatch(msg);
  }
  --m_depth;
  PutBackQuit();
}

void WindowLoop::WaitForEvent() {
  ++m_depth;
  const uint64_t before = m_handled;
  MSG msg;
  while (m_handled == before) {
    // Sleeps until a message comes; a WM_QUIT is kept aside and the wait goes on for ours.
    const BOOL got = GetMessageW(&msg, nullptr, 0, 0);
    if (got == -1) break;
    if (got == 0) {
      m_quit = true, m_quit_code = msg.wParam;
      continue;
    }
    Dispatch(msg);
  }
  --m_depth;
  PutBackQuit();
}

void WindowLoop::RunFor(std::chrono::milliseconds duration) {
  const auto deadline = Clock::now() + duration;
  for (;;) {
    const auto now = Clock::now();
    if (now >= deadline) break;
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
    const DWORD woke = MsgWaitForMultipleObjectsEx(0, nullptr, static_cast<DWORD>(left),
                                                   QS_ALLINPUT, MWMO_INPUTAVAILABLE);
    if (woke == WAIT_TIMEOUT) break;
    Pump();
  }
  Pump();
}

int WindowLoop::AddTimer(std::chrono::milliseconds interval, Callback on_tick) {
  const int id = m_next_id++;
  // A window timer's shortest interval is USER_TIMER_MINIMUM; shorter ones are raised to it.
  const auto count = std::clamp<int64_t>(interval.count(), 0, USER_TIMER_MAXIMUM);
  if (SetTimer(m_window, static_cast<UINT_PTR>(id), static_cast<UINT>(count), nullptr) == 0) {
    throw std::runtime_error("SetTimer failed");
  }
  m_timers[id] = std::make_shared<Callback>(std::move(on_tick));
  return id;
}

void WindowLoop::RemoveTimer(int id) {
  if (m_timers.erase(id) != 0) KillTimer(m_window, static_cast<UINT_PTR>(id));
}

UINT WindowLoop::NextWatchMessage() {
  const UINT span = kLastWatchMessage - kFirstWatchMessage + 1;
  for (UINT tried = 0; tried < span; ++tried) {
    const UINT message = kFirstWatchMessage + m_next_watch_message;
    m_next_watch_message = (m_next_watch_message + 1) % span;
    if (m_watch_by_message.count(message) == 0) return message;
  }
  throw std::runtime_error("too many sockets watched");
}

int WindowLoop::WatchFd(Descriptor fd, short events, FdCallback on_ready) {
  const int id = m_next_id++;
  const UINT message = NextWatchMessage();
  const auto socket = static_cast<SOCKET>(fd);
  m_watches.emplace(id, Watch{socket, message, events, 0, false,
                              std::make_shared<FdCallback>(std::move(on_ready))});
  m_watch_by_message[message] = id;
  // Winsock posts at once what is already true (a connected socket is writable, data waits).
  WSAAsyncSelect(socket, m_window, message, FD_READ | FD_WRITE | FD_CONNECT | FD_CLOSE);
  return id;
}

void WindowLoop::SetFdEvents(int id, short events) {
  auto it = m_watches.find(id);
  if (it == m_watches.end()) return;
  Watch& watch = it->second;
  // Winsock tells writability only after a send would have blocked: a writer that starts again
  // is called at once, and finds out for itself.
  if ((events & ~watch.events & kWritable) != 0) watch.pending |= kWritable;
  watch.events = events;
  if ((watch.pending & events) != 0 || (watch.hung_up && events != 0)) {
    PostMessageW(m_window, kDeliverMessage, static_cast<WPARAM>(id), 0);
  }
}

void WindowLoop::UnwatchFd(int id) {
  auto it = m_watches.find(id);
  if (it == m_watches.end()) return;
  WSAAsyncSelect(it->second.handle, m_window, 0, 0);
  // Events already queued for it go with it.
  const UINT message = it->second.message;
  MSG late;
  while (PeekMessageW(&late, m_window, message, message, PM_REMOVE)) {
  }
  m_watch_by_message.erase(message);
  m_watches.erase(it);
}

void WindowLoop::OnSocketEvent(int id, LPARAM lparam) {
  Watch& watch = m_watches.at(id);
  const WORD event = WSAGETSELECTEVENT(lparam);
  const WORD error = WSAGETSELECTERROR(lparam);
  // As poll(2) reports them: data or the peer's end readable, room writable, an error or a
  // hang-up both.
  if (error != 0 || event == FD_CLOSE) {
    watch.hung_up = true;
    watch.pending |= kReadable | kWritable;
  } else if (event == FD_READ) {
    watch.pending |= kReadable;
  } else if (event == FD_WRITE || event == FD_CONNECT) {
    watch.pending |= kWritable;
  }
  Deliver(id);
}

void WindowLoop::Deliver(int id) {
  auto it = m_watches.find(id);
  if (it == m_watches.end() || it->second.events == 0) return;
  Watch& watch = it->second;
  const short mask =
      static_cast<short>(watch.pending & (watch.hung_up ? kReadable | kWritable : watch.events));
  if (mask == 0) return;
  watch.pending = static_cast<short>(watch.pending & ~mask);
  auto callback = watch.on_ready;
  ++m_handled;
  (*callback)(mask);
}

void WindowLoop::Post(Callback callback) {
  {
    std::lock_guard<std::mutex> lock(m_posted_mutex);
    m_posted.push_back(std::move(callback));
  }
  // One message stands for everything queued until it is handled.
  if (!m_post_signalled.exchange(true) && !PostMessageW(m_window, kPostedMessage, 0, 0)) {
    // A full queue: the next Post tries again.
    m_post_signalled = false;
  }
}

void WindowLoop::RunPosted() {
  std::vector<Callback> posted;
  {
    std::lock_guard<std::mutex> lock(m_posted_mutex);
    m_post_signalled = false;
    posted.swap(m_posted);
  }
  m_handled += posted.size();
  for (auto& callback : posted) callback();
}

}  // namespace velmaris
