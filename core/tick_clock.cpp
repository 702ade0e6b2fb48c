#include "core/tick_clock.h"

#include <chrono>

#include "base/scope.h"

namespace velmaris {

namespace {

// Each deadline's limit, in the order Deadline names them.
constexpr int16_t kLimits[] = {kConnectTicks, kHandshakeTicks, kReplyTicks, kCloseTicks};

}  // namespace

TickClock::TickClock(MessageLoop& loop)
    : m_loop(loop), m_timer(loop, std::chrono::milliseconds(100), [this] { OnTick(); }) {}

void TickClock::Wait(Deadline deadline, const std::function<bool()>& keep_waiting) {
  if (deadline != Deadline::kReply) Restart();
  const int16_t limit = kLimits[static_cast<int>(deadline)];
  ++m_waits;
  Update();
  ScopeExit stop_counting([this] {
    --m_waits;
    Update();
  });
  while (keep_waiting() && m_ticks < limit) m_loop.WaitForEvent();
}

void TickClock::ExpectReply() {
  m_awaiting_reply = true;
  Restart();
}

void TickClock::ForgetReply() {
  m_awaiting_reply = false;
  Update();
}

void TickClock::Restart() {
  m_ticks = 0;
  m_running = true;
  Update();
}

void TickClock::Stop() {
  m_ticks = 0;
  m_running = false;
  Update();
}

void TickClock::OnTick() {
  if (m_ticks < INT16_MAX) ++m_ticks;
}

// Enabling a running timer changes nothing, so a wait inside the reply's count goes on with its
// interval; a timer that starts begins a fresh one.
void TickClock::Update() {
  m_timer.SetEnabled(m_running && (m_waits > 0 || m_awaiting_reply));
}

}  // namespace velmaris
