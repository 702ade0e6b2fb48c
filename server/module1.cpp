#include "server/module1.h"

#include <cstdlib>

#include "platform/libreoffice/libreoffice_automation.h"
#include "platform/posix/poll_loop.h"
#include "platform/posix/posix_socket.h"

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

}  // namespace

Module1& Module1::Current() {
  thread_local Module1 module;
  return module;
}

// The poll(2) loop, sockets on it, user-interface services answered by the host, and the office
// applications on LibreOffice. A renderer with real windows replaces the loop and the Ui here and
// nowhere else.
Module1::Parts Module1::MakeParts() {
  Parts parts;
  parts.loop = std::make_unique<PollLoop>();
  auto headless = std::make_unique<HeadlessUi>();
  parts.headless = headless.get();
  parts.ui = std::move(headless);
  // One headless LibreOffice plays the word processor, the spreadsheet and the presentation
  // program.
  parts.office = [] { return MakeLibreOfficeAutomation(OfficeOptions()); };
  return parts;
}

Module1::Module1()
    : m_parts(MakeParts()),
      m_platform{*m_parts.loop, *m_parts.ui,
                 [loop = m_parts.loop.get()] { return std::make_unique<PosixSocket>(*loop); },
                 m_parts.office} {
  Main();
}

void Module1::Main() {
  m_safety.SafeForScripting = true;
  m_safety.SafeForInitializing = true;
}

}  // namespace velmaris::server
