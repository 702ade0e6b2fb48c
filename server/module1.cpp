#include "server/module1.h"

#include "platform/posix/poll_loop.h"
#include "platform/posix/posix_socket.h"

namespace velmaris::server {

Module1& Module1::Current() {
  thread_local Module1 module;
  return module;
}

// The poll(2) loop, sockets on it, and user-interface services answered by the host. A renderer
// with real windows replaces the loop and the Ui here and nowhere else.
Module1::Parts Module1::MakeParts() {
  Parts parts;
  parts.loop = std::make_unique<PollLoop>();
  auto headless = std::make_unique<HeadlessUi>();
  parts.headless = headless.get();
  parts.ui = std::move(headless);
  return parts;
}

Module1::Module1()
    : m_parts(MakeParts()), m_platform{*m_parts.loop, *m_parts.ui, [loop = m_parts.loop.get()] {
                                         return std::make_unique<PosixSocket>(*loop);
                                       }} {
  Main();
}

void Module1::Main() {
  m_safety.SafeForScripting = true;
  m_safety.SafeForInitializing = true;
}

}  // namespace velmaris::server
