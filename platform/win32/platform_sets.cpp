// The sets on Windows. There is no screen module here (the desktop set's dialogs are the
// system's own) and no office module: the office applications are COM servers, looked up by
// program id.
#include "platform/headless/headless_ui.h"
#include "platform/platform_set.h"
#include "platform/win32/com_office.h"
#include "platform/win32/win32_ui.h"
#include "platform/win32/window_loop.h"
#include "platform/win32/winsock_socket.h"

namespace velmaris {

namespace {

// A set on the thread's own message loop, with sockets on it.
PlatformSet LoopSet() {
  PlatformSet set;
  set.loop = std::make_unique<WindowLoop>();
  set.new_socket = [loop = set.loop.get()] { return std::make_unique<WinsockSocket>(*loop); };
  set.office = MakeComOfficeAutomation;
  return set;
}

}  // namespace

PlatformSet MakeHeadlessSet() {
  PlatformSet set = LoopSet();
  auto ui = std::make_unique<HeadlessUi>();
  set.answers = ui.get();
  set.ui = std::move(ui);
  return set;
}

PlatformSet MakeDesktopSet() {
  PlatformSet set = LoopSet();
  set.ui = std::make_unique<Win32Ui>();
  return set;
}

PlatformSet MakeStartingSet() {
  return MakeDesktopSet();
}

ScreenOutcome MakeScreenSet(PlatformSet&) {
  return ScreenOutcome::kNoModule;
}

}  // namespace velmaris
