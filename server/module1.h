// The library's start-up module: it runs when the library is first used on a thread, sets the
// thread's safety flags, and makes the thread's platform (message loop, user-interface services,
// sockets) that every control created on the thread uses.
#pragma once

#include <memory>

#include "platform/headless/headless_ui.h"
#include "platform/message_loop.h"
#include "platform/platform.h"
#include "server/object_safety.h"

namespace velmaris::server {

class Module1 {
 public:
  // The module of the calling thread, started on first use.
  static Module1& Current();

  const SafetyFlags& Safety() const { return m_safety; }
  Platform& GetPlatform() { return m_platform; }
  MessageLoop& Loop() { return *m_parts.loop; }
  // The headless services the host answers, or null when the thread's Ui is a real one.
  HeadlessUi* Headless() { return m_parts.headless; }

  Module1(const Module1&) = delete;
  Module1& operator=(const Module1&) = delete;

 private:
  struct Parts {
    std::unique_ptr<MessageLoop> loop;
    std::unique_ptr<Ui> ui;
    HeadlessUi* headless = nullptr;
    std::function<std::unique_ptr<OfficeAutomation>()> office;
  };

  Module1();
  void Main();
  // The one place that chooses the thread's platform implementations.
  static Parts MakeParts();

  SafetyFlags m_safety;
  Parts m_parts;
  Platform m_platform;
};

}  // namespace velmaris::server
