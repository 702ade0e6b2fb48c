// The screen module (libVelmarisQt.so): the forms on screen through Qt, opened by the library only
// for a thread whose host asks for windows, so that nothing else needs Qt.
#include "base/codepage.h"
#include "base/error.h"
#include "platform/platform_set.h"
#include "platform/qt/application.h"
#include "platform/qt/form_windows.h"
#include "platform/qt/qt_loop.h"
#include "platform/qt/qt_ui.h"

namespace {

// An error escaping a handler that a window started ends that handler; the user is told, as the
// control's own handlers tell of theirs, and the windows go on.
void TellUser(velmaris::Ui& ui, std::exception_ptr error) {
  using namespace velmaris;
  try {
    std::rethrow_exception(error);
  } catch (const VbError& e) {
    ui.MessageBox(e.Description(), msgbox::kCritical, u"");
  } catch (const std::exception& e) {
    ui.MessageBox(codepage::FromUtf8(e.what()), msgbox::kCritical, u"");
  }
}

}  // namespace

bool VelmarisScreenModule(velmaris::PlatformSet* set) {
  using namespace velmaris;
  if (!DisplayAvailable()) return false;
  set->loop = std::make_unique<QtLoop>();
  set->ui = std::make_unique<QtUi>();
  auto windows = std::make_unique<FormWindows>();
  windows->on_error = [ui = set->ui.get()](std::exception_ptr error) { TellUser(*ui, error); };
  set->screen = std::move(windows);
  return true;
}
