#include "server/module1.h"

#include <cstdlib>

#include "core/error.h"
#include "platform/codepage.h"
#include "platform/libreoffice/libreoffice_automation.h"
#include "platform/posix/poll_loop.h"
#include "platform/posix/posix_socket.h"
#include "platform/qt/application.h"
#include "platform/qt/form_windows.h"
#include "platform/qt/qt_loop.h"
#include "platform/qt/qt_ui.h"

namespace velmaris::server {

namespace {

// The office's pipe and profile may be named by the environment, so that test runs (and several
// sessions of one account) each keep an office of their own.
LibreOfficeOptions OfficeOptions() {
  LibreOfficeOptions options;
  if (const char* pipe = std::getenv("VELMARIS_OFFICE_PIPE"); pipe && *pipe) {
    options.pipe_name = pipe;
  }
  if (const char* profile = std::getenv("VELMARIS_OFFICE_PROFILE"); profile && *profile) {
    options.profile_dir = profile;
  }
  return options;
}

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

}  // namespace

Module1& Module1::Current() {
  thread_local Module1 module;
  return module;
}

// Headless: the poll(2) loop, sockets on it, and user-interface services answered by the host.
// On screen: Qt's event loop with the sockets on it, Qt's dialogs, and a window per form. Either
// way the office applications are LibreOffice.
Module1::Parts Module1::MakeParts(Screen screen) {
  Parts parts;
  if (screen == Screen::kQt) {
    parts.loop = std::make_unique<QtLoop>();
    parts.ui = std::make_unique<QtUi>();
    parts.windows = std::make_unique<FormWindows>();
    parts.windows->on_error = [ui = parts.ui.get()](std::exception_ptr error) {
      TellUser(*ui, error);
    };
  } else {
    parts.loop = std::make_unique<PollLoop>();
    auto headless = std::make_unique<HeadlessUi>();
    parts.headless = headless.get();
    parts.ui = std::move(headless);
  }
  // One headless LibreOffice plays the word processor, the spreadsheet and the presentation
  // program.
  parts.office = [] { return MakeLibreOfficeAutomation(OfficeOptions()); };
  return parts;
}

Module1::Module1() : m_parts(MakeParts(Screen::kHeadless)) {
  MakePlatform();
  Main();
}

Module1::~Module1() = default;

void Module1::MakePlatform() {
  m_platform.emplace(
      Platform{*m_parts.loop, *m_parts.ui,
               [loop = m_parts.loop.get()] { return std::make_unique<PosixSocket>(*loop); },
               m_parts.office});
}

Module1::ScreenAnswer Module1::UseScreen() {
  if (m_parts.windows) return ScreenAnswer::kOnScreen;
  if (m_platform_given) return ScreenAnswer::kControlsMade;
  if (!DisplayAvailable()) return ScreenAnswer::kNoDisplay;
  m_platform.reset();
  m_parts = MakeParts(Screen::kQt);
  MakePlatform();
  return ScreenAnswer::kOnScreen;
}

void Module1::Main() {
  m_safety.SafeForScripting = true;
  m_safety.SafeForInitializing = true;
}

}  // namespace velmaris::server
