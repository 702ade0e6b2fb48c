// The sets on Windows. There is no screen module here: the forms' windows are the system's own
// controls, as the desktop set's dialogs are. Nor an office module: the office applications are
// COM servers, looked up by program id.
#include "base/codepage.h"
#include "base/error.h"
#include "platform/headless/headless_ui.h"
#include "platform/platform_set.h"
#include "platform/win32/com_office.h"
#include "platform/win32/win32_ui.h"
#include "platform/win32/window_loop.h"
#include "platform/win32/winsock_socket.h"
// After the Ui declarations: it brings windows.h.
#include "platform/win32/form_screen.h"

#undef MessageBox

namespace velmaris {

namespace {

// An error escaping a handler that a window started ends that handler; the user is told, as the
// control's own handlers tell of theirs, and the windows go on.
void TellUser(Ui& ui, std::exception_ptr error) {
  try {
    std::rethrow_exception(error);
  } catch (const VbError& e) {
    ui.MessageBox(e.Description(), msgbox::kCritical, u"");
  } catch (const std::exception& e) {
    ui.MessageBox(codepage::FromUtf8(e.what()), msgbox::kCritical, u"");
  }
}

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

// The forms in windows of their own, on the thread's loop, with the system's dialogs; none where
// no window can be made (a service without a desktop).
ScreenOutcome MakeScreenSet(PlatformSet& set) {
  if (!Win32FormScreen::CanShowWindows()) return ScreenOutcome::kNoDisplay;
  set = MakeDesktopSet();
  auto screen = std::make_unique<Win32FormScreen>(static_cast<WindowLoop&>(*set.loop));
  screen->on_error = [ui = set.ui.get()](std::exception_ptr error) { TellUser(*ui, error); };
  set.screen = std::move(screen);
  return ScreenOutcome::kMade;
}

}  // namespace velmaris
