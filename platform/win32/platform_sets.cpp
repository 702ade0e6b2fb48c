// The sets on Windows. There is no screen module here (the desktop set's dialogs are the
// system's own) and no office module yet: the office applications are refused with the classic
// error until they are reached through COM automation.
#include "base/error.h"
#include "platform/headless/headless_ui.h"
#include "platform/platform_set.h"
#include "platform/win32/win32_ui.h"
#include "platform/win32/window_loop.h"
#include "platform/win32/winsock_socket.h"

namespace velmaris {

namespace {

[[noreturn]] std::unique_ptr<OfficeAutomation> NoOffice() {
  Raise(office::kErrCannotCreateObject, kLibrarySource,
        u"ActiveX 部件不能创建对象：本程序的 Windows 版本暂不支持 Office 自动化（尚无 COM "
        u"自动化客户端）");
}

// A set on the thread's own message loop, with sockets on it.
PlatformSet LoopSet() {
  PlatformSet set;
  set.loop = std::make_unique<WindowLoop>();
  set.new_socket = [loop = set.loop.get()] { return std::make_unique<WinsockSocket>(*loop); };
  set.office = NoOffice;
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
