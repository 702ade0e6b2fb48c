#include "platform/qt/qt_loop.h"

#include <poll.h>

#include <QApplication>
#include <QEvent>
#include <QSocketNotifier>
#include <QTimerEvent>
#include <algorithm>

#include "platform/qt/application.h"

namespace velmaris {

namespace {

// What a user does to a window. Painting and the window system's bookkeeping are not input: a
// wait must not end because a cursor blinked.
bool IsUserInput(const QEvent& event) {
  if (event.isInputEvent()) return true;
  switch (event.type()) {
    case QEvent::Close:
    case QEvent::Drop:
    case QEvent::Shortcut:
      return true;
    default:
      return false;
  }
}

// Readiness as the poll(2) loop reports it: the notifier's own direction, and both directions
// for an error or a hang-up. Zero when the descriptor is not ready after all.
short ReadyMask(int fd, short watched, short direction) {
  pollfd probe{fd, 0, 0};
  if (watched & MessageLoop::kReadable) probe.events |= POLLIN;
  if (watched & MessageLoop::kWritable) probe.events |= POLLOUT;
  if (poll(&probe, 1, 0) <= 0) return 0;
  if (probe.revents & (POLLERR | POLLHUP | POLLNVAL)) {
    return MessageLoop::kReadable | MessageLoop::kWritable;
  }
  short mask = 0;
  if (probe.revents & POLLIN) mask |= MessageLoop::kReadable;
  if (probe.revents & POLLOUT) mask |= MessageLoop::kWritable;
  return mask & direction;
}

}  // namespace

// The QObject the loop's timers run on and its queued calls are sent to; it also watches every
// event the application delivers, to notice a user's input.
class QtLoop::Hub : public QObject {
 public:
  explicit Hub(QtLoop& loop) : m_loop(loop) {
    QCoreApplication::instance()->installEventFilter(this);
  }
  ~Hub() override {
    if (auto* application = QCoreApplication::instance()) application->removeEventFilter(this);
  }

 protected:
  void timerEvent(QTimerEvent* event) override { m_loop.OnTimer(event->timerId()); }
  bool eventFilter(QObject*, QEvent* event) override {
    if (IsUserInput(*event)) ++m_loop.m_handled;
    return false;
  }

 private:
  QtLoop& m_loop;
};

QtLoop::QtLoop() : m_application(MakeApplicationIfNone()), m_hub(std::make_unique<Hub>(*this)) {}

QtLoop::~QtLoop() {
  m_watches.clear();
  m_hub.reset();
}

void QtLoop::Pump() {
  QCoreApplication::processEvents(QEventLoop::AllEvents);
}

void QtLoop::WaitOnce() {
  QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

void QtLoop::WaitForEvent() {
  const uint64_t before = m_handled;
  while (m_handled == before) WaitOnce();
}

void QtLoop::RunFor(std::chrono::milliseconds duration) {
  const auto deadline = Clock::now() + duration;
  for (auto now = Clock::now(); now < deadline; now = Clock::now()) {
    // A one-off wake-up at the deadline, so the wait below cannot sleep past it.
    const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - now);
    const int wake = m_hub->startTimer(left, Qt::PreciseTimer);
    WaitOnce();
    m_hub->killTimer(wake);
  }
  Pump();
}

int QtLoop::AddTimer(std::chrono::milliseconds interval, Callback on_tick) {
  const int qt_id =
      m_hub->startTimer(std::max(interval, std::chrono::milliseconds(0)), Qt::PreciseTimer);
  const int id = m_next_id++;
  m_timers[id] = {qt_id, std::make_shared<Callback>(std::move(on_tick))};
  m_timer_by_qt_id[qt_id] = id;
  return id;
}

void QtLoop::RemoveTimer(int id) {
  auto it = m_timers.find(id);
  if (it == m_timers.end()) return;
  m_hub->killTimer(it->second.qt_id);
  m_timer_by_qt_id.erase(it->second.qt_id);
  m_timers.erase(it);
}

void QtLoop::OnTimer(int qt_id) {
  auto found = m_timer_by_qt_id.find(qt_id);
  if (found == m_timer_by_qt_id.end()) return;  // a RunFor wake-up, or a timer just removed
  auto callback = m_timers.at(found->second).on_tick;
  ++m_handled;
  (*callback)();
}

int QtLoop::WatchFd(Descriptor fd, short events, FdCallback on_ready) {
  const int id = m_next_id++;
  Watch watch{static_cast<int>(fd),
              0,
              std::make_shared<FdCallback>(std::move(on_ready)),
              std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Read),
              std::make_unique<QSocketNotifier>(fd, QSocketNotifier::Write),
              std::make_shared<int>(0)};
  for (auto [notifier, direction] : {std::pair{watch.read.get(), short{kReadable}},
                                     std::pair{watch.write.get(), short{kWritable}}}) {
    notifier->setEnabled(false);
    QObject::connect(notifier, &QSocketNotifier::activated, m_hub.get(),
                     [this, id, direction = direction] { OnNotifier(id, direction); });
  }
  m_watches.emplace(id, std::move(watch));
  SetFdEvents(id, events);
  return id;
}

void QtLoop::SetFdEvents(int id, short events) {
  auto it = m_watches.find(id);
  if (it == m_watches.end()) return;
  it->second.events = events;
  it->second.read->setEnabled((events & kReadable) != 0);
  it->second.write->setEnabled((events & kWritable) != 0);
}

void QtLoop::UnwatchFd(int id) {
  auto it = m_watches.find(id);
  if (it == m_watches.end()) return;
  Watch watch = std::move(it->second);
  m_watches.erase(it);
  Retire(std::move(watch));
}

void QtLoop::Retire(Watch watch) {
  watch.read->setEnabled(false);
  watch.write->setEnabled(false);
  watch.read->disconnect();
  watch.write->disconnect();
  if (*watch.active == 0) return;  // nothing of it on the stack: the notifiers go now
  // Unwatched from inside its own handler: Qt is still delivering to one of these notifiers, so
  // they go once control is back in the event loop.
  auto notifiers = std::make_shared<
      std::pair<std::unique_ptr<QSocketNotifier>, std::unique_ptr<QSocketNotifier>>>(
      std::move(watch.read), std::move(watch.write));
  QMetaObject::invokeMethod(
      m_hub.get(),
      [notifiers] {
        notifiers->first.reset();
        notifiers->second.reset();
      },
      Qt::QueuedConnection);
}

void QtLoop::OnNotifier(int id, short direction) {
  auto it = m_watches.find(id);
  if (it == m_watches.end()) return;
  const short mask = ReadyMask(it->second.fd, it->second.events, direction);
  if (mask == 0) return;
  auto callback = it->second.on_ready;
  auto active = it->second.active;
  ++*active;
  struct Leave {
    int& count;
    ~Leave() { --count; }
  } leave{*active};
  ++m_handled;
  (*callback)(mask);
}

void QtLoop::Post(Callback callback) {
  // A queued call is an event of the loop's thread, whichever thread posts it.
  QMetaObject::invokeMethod(
      m_hub.get(),
      [this, callback = std::move(callback)] {
        ++m_handled;
        callback();
      },
      Qt::QueuedConnection);
}

}  // namespace velmaris
