// Holding SIGPIPE back around calls that write to a socket without MSG_NOSIGNAL.
#pragma once

#include <pthread.h>

#include <csignal>
#include <ctime>

namespace velmaris {

// sendfile(2) has no MSG_NOSIGNAL: while it runs SIGPIPE is held back on this thread, and one it
// raised is taken away unseen, so a peer that went away is an error of the send, not the end of
// the process.
class SigpipeHeld {
 public:
  SigpipeHeld() {
    sigemptyset(&m_pipe);
    sigaddset(&m_pipe, SIGPIPE);
    sigset_t pending;
    sigpending(&pending);
    m_was_pending = sigismember(&pending, SIGPIPE) == 1;
    pthread_sigmask(SIG_BLOCK, &m_pipe, &m_old);
  }
  ~SigpipeHeld() {
    sigset_t pending;
    if (!m_was_pending && sigpending(&pending) == 0 && sigismember(&pending, SIGPIPE) == 1) {
      const timespec now{};
      sigtimedwait(&m_pipe, nullptr, &now);
    }
    pthread_sigmask(SIG_SETMASK, &m_old, nullptr);
  }
  SigpipeHeld(const SigpipeHeld&) = delete;
  SigpipeHeld& operator=(const SigpipeHeld&) = delete;

 private:
  sigset_t m_pipe{};
  sigset_t m_old{};
  bool m_was_pending = false;
};

}  // namespace velmaris
