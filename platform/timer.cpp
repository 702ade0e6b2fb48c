#include "platform/timer.h"

namespace velmaris {

Timer::Timer(MessageLoop& loop, std::chrono::milliseconds interval, std::function<void()> on_tick)
    : m_loop(loop), m_interval(interval), m_on_tick(std::move(on_tick)) {}

Timer::~Timer() {
  SetEnabled(false);
}

void Timer::SetEnabled(bool enabled) {
  if (enabled && m_id == 0) {
    m_id = m_loop.AddTimer(m_interval, [this] { m_on_tick(); });
  } else if (!enabled && m_id != 0) {
    m_loop.RemoveTimer(m_id);
    m_id = 0;
  }
}

}  // namespace velmaris
