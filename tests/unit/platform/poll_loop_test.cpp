#include "platform/posix/poll_loop.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <functional>
#include <memory>
#include <thread>

#include "platform/timer.h"
#include "tests/support/fake_loop.h"

namespace velmaris {
namespace {

TEST(PollLoopTest, TimerTicksWhileEnabledOnly) {
  PollLoop loop;
  int ticks = 0;
  Timer timer(loop, std::chrono::milliseconds(10), [&] { ++ticks; });
  loop.RunFor(std::chrono::milliseconds(35));
  EXPECT_EQ(ticks, 0);
  timer.SetEnabled(true);
  while (ticks < 3) loop.WaitForEvent();
  timer.SetEnabled(false);
  loop.RunFor(std::chrono::milliseconds(30));
  EXPECT_EQ(ticks, 3);
}

// Timers tick in the order they fall due, one removed by an earlier handler does not tick, and
// one with no interval ticks once a pass without holding the loop.
TEST(PollLoopTest, TimersTickInDueOrderAndRemovalHolds) {
  PollLoop loop;
  std::string order;
  int zero_ticks = 0;
  Timer zero(loop, std::chrono::milliseconds(0), [&] { ++zero_ticks; });
  Timer* removed = nullptr;
  Timer late(loop, std::chrono::milliseconds(25), [&] { order += 'b'; });
  Timer first(loop, std::chrono::milliseconds(10), [&] {
    order += 'a';
    removed->SetEnabled(false);
  });
  Timer same(loop, std::chrono::milliseconds(10), [&] { order += 'c'; });
  removed = &same;
  late.SetEnabled(true);
  first.SetEnabled(true);
  same.SetEnabled(true);
  zero.SetEnabled(true);
  while (order.find('b') == std::string::npos) loop.WaitForEvent();
  EXPECT_GT(zero_ticks, 0);
  EXPECT_EQ(order.find('c'), std::string::npos) << order;
  EXPECT_EQ(order[0], 'a') << order;
}

// A timer's first tick comes one period after it is enabled, on the real loop and on the fake one
// the controls' tests run on: a first tick a period late would let every tick limit run one
// period long, which only a cancel's timing would show.
TEST(PollLoopTest, FirstTickComesOnePeriodAfterEnabling) {
  using std::chrono::milliseconds;
  const struct {
    const char* loop;
    std::function<std::unique_ptr<MessageLoop>()> make;
    milliseconds period;
  } cases[] = {
      {"poll", [] { return std::make_unique<PollLoop>(); }, milliseconds(200)},
      {"fake", [] { return std::make_unique<testing::FakeLoop>(); }, milliseconds(100)},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.loop);
    const auto loop = c.make();
    MessageLoop::Clock::time_point first{};
    Timer timer(*loop, c.period, [&] {
      if (first == MessageLoop::Clock::time_point{}) first = loop->Now();
    });
    const auto enabled = loop->Now();
    timer.SetEnabled(true);
    while (first == MessageLoop::Clock::time_point{}) loop->WaitForEvent();
    EXPECT_GE(first - enabled, c.period);
    EXPECT_LT(first - enabled, 2 * c.period);
  }
}

TEST(PollLoopTest, PostFromAnotherThreadWakesAWait) {
  PollLoop loop;
  bool ran = false;
  std::thread other([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    loop.Post([&] { ran = true; });
  });
  loop.WaitForEvent();  // nothing else could end this wait
  other.join();
  EXPECT_TRUE(ran);
}

TEST(PollLoopTest, DescriptorReadinessAndRemovalInsideAHandler) {
  PollLoop loop;
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  int calls = 0;
  int id = 0;
  id = loop.WatchFd(fds[0], MessageLoop::kReadable, [&](short mask) {
    ++calls;
    EXPECT_TRUE(mask & MessageLoop::kReadable);
    loop.UnwatchFd(id);
  });
  ASSERT_EQ(write(fds[1], "x", 1), 1);
  loop.WaitForEvent();
  loop.Pump();
  EXPECT_EQ(calls, 1);
  close(fds[0]);
  close(fds[1]);
}

}  // namespace
}  // namespace velmaris
