// The message loop on Qt's event loop, for when forms are on screen: timers, descriptors and
// posted callbacks become Qt timers, socket notifiers and queued calls, so one loop serves the
// sockets and the windows, in a wait inside a handler as much as between handlers.
#pragma once

#include <map>
#include <memory>

#include "platform/message_loop.h"

class QApplication;
class QSocketNotifier;

namespace velmaris {

class QtLoop : public MessageLoop {
 public:
  // Uses the process's QApplication, making one when there is none.
  QtLoop();
  ~QtLoop() override;
  QtLoop(const QtLoop&) = delete;
  QtLoop& operator=(const QtLoop&) = delete;

  void Pump() override;
  // Sleeps in Qt's event loop until one of this loop's timers, descriptors or posted callbacks,
  // or a user's input to any window, was handled. Window-system traffic that is not input (paint,
  // expose, a cursor blinking) wakes the loop but does not end the wait.
  void WaitForEvent() override;
  void RunFor(std::chrono::milliseconds duration) override;
  Clock::time_point Now() const override { return Clock::now(); }

  int AddTimer(std::chrono::milliseconds interval, Callback on_tick) override;
  void RemoveTimer(int id) override;
  int WatchFd(Descriptor fd, short events, FdCallback on_ready) override;
  void SetFdEvents(int id, short events) override;
  void UnwatchFd(int id) override;
  void Post(Callback callback) override;

 private:
  class Hub;
  struct TimerEntry {
    int qt_id;
    std::shared_ptr<Callback> on_tick;
  };
  struct Watch {
    int fd;
    short events;
    std::shared_ptr<FdCallback> on_ready;
    std::unique_ptr<QSocketNotifier> read;
    std::unique_ptr<QSocketNotifier> write;
    // Activations of this watch's notifiers on the stack: a notifier is not deleted under them.
    std::shared_ptr<int> active;
  };

  void OnTimer(int qt_id);
  void OnNotifier(int id, short direction);
  void Retire(Watch watch);
  // One pass of Qt's event loop that may sleep until something arrives.
  void WaitOnce();

  std::unique_ptr<QApplication> m_application;  // only when made here; outlives the rest
  std::unique_ptr<Hub> m_hub;
  int m_next_id = 1;
  std::map<int, TimerEntry> m_timers;
  std::map<int, int> m_timer_by_qt_id;
  std::map<int, Watch> m_watches;
  // Counts every event a wait may end on; WaitForEvent ends when it moved.
  uint64_t m_handled = 0;

  friend class Hub;
};

}  // namespace velmaris
