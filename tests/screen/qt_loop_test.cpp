// The Qt loop keeps the message loop's promises: timers, descriptors (errors reported both ways),
// posts from other threads, a wait that ends on a user's input but not on a repaint, waits nested
// in handlers, and no CPU spent while waiting.
#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <QApplication>
#include <QMouseEvent>
#include <QPushButton>
#include <thread>

#include "platform/qt/qt_loop.h"
#include "platform/timer.h"

namespace velmaris {
namespace {

using namespace std::chrono_literals;

double CpuSeconds() {
  rusage usage{};
  getrusage(RUSAGE_THREAD, &usage);
  return usage.ru_utime.tv_sec + usage.ru_stime.tv_sec +
         (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

TEST(QtLoopTest, TimersTickAtTheirIntervalUntilRemoved) {
  QtLoop loop;
  int ticks = 0;
  Timer timer(loop, 20ms, [&] { ++ticks; });
  loop.RunFor(50ms);
  EXPECT_EQ(ticks, 0);
  timer.SetEnabled(true);
  const auto start = loop.Now();
  while (ticks < 3) loop.WaitForEvent();
  EXPECT_GE(loop.Now() - start, 55ms);
  timer.SetEnabled(false);
  loop.RunFor(60ms);
  EXPECT_EQ(ticks, 3);

  int once = 0;
  int id = 0;
  id = loop.AddTimer(5ms, [&] {
    ++once;
    loop.RemoveTimer(id);
  });
  loop.RunFor(40ms);
  EXPECT_EQ(once, 1);
}

TEST(QtLoopTest, DescriptorsReportReadinessAndHangUpBothWays) {
  QtLoop loop;
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  std::vector<short> reads;
  const int reader = loop.WatchFd(fds[0], MessageLoop::kReadable, [&](short mask) {
    reads.push_back(mask);
    char byte;
    if (mask & MessageLoop::kReadable) [[maybe_unused]]
      auto n = read(fds[0], &byte, 1);
  });
  std::vector<short> writes;
  int writer = 0;
  writer = loop.WatchFd(fds[1], MessageLoop::kWritable, [&](short mask) {
    writes.push_back(mask);
    loop.SetFdEvents(writer, 0);  // a socket stops asking once its data is out
  });
  loop.WaitForEvent();
  loop.RunFor(20ms);
  EXPECT_EQ(writes, std::vector<short>{MessageLoop::kWritable});
  EXPECT_TRUE(reads.empty());

  ASSERT_EQ(write(fds[1], "x", 1), 1);
  loop.WaitForEvent();
  EXPECT_EQ(reads, std::vector<short>{MessageLoop::kReadable});

  loop.UnwatchFd(writer);
  close(fds[1]);
  reads.clear();
  loop.WaitForEvent();
  ASSERT_FALSE(reads.empty());
  EXPECT_EQ(reads[0], MessageLoop::kReadable | MessageLoop::kWritable);
  loop.UnwatchFd(reader);
  close(fds[0]);
}

TEST(QtLoopTest, AWatchRemovedInsideItsOwnHandlerIsNotCalledAgain) {
  QtLoop loop;
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  ASSERT_EQ(write(fds[1], "xy", 2), 2);
  int calls = 0;
  int id = 0;
  id = loop.WatchFd(fds[0], MessageLoop::kReadable, [&](short) {
    ++calls;
    loop.UnwatchFd(id);
    loop.RunFor(10ms);  // a wait inside the handler, with the notifier gone
  });
  loop.WaitForEvent();
  loop.RunFor(20ms);
  EXPECT_EQ(calls, 1);
  close(fds[0]);
  close(fds[1]);
}

TEST(QtLoopTest, APostFromAnotherThreadEndsAWait) {
  QtLoop loop;
  bool ran = false;
  std::thread other([&] {
    std::this_thread::sleep_for(30ms);
    loop.Post([&] { ran = true; });
  });
  loop.WaitForEvent();  // nothing else could end this wait
  other.join();
  EXPECT_TRUE(ran);
}

// A repaint is window traffic, not input: the wait goes on until the click.
TEST(QtLoopTest, AWaitEndsOnAUsersInputButNotOnARepaint) {
  QtLoop loop;
  QPushButton button(QStringLiteral("确定"));
  button.show();
  loop.RunFor(20ms);
  int clicks = 0;
  QObject::connect(&button, &QPushButton::clicked, [&] { ++clicks; });
  std::thread other([&] {
    QCoreApplication::postEvent(&button, new QEvent(QEvent::UpdateRequest));
    std::this_thread::sleep_for(60ms);
    const QPointF at(5, 5);
    for (auto type : {QEvent::MouseButtonPress, QEvent::MouseButtonRelease}) {
      QCoreApplication::postEvent(
          &button, new QMouseEvent(type, at, button.mapToGlobal(at), Qt::LeftButton, Qt::LeftButton,
                                   Qt::NoModifier));
    }
  });
  const auto start = loop.Now();
  loop.WaitForEvent();
  EXPECT_GE(loop.Now() - start, 50ms);
  other.join();
  loop.Pump();
  EXPECT_EQ(clicks, 1);
}

TEST(QtLoopTest, AWaitCostsNoCpu) {
  QtLoop loop;
  bool due = false;
  const int id = loop.AddTimer(400ms, [&] { due = true; });
  const double cpu = CpuSeconds();
  while (!due) loop.WaitForEvent();
  EXPECT_LT(CpuSeconds() - cpu, 0.05);
  loop.RemoveTimer(id);

  const double run_cpu = CpuSeconds();
  const auto start = loop.Now();
  loop.RunFor(300ms);
  EXPECT_GE(loop.Now() - start, 300ms);
  EXPECT_LT(loop.Now() - start, 550ms);
  EXPECT_LT(CpuSeconds() - run_cpu, 0.05);
}

}  // namespace
}  // namespace velmaris
