// The message loop on poll(2): timers, descriptors and callbacks posted from other threads. A wait
// sleeps in poll until something happens, so it costs no CPU.
#pragma once

#include <map>
#include <memory>
#include <mutex>
#include <queue>
#include <unordered_map>
#include <vector>

#include "platform/message_loop.h"

namespace velmaris {

class PollLoop : public MessageLoop {
 public:
  PollLoop();
  ~PollLoop() override;
  PollLoop(const PollLoop&) = delete;
  PollLoop& operator=(const PollLoop&) = delete;

  void Pump() override;
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
  struct TimerEntry {
    std::chrono::milliseconds interval;
    Clock::time_point due;
    std::shared_ptr<Callback> on_tick;
  };
  // When a timer is due next. Entries of removed or rescheduled timers stay until they come up
  // and are then dropped, so adding, removing and finding the next timer cost O(log n) whatever
  // the number of timers.
  struct Due {
    Clock::time_point due;
    int id;
    bool operator>(const Due& other) const {
      return due != other.due ? due > other.due : id > other.id;
    }
  };
  struct Watch {
    int fd;
    short events;
    std::shared_ptr<FdCallback> on_ready;
  };

  // Polls once with the given timeout (negative: until something happens) and handles what is
  // ready. Returns how many events were handled.
  int DispatchOnce(int timeout_ms);
  int RunDueTimers();
  int RunPosted();
  // Milliseconds until the next timer is due, -1 when there is none.
  int MillisToNextTimer();
  // Drops queue entries that no longer stand for a timer's due time.
  void DropStaleDue();

  int m_next_id = 1;
  std::unordered_map<int, TimerEntry> m_timers;
  std::priority_queue<Due, std::vector<Due>, std::greater<Due>> m_due;
  std::map<int, Watch> m_watches;
  int m_wake_fd = -1;
  std::mutex m_posted_mutex;
  std::vector<Callback> m_posted;
};

}  // namespace velmaris
