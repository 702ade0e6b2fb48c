#include "platform/win32/window_class.h"

namespace velmaris {

HINSTANCE OwnModule() {
  HMODULE module = nullptr;
  GetModuleHandleExW(
      GET_MODULE_HANDLE_EX_FLAG_FROM_ADDRESS | GET_MODULE_HANDLE_EX_FLAG_UNCHANGED_REFCOUNT,
      reinterpret_cast<LPCWSTR>(&OwnModule), &module);
  return module;
}

WindowClass::WindowClass(const wchar_t* name, WNDPROC procedure, bool painted)
    : m_name(name), m_procedure(procedure), m_painted(painted) {}

bool WindowClass::Use() {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (m_users++ > 0) return true;
  WNDCLASSEXW window_class{};
  window_class.cbSize = sizeof window_class;
  window_class.lpfnWndProc = m_procedure;
  window_class.hInstance = OwnModule();
  if (m_painted) {
    window_class.hCursor = LoadCursorW(nullptr, IDC_ARROW);
    window_class.hbrBackground = reinterpret_cast<HBRUSH>(COLOR_BTNFACE + 1);
  }
  window_class.lpszClassName = m_name;
  if (RegisterClassExW(&window_class) == 0 && GetLastError() != ERROR_CLASS_ALREADY_EXISTS) {
    --m_users;
    return false;
  }
  return true;
}

void WindowClass::Drop() {
  std::lock_guard<std::mutex> lock(m_mutex);
  if (--m_users == 0) UnregisterClassW(m_name, OwnModule());
}

}  // namespace velmaris
