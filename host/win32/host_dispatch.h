// The `host` object on the system's JScript: a native object whose GetIDsOfNames and Invoke walk
// the members of host/host_members.h (a form's members named "form." and theirs, the control
// first), and a prelude that builds the page's `host` object and print() over it from the same
// description.
#pragma once

#include <oaidl.h>
#include <windows.h>

#include <memory>
#include <string>

#include "host/host_members.h"

namespace velmaris::host::win32 {

class Engine;

// What one running page owns beside its engine.
struct Page final : HostPage {
  const ComApi* Services(std::u16string& error) override;
  void WriteLine(bool error_stream, std::u16string_view text) override;

  // The library registered for the controls' classes, loaded before the page runs so that its
  // services can be asked for before the page creates its first control.
  HMODULE module = nullptr;
  std::wstring library;
  std::shared_ptr<const ComApi> services;
  std::u16string services_error;  // why there are none
  Engine* engine = nullptr;
  // Run with --gui: each control's form in a window of its own.
  bool gui = false;
};

// Loads the library registered for the controls' classes into `page` (it stays loaded until
// FreeServices); leaves the services empty, with the reason, when no class is registered or the
// library does not load.
void LoadServices(Page& page);
void FreeServices(Page& page);

// The native object, with a reference for the caller; it refers to `page` for its whole life.
IDispatch* NewHostDispatch(Page& page);

// The native object's name, and the prelude run over it before the page.
extern const wchar_t kNativeName[];
std::wstring Prelude();
// Run after the prelude with --gui: every control the page makes shows its form.
std::wstring GuiPrelude();

}  // namespace velmaris::host::win32
