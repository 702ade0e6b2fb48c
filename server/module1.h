// The library's start-up module: it runs when the library is first used on a thread, sets the
// thread's safety flags, and makes the thread's platform (message loop, user-interface services,
// sockets) that every control created on the thread uses.
#pragma once

#include <memory>
#include <optional>

#include "platform/headless/headless_ui.h"
#include "platform/message_loop.h"
#include "platform/platform.h"
#include "server/object_safety.h"

namespace velmaris {
class FormWindows;
}

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
  // The headless services the host answers, or null when the thread's Ui is a real one.
  HeadlessUi* Headless() { return m_parts.headless; }
  // The windows of the thread's forms, or null while the thread is headless.
  FormWindows* Windows() { return m_parts.windows.get(); }

  enum class ScreenAnswer { kOnScreen, kControlsMade, kNoDisplay };
  // Puts the thread's forms on screen: Qt's event loop, Qt's dialogs, a window per form. Refused
  // once a control was made on this thread (it holds the headless loop and Ui), or when there is
  // no display. What was scheduled on the headless loop before is dropped.
  ScreenAnswer UseScreen();

  ~Module1();
  Module1(const Module1&) = delete;
  Module1& operator=(const Module1&) = delete;

 private:
  struct Parts {
    std::unique_ptr<MessageLoop> loop;
    std::unique_ptr<Ui> ui;
    HeadlessUi* headless = nullptr;
    std::function<std::unique_ptr<OfficeAutomation>()> office;
    // Last, so the windows (and the controls they hold) go before the loop and the Ui.
    std::unique_ptr<FormWindows> windows;
  };
  enum class Screen { kHeadless, kQt };

  Module1();
  void Main();
  // The one place that chooses the thread's platform implementations.
  static Parts MakeParts(Screen screen);
  void MakePlatform();

  SafetyFlags m_safety;
  Parts m_parts;
  std::optional<Platform> m_platform;
  bool m_platform_given = false;
};

}  // namespace velmaris::server
