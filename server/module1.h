// The library's start-up module: it runs when the library is first used on a thread, sets the
// thread's safety flags, and takes from a platform set the thread's platform (loop, Ui services,
// sockets) that every control created on the thread uses.
#pragma once

#include <memory>
#include <optional>

#include "platform/platform.h"
#include "platform/platform_set.h"
#include "server/object_safety.h"

namespace velmaris::server {

class Module1 {
 public:
  // The module of the calling thread, started on first use.
  static Module1& Current();

  const SafetyFlags& Safety() const { return m_safety; }
  // The platform of every control made on this thread; handing it out fixes the thread's choice.
  Platform& GetPlatform() {
    m_platform_given = true;
    return *m_platform;
  }
  MessageLoop& Loop() { return *m_parts.loop; }
  // The services the host answers, or null when the thread's Ui is a real one.
  AnsweredUi* Headless() { return m_parts.answers; }
  // The windows of the thread's forms, or null while the thread is headless.
  FormScreen* Windows() { return m_parts.screen.get(); }

  enum class ScreenAnswer { kOnScreen, kControlsMade, kNoDisplay, kNoScreenModule };
  // Puts the thread's forms on screen: Qt's event loop, Qt's dialogs, a window per form. Refused
  // once a control was made on this thread (it holds the headless loop and Ui), when there is no
  // display, or when the screen module (or Qt) is missing. What was scheduled on the headless loop
  // before is dropped.
  ScreenAnswer UseScreen();
  // Has the host answer the thread's message boxes and file dialogs (the headless set) where the
  // thread started with the system's own (Windows). False once a control was made on this
  // thread, or when its forms are on screen.
  bool UseAnsweredDialogs();

  ~Module1();
  Module1(const Module1&) = delete;
  Module1& operator=(const Module1&) = delete;

 private:
  Module1();
  void Main();
  void MakePlatform();

  SafetyFlags m_safety;
  PlatformSet m_parts;
  std::optional<Platform> m_platform;
  bool m_platform_given = false;
};

}  // namespace velmaris::server
