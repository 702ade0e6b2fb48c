// The host's message loop, as the controls see it. Every wait in the system is a loop that calls
// WaitForEvent(); a yield made outside a wait is Pump().
#pragma once

#include <chrono>
#include <cstdint>
#include <functional>

namespace velmaris {

class MessageLoop {
 public:
  using Clock = std::chrono::steady_clock;
  using Callback = std::function<void()>;
  using FdCallback = std::function<void(short revents)>;
  enum FdEvents : short { kReadable = 1, kWritable = 2 };

  virtual ~MessageLoop() = default;

  // Handles whatever is pending and returns without blocking.
  virtual void Pump() = 0;
  // Blocks until at least one event (timer, descriptor, posted callback, UI input) was handled.
  virtual void WaitForEvent() = 0;
  // Runs the loop until `duration` has passed.
  virtual void RunFor(std::chrono::milliseconds duration) = 0;
  virtual Clock::time_point Now() const = 0;

  // A repeating timer whose first tick comes one interval from now. Returns its id.
  virtual int AddTimer(std::chrono::milliseconds interval, Callback on_tick) = 0;
  virtual void RemoveTimer(int id) = 0;

  // A descriptor as its system has it, whole: a POSIX file descriptor or a Windows SOCKET.
  using Descriptor = std::intptr_t;

  // Watches a descriptor; `events` is a mask of FdEvents. The callback gets the ready mask
  // (kReadable, kWritable, or both; errors and hang-ups are reported as readable and writable).
  virtual int WatchFd(Descriptor fd, short events, FdCallback on_ready) = 0;
  virtual void SetFdEvents(int id, short events) = 0;
  virtual void UnwatchFd(int id) = 0;

  // Runs `callback` on the loop's thread inside a later Pump or WaitForEvent. Safe to call from
  // any thread.
  virtual void Post(Callback callback) = 0;
};

}  // namespace velmaris
