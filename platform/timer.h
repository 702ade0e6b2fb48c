// A timer control: ticks on the loop every interval while enabled.
#pragma once

#include <chrono>
#include <functional>

#include "platform/message_loop.h"

namespace velmaris {

class Timer {
 public:
  Timer(MessageLoop& loop, std::chrono::milliseconds interval, std::function<void()> on_tick);
  ~Timer();
  Timer(const Timer&) = delete;
  Timer& operator=(const Timer&) = delete;

  // Enabling a disabled timer starts a fresh interval; enabling an enabled one changes nothing.
  void SetEnabled(bool enabled);
  bool Enabled() const { return m_id != 0; }

 private:
  MessageLoop& m_loop;
  std::chrono::milliseconds m_interval;
  std::function<void()> m_on_tick;
  int m_id = 0;
};

}  // namespace velmaris
