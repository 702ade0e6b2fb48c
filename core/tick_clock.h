// The transfer's clock: ticks of a 100-millisecond timer, counted against named deadlines. 6 to
// connect, over HTTPS 100 more for the TLS handshake once TCP is connected, 300 of silence for the
// reply, 6 to close a connection.
//
// The loop's timer runs only while something reads the count: one of the waits, or a reply on its
// way that a later wait will time. An idle control costs the loop nothing.
#pragma once

#include <cstdint>
#include <functional>

#include "platform/message_loop.h"
#include "platform/timer.h"

namespace velmaris {

inline constexpr int16_t kCloseTicks = 6;
inline constexpr int16_t kConnectTicks = 6;
// The TLS handshake's own limit, counted once TCP is connected: 10 seconds, as browsers allow a
// server that is far away or busy.
inline constexpr int16_t kHandshakeTicks = 100;
inline constexpr int16_t kReplyTicks = 300;

// What a wait is for; its limit is one of the above, the reply's counted from the send.
enum class Deadline { kConnect, kHandshake, kReply, kClose };

class TickClock {
 public:
  explicit TickClock(MessageLoop& loop);
  TickClock(const TickClock&) = delete;
  TickClock& operator=(const TickClock&) = delete;

  // Yields to the loop while `keep_waiting` holds and `deadline` has not passed. Every wait but
  // the reply's counts from 0 as it begins; the reply's count began when the request went out.
  void Wait(Deadline deadline, const std::function<bool()>& keep_waiting);

  // A request went out: its reply's silence counts from now, with or without a wait under way.
  void ExpectReply();
  // No reply is counted any more: the wait for it gave up, or a new request is on its way.
  void ForgetReply();
  bool ExpectingReply() const { return m_awaiting_reply; }
  // The server took more of the package: its silence starts again.
  void Heard() { m_ticks = 0; }
  // Nothing is counted until a wait or a request starts the clock again.
  void Stop();

  int16_t Ticks() const { return m_ticks; }

 private:
  // A count from 0, the timer left to what needs it.
  void Restart();
  void OnTick();
  void Update();

  MessageLoop& m_loop;
  Timer m_timer;
  int16_t m_ticks = 0;
  bool m_running = true;
  bool m_awaiting_reply = false;
  // How many waits are on the stack.
  int m_waits = 0;
};

}  // namespace velmaris
