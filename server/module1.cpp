#include "server/module1.h"

namespace velmaris::server {

Module1& Module1::Current() {
  thread_local Module1 module;
  return module;
}

Module1::Module1() : m_parts(MakeStartingSet()) {
  MakePlatform();
  Main();
}

Module1::~Module1() = default;

void Module1::MakePlatform() {
  m_platform.emplace(Platform{*m_parts.loop, *m_parts.ui, m_parts.new_socket, m_parts.office});
}

Module1::ScreenAnswer Module1::UseScreen() {
  if (m_parts.screen) return ScreenAnswer::kOnScreen;
  if (m_platform_given) return ScreenAnswer::kControlsMade;
  PlatformSet screen;
  switch (MakeScreenSet(screen)) {
    case ScreenOutcome::kMade:
      break;
    case ScreenOutcome::kNoDisplay:
      return ScreenAnswer::kNoDisplay;
    case ScreenOutcome::kNoModule:
      return ScreenAnswer::kNoScreenModule;
  }
  m_platform.reset();
  m_parts = std::move(screen);
  MakePlatform();
  return ScreenAnswer::kOnScreen;
}

bool Module1::UseAnsweredDialogs() {
  if (m_parts.answers != nullptr) return true;
  if (m_platform_given || m_parts.screen) return false;
  m_platform.reset();
  m_parts = MakeHeadlessSet();
  MakePlatform();
  return true;
}

void Module1::Main() {
  m_safety.SafeForScripting = true;
  m_safety.SafeForInitializing = true;
}

}  // namespace velmaris::server
