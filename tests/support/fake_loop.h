// A message loop on fake time: a wait jumps the clock straight to the next timer or scheduled
// event, so a 300-tick limit passes in microseconds and every branch runs the same way each time.
// A callback posted from another thread is taken at the fake time the loop has reached; a wait
// with nothing else that could end it waits for one, in real time.
#pragma once

#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>
#include <vector>

#include "platform/message_loop.h"

namespace velmaris::testing {

class FakeLoop : public MessageLoop {
 public:
  void Pump() override;
  void WaitForEvent() override;
  void RunFor(std::chrono::milliseconds duration) override;
  Clock::time_point Now() const override { return m_now; }

  int AddTimer(std::chrono::milliseconds interval, Callback on_tick) override;
  void RemoveTimer(int id) override;
  int WatchFd(Descriptor, short, FdCallback) override;
  void SetFdEvents(int, short) override {}
  void UnwatchFd(int) override {}
  void Post(Callback callback) override;

  // Runs `callback` once the fake clock reaches `when` (or `after` from now).
  void At(Clock::time_point when, Callback callback);
  void After(std::chrono::milliseconds after, Callback callback) {
    At(m_now + after, std::move(callback));
  }

  // Milliseconds of fake time since the loop was made.
  int64_t ElapsedMs() const;
  int ActiveTimers() const { return static_cast<int>(m_timers.size()); }
  int Waits() const { return m_waits; }
  int Pumps() const { return m_pumps; }

 private:
  struct TimerEntry {
    std::chrono::milliseconds interval;
    Clock::time_point due;
    Callback on_tick;
  };
  // Handles everything due now; returns how many.
  int RunDue();
  // Schedules what other threads posted for now.
  void TakePosted();

  Clock::time_point m_start{};
  Clock::time_point m_now{};
  int m_next_id = 1;
  std::map<int, TimerEntry> m_timers;
  std::multimap<Clock::time_point, Callback> m_events;
  int m_waits = 0;
  int m_pumps = 0;
  const std::thread::id m_thread = std::this_thread::get_id();
  std::mutex m_posted_mutex;
  std::condition_variable m_posted_ready;
  std::vector<Callback> m_posted;
};

}  // namespace velmaris::testing
