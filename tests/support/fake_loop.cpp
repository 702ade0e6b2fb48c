#include "tests/support/fake_loop.h"

#include <stdexcept>

namespace velmaris::testing {

int64_t FakeLoop::ElapsedMs() const {
  return std::chrono::duration_cast<std::chrono::milliseconds>(m_now - m_start).count();
}

int FakeLoop::AddTimer(std::chrono::milliseconds interval, Callback on_tick) {
  int id = m_next_id++;
  m_timers[id] = {interval, m_now + interval, std::move(on_tick)};
  return id;
}

void FakeLoop::RemoveTimer(int id) {
  m_timers.erase(id);
}

int FakeLoop::WatchFd(Descriptor, short, FdCallback) {
  throw std::logic_error("the fake loop watches no descriptors");
}

void FakeLoop::Post(Callback callback) {
  if (std::this_thread::get_id() == m_thread) {
    At(m_now, std::move(callback));
    return;
  }
  const std::lock_guard<std::mutex> lock(m_posted_mutex);
  m_posted.push_back(std::move(callback));
  m_posted_ready.notify_one();
}

void FakeLoop::TakePosted() {
  const std::lock_guard<std::mutex> lock(m_posted_mutex);
  for (auto& callback : m_posted) At(m_now, std::move(callback));
  m_posted.clear();
}

void FakeLoop::At(Clock::time_point when, Callback callback) {
  m_events.emplace(when, std::move(callback));
}

int FakeLoop::RunDue() {
  int handled = 0;
  for (;;) {
    TakePosted();
    auto event = m_events.begin();
    if (event != m_events.end() && event->first <= m_now) {
      auto callback = std::move(event->second);
      m_events.erase(event);
      callback();
      ++handled;
      continue;
    }
    bool fired = false;
    for (auto& [id, timer] : m_timers) {
      if (timer.due <= m_now) {
        timer.due += timer.interval;
        auto callback = timer.on_tick;  // the tick may remove the timer
        callback();
        ++handled;
        fired = true;
        break;
      }
    }
    if (!fired) return handled;
  }
}

void FakeLoop::Pump() {
  ++m_pumps;
  RunDue();
}

void FakeLoop::WaitForEvent() {
  ++m_waits;
  while (RunDue() == 0) {
    auto next = Clock::time_point::max();
    if (!m_events.empty()) next = m_events.begin()->first;
    for (const auto& [id, timer] : m_timers) next = std::min(next, timer.due);
    if (next == Clock::time_point::max()) {
      // Only another thread can end it now: ten seconds for its post.
      std::unique_lock<std::mutex> lock(m_posted_mutex);
      if (!m_posted_ready.wait_for(lock, std::chrono::seconds(10),
                                   [this] { return !m_posted.empty(); })) {
        throw std::logic_error("a wait with nothing that could ever end it");
      }
      continue;
    }
    m_now = next;
  }
}

void FakeLoop::RunFor(std::chrono::milliseconds duration) {
  auto end = m_now + duration;
  for (;;) {
    RunDue();
    auto next = end;
    if (!m_events.empty()) next = std::min(next, m_events.begin()->first);
    for (const auto& [id, timer] : m_timers) next = std::min(next, timer.due);
    if (next >= end) break;
    m_now = next;
  }
  m_now = end;
  RunDue();
}

}  // namespace velmaris::testing
