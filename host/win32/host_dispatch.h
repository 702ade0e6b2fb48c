// The host's native object: the page's surroundings and the library's host services as plain
// methods taking strings and numbers and answering JSON text. The prelude builds the page's
// `host` object and print() over it.
#pragma once

#include <oaidl.h>
#include <windows.h>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace velmaris::host::win32 {

class Engine;

// The host services of the registered library (server/host_api.h), with Windows' own types: a
// BSTR, VARIANT and EXCEPINFO are the ones the library uses there.
struct Services {
  HMODULE module = nullptr;
  std::wstring path;
  HRESULT(__cdecl* can_unload_now)() = nullptr;
  HRESULT(__cdecl* use_answered_dialogs)() = nullptr;
  HRESULT(__cdecl* pump)(int32_t) = nullptr;
  HRESULT(__cdecl* later)(int32_t, void (*)(void*), void*) = nullptr;
  HRESULT(__cdecl* answer_message_box)(int32_t) = nullptr;
  HRESULT(__cdecl* answer_file_dialog)(const wchar_t*, uint32_t) = nullptr;
  HRESULT(__cdecl* answer_folder)(const wchar_t*) = nullptr;
  HRESULT(__cdecl* messages)(BSTR*) = nullptr;
  HRESULT(__cdecl* form_get)(IUnknown*, const wchar_t*, BSTR*) = nullptr;
  HRESULT(__cdecl* form_children)(IUnknown*, BSTR*) = nullptr;
  HRESULT(__cdecl* form_act)
  (IUnknown*, const wchar_t*, const wchar_t*, const VARIANT*, EXCEPINFO*) = nullptr;
  HRESULT(__cdecl* close_form)(IUnknown*) = nullptr;
  HRESULT(__cdecl* screenshot)(IUnknown*, const wchar_t*) = nullptr;
};

// Loads the library registered for the controls' classes (it stays loaded until FreeServices),
// so its services can be asked for before the page creates its first control. An empty set with
// `error` when no class is registered or the library does not load.
Services LoadServices(std::wstring& error);
void FreeServices(Services& services);

// What one running page owns beside its engine.
struct Page {
  std::vector<std::wstring> args;  // after the page's name on the command line
  std::wstring folder;             // where the page is; relative includes start here
  Services services;
  std::wstring services_error;  // why there are none
  Engine* engine = nullptr;
  bool later_failed = false;  // a host.later callback ended in an uncaught error
  // Cleared when the page has ended, so a host.later callback still queued does nothing.
  std::shared_ptr<bool> alive = std::make_shared<bool>(true);
};

// The native object, with a reference for the caller; it refers to `page` for its whole life.
IDispatch* NewHostDispatch(Page& page);

// The prelude run before the page, over the native object named kNativeName.
extern const wchar_t kNativeName[];
extern const wchar_t kPrelude[];

}  // namespace velmaris::host::win32
