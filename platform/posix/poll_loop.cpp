#include "platform/posix/poll_loop.h"

#include <poll.h>
#include <sys/eventfd.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <system_error>

namespace velmaris {

PollLoop::PollLoop() : m_wake_fd(eventfd(0, EFD_NONBLOCK | EFD_CLOEXEC)) {
  if (m_wake_fd < 0) throw std::system_error(errno, std::generic_category(), "eventfd");
}

PollLoop::~PollLoop() {
  close(m_wake_fd);
}

void PollLoop::Pump() {
  DispatchOnce(0);
}

void PollLoop::WaitForEvent() {
  while (DispatchOnce(MillisToNextTimer()) == 0) {
  }
}

void PollLoop::RunFor(std::chrono::milliseconds duration) {
  const auto deadline = Clock::now() + duration;
  for (;;) {
    auto now = Clock::now();
    if (now >= deadline) break;
    auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now).count();
    int next = MillisToNextTimer();
    int timeout = next < 0 ? static_cast<int>(left) : std::min(next, static_cast<int>(left));
    DispatchOnce(timeout);
  }
  Pump();
}

int PollLoop::AddTimer(std::chrono::milliseconds interval, Callback on_tick) {
  int id = m_next_id++;
  const auto due = Clock::now() + interval;
  m_timers[id] = {interval, due, std::make_shared<Callback>(std::move(on_tick))};
  m_due.push({due, id});
  return id;
}

void PollLoop::RemoveTimer(int id) {
  m_timers.erase(id);
}

int PollLoop::WatchFd(Descriptor fd, short events, FdCallback on_ready) {
  int id = m_next_id++;
  m_watches[id] = {static_cast<int>(fd), events, std::make_shared<FdCallback>(std::move(on_ready))};
  return id;
}

void PollLoop::SetFdEvents(int id, short events) {
  auto it = m_watches.find(id);
  if (it != m_watches.end()) it->second.events = events;
}

void PollLoop::UnwatchFd(int id) {
  m_watches.erase(id);
}

void PollLoop::Post(Callback callback) {
  {
    std::lock_guard<std::mutex> lock(m_posted_mutex);
    m_posted.push_back(std::move(callback));
  }
  uint64_t one = 1;
  [[maybe_unused]] auto n = write(m_wake_fd, &one, sizeof one);
}

void PollLoop::DropStaleDue() {
  while (!m_due.empty()) {
    auto it = m_timers.find(m_due.top().id);
    if (it != m_timers.end() && it->second.due == m_due.top().due) return;
    m_due.pop();
  }
}

int PollLoop::MillisToNextTimer() {
  DropStaleDue();
  if (m_due.empty()) return -1;
  auto left = std::chrono::ceil<std::chrono::milliseconds>(m_due.top().due - Clock::now()).count();
  return static_cast<int>(std::max<int64_t>(0, left));
}

int PollLoop::DispatchOnce(int timeout_ms) {
  std::vector<pollfd> fds;
  std::vector<int> ids;
  fds.push_back({m_wake_fd, POLLIN, 0});
  ids.push_back(0);
  for (const auto& [id, watch] : m_watches) {
    short events = 0;
    if (watch.events & kReadable) events |= POLLIN;
    if (watch.events & kWritable) events |= POLLOUT;
    if (events == 0) continue;
    fds.push_back({watch.fd, events, 0});
    ids.push_back(id);
  }
  int ready = poll(fds.data(), fds.size(), timeout_ms);
  if (ready < 0 && errno != EINTR) throw std::system_error(errno, std::generic_category(), "poll");

  int handled = 0;
  if (ready > 0) {
    if (fds[0].revents & POLLIN) {
      uint64_t count;
      [[maybe_unused]] auto n = read(m_wake_fd, &count, sizeof count);
    }
    for (size_t i = 1; i < fds.size(); ++i) {
      if (fds[i].revents == 0) continue;
      // A handler may have removed this watch, or a nested wait may have served it already.
      auto it = m_watches.find(ids[i]);
      if (it == m_watches.end()) continue;
      short mask = 0;
      if (fds[i].revents & (POLLIN | POLLERR | POLLHUP)) mask |= kReadable;
      if (fds[i].revents & (POLLOUT | POLLERR | POLLHUP)) mask |= kWritable;
      mask &= it->second.events | ((fds[i].revents & (POLLERR | POLLHUP)) ? 3 : 0);
      if (mask == 0) continue;
      auto callback = it->second.on_ready;
      (*callback)(mask);
      ++handled;
    }
  }
  handled += RunDueTimers();
  handled += RunPosted();
  return handled;
}

int PollLoop::RunDueTimers() {
  // Every timer due now ticks once, in the order they fell due. The next tick of each is
  // scheduled only once all are taken off the queue, so a timer whose next tick is due at once
  // (a zero interval, or one far behind) waits for the next pass instead of ticking for ever.
  const auto now = Clock::now();
  std::vector<int> due;
  for (DropStaleDue(); !m_due.empty() && m_due.top().due <= now; DropStaleDue()) {
    due.push_back(m_due.top().id);
    m_due.pop();
  }
  for (int id : due) {
    TimerEntry& timer = m_timers.at(id);
    timer.due += timer.interval;
    if (timer.due <= now) timer.due = now + timer.interval;
    m_due.push({timer.due, id});
  }
  int handled = 0;
  for (int id : due) {
    auto it = m_timers.find(id);
    if (it == m_timers.end()) continue;
    auto callback = it->second.on_tick;
    (*callback)();
    ++handled;
  }
  return handled;
}

int PollLoop::RunPosted() {
  std::vector<Callback> posted;
  {
    std::lock_guard<std::mutex> lock(m_posted_mutex);
    posted.swap(m_posted);
  }
  for (auto& callback : posted) callback();
  return static_cast<int>(posted.size());
}

}  // namespace velmaris
