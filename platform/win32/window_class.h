// A window class of the library's own, registered while windows of it may exist: the first use
// registers it and the last unregisters it, so a library that is unloaded leaves no class behind
// that points into it.
#pragma once

#include <windows.h>

#include <mutex>

namespace velmaris {

// The module (DLL or program) this code is in.
HINSTANCE OwnModule();

class WindowClass {
 public:
  // `painted`: the class gives its windows the arrow cursor and the dialog face as background.
  WindowClass(const wchar_t* name, WNDPROC procedure, bool painted);

  const wchar_t* Name() const { return m_name; }
  // Begins a use, registering the class when it is the first; false when it cannot be.
  bool Use();
  // Ends a use begun by a Use that succeeded.
  void Drop();

 private:
  const wchar_t* m_name;
  WNDPROC m_procedure;
  bool m_painted;
  std::mutex m_mutex;
  int m_users = 0;
};

}  // namespace velmaris
