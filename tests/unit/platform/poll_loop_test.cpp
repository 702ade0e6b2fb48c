#include "platform/posix/poll_loop.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include <thread>

#include "platform/timer.h"

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
