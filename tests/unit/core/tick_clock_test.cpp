#include "core/tick_clock.h"

#include <gtest/gtest.h>

#include "tests/support/fake_loop.h"

namespace velmaris {
namespace {

using namespace std::chrono_literals;

// Each deadline ends its wait after its own count of 100 ms ticks; the reply's silence starts
// again whenever the server is heard, and no timer stays on the loop once nothing reads the count.
TEST(TickClockTest, DeadlinesEndTheirWaitsAndLeaveNoTimer) {
  struct Row {
    Deadline deadline;
    int64_t heard_at_ms;  // when the server takes more, 0 for never
    int64_t ends_at_ms;
  };
  const Row rows[] = {
      {Deadline::kConnect, 0, 600},
      {Deadline::kHandshake, 0, 10000},
      {Deadline::kClose, 0, 600},
      {Deadline::kReply, 0, 30000},
      {Deadline::kReply, 2550, 2500 + 30000},
  };
  for (const Row& row : rows) {
    SCOPED_TRACE(static_cast<int>(row.deadline));
    testing::FakeLoop loop;
    TickClock clock(loop);
    if (row.deadline == Deadline::kReply) clock.ExpectReply();
    if (row.heard_at_ms != 0)
      loop.After(std::chrono::milliseconds(row.heard_at_ms), [&] { clock.Heard(); });
    clock.Wait(row.deadline, [] { return true; });
    EXPECT_EQ(loop.ElapsedMs(), row.ends_at_ms);
    clock.ForgetReply();
    EXPECT_EQ(loop.ActiveTimers(), 0);
  }
}

}  // namespace
}  // namespace velmaris
