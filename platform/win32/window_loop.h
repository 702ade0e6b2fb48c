// The message loop on the thread's own Windows message queue: a hidden message-only window gets
// the timers (window timers), the sockets' events (WSAAsyncSelect) and the callbacks posted from
// other threads. A wait sleeps in GetMessageW until something happens, so it costs no CPU, and the
// host's own windows and dialogs go on meanwhile.
#pragma once

// It brings <windows.h> with it.
#include <winsock2.h>

#include <atomic>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <unordered_map>
#include <vector>

#include "platform/message_loop.h"

namespace velmaris {

class WindowLoop : public MessageLoop {
 public:
  // The window belongs to the calling thread, which alone may use the loop (Post excepted).
  WindowLoop();
  ~WindowLoop() override;
  WindowLoop(const WindowLoop&) = delete;
  WindowLoop& operator=(const WindowLoop&) = delete;

  void Pump() override;
  void WaitForEvent() override;
  void RunFor(std::chrono::milliseconds duration) override;
  Clock::time_point Now() const override { return Clock::now(); }

  int AddTimer(std::chrono::milliseconds interval, Callback on_tick) override;
  void RemoveTimer(int id) override;
  // `fd` is a SOCKET, whole.
  int WatchFd(Descriptor fd, short events, FdCallback on_ready) override;
  void SetFdEvents(int id, short events) override;
  void UnwatchFd(int id) override;
  void Post(Callback callback) override;

  HWND Window() const { return m_window; }

  // Sees every message before it is dispatched (the forms' keyboard); true when it handled the
  // message, which is then not dispatched.
  std::function<bool(MSG& message)> before_dispatch;

 private:
  struct Watch {
    SOCKET handle;
    UINT message;  // the watch's own message number, so a late event of a gone watch is dropped
    short events;
    short pending = 0;  // ready events not delivered yet (Winsock tells each only once)
    bool hung_up = false;
    std::shared_ptr<FdCallback> on_ready;
  };

  static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wparam, LPARAM lparam);
  // Handles one of the window's messages; false for one that is not ours.
  bool Handle(UINT message, WPARAM wparam, LPARAM lparam);
  void OnSocketEvent(int id, LPARAM lparam);
  // Calls the watch back with what it waits for and is ready.
  void Deliver(int id);
  void RunPosted();
  // Takes one message off the queue and dispatches it. The thread's WM_QUIT is kept for the
  // host's own loop, put back when the outermost wait is done.
  void Dispatch(const MSG& msg);
  void PutBackQuit();
  UINT NextWatchMessage();

  HWND m_window = nullptr;
  int m_next_id = 1;
  // Events of ours handled so far (timers, sockets, posted callbacks, input to any window): a
  // wait is over once this moved.
  uint64_t m_handled = 0;
  int m_depth = 0;
  bool m_quit = false;
  WPARAM m_quit_code = 0;
  std::unordered_map<int, std::shared_ptr<Callback>> m_timers;
  std::map<int, Watch> m_watches;
  std::unordered_map<UINT, int> m_watch_by_message;
  UINT m_next_watch_message = 0;
  std::mutex m_posted_mutex;
  std::vector<Callback> m_posted;
  std::atomic<bool> m_post_signalled{false};
};

}  // namespace velmaris
