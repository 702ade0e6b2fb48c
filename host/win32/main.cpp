// velmaris.exe: the page host on Windows.
//   velmaris register [LIB]      calls the library's DllRegisterServer (as regsvr32 does)
//   velmaris unregister [LIB]    calls its DllUnregisterServer
//   velmaris run PAGE.js [--gui] [args...]
//   velmaris bridge [--port N] [--allow ORIGIN]... [--install | --uninstall]
// Pages run on the system's JScript and create controls by ProgID through the registry; message
// boxes and file dialogs are answered by the page (host.answer*), not shown. With --gui each
// control's form is a window of its own, the dialogs are the system's, and the run ends once the
// page's last window is closed.
#include <objbase.h>
#include <objsafe.h>
#include <windows.h>

#include <filesystem>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "host/bridge/bridge.h"
#include "host/entry_points.h"
#include "host/errors.h"
#include "host/page_files.h"
#include "host/text.h"
#include "host/win32/engine.h"
#include "host/win32/host_dispatch.h"

using namespace velmaris::host;
using namespace velmaris::host::win32;
namespace bridge = velmaris::host::bridge;

namespace {

int Usage() {
  WriteLine(true,
            L"usage: velmaris register [LIB]\n"
            L"       velmaris unregister [LIB]\n"
            L"       velmaris run PAGE.js [--gui] [args...]\n"
            L"       velmaris bridge [--port N] [--allow ORIGIN]... [--install | --uninstall]");
  return 2;
}

std::wstring FullPath(const std::wstring& path) {
  wchar_t full[MAX_PATH * 4];
  DWORD length = GetFullPathNameW(path.c_str(), MAX_PATH * 4, full, nullptr);
  return length > 0 && length < MAX_PATH * 4 ? std::wstring(full, length) : path;
}

// The library beside the host.
std::wstring DefaultLibrary() {
  wchar_t self[MAX_PATH * 4];
  DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH * 4);
  return (std::filesystem::path(std::wstring(self, length)).parent_path() / L"VelmarisClient.dll")
      .wstring();
}

int Register(const wchar_t* given, bool unregister) {
  std::wstring path = FullPath(given ? given : DefaultLibrary());
  const char* entry = unregister ? "DllUnregisterServer" : "DllRegisterServer";
  HMODULE library = LoadLibraryW(path.c_str());
  if (library == nullptr) {
    WriteLine(true, L"无法加载 " + path + L"：错误 " + std::to_wstring(GetLastError()));
    return 1;
  }
  auto call = reinterpret_cast<HRESULT(__stdcall*)()>(
      reinterpret_cast<void*>(GetProcAddress(library, entry)));
  HRESULT hr = call != nullptr ? call() : HRESULT_FROM_WIN32(ERROR_PROC_NOT_FOUND);
  FreeLibrary(library);
  std::wstring name(entry, entry + std::char_traits<char>::length(entry));
  if (FAILED(hr)) {
    wchar_t code[16];
    swprintf(code, 16, L"0x%08X", static_cast<unsigned>(hr));
    WriteLine(true, path + L" 中的 " + name + L" 失败，错误代码 " + code + L"。");
    return 1;
  }
  WriteLine(false, path + L" 中的 " + name + L" 成功。");
  return 0;
}

// Asks the library to put its forms on screen; false, with the reason, when it cannot.
bool StartScreen(Page& page) {
  if (page.services == nullptr) {
    WriteLine(true,
              L"velmaris: " + std::wstring(page.services_error.begin(), page.services_error.end()));
    return false;
  }
  const HRESULT hr = UseScreen(*page.services);
  if (hr == E_NOTIMPL) {
    WriteLine(true, L"velmaris: " + page.library + L" 不能把窗体显示在屏幕上");
    return false;
  }
  if (hr == E_FAIL) {
    WriteLine(true, L"velmaris: 没有可用的桌面，无法显示窗体");
    return false;
  }
  if (FAILED(hr)) {
    wchar_t code[16];
    swprintf(code, 16, L"0x%08X", static_cast<unsigned>(hr));
    WriteLine(true, L"velmaris: 无法把窗体显示在屏幕上，错误代码 " + std::wstring(code));
    return false;
  }
  return true;
}

int RunPage(const std::wstring& page_path, Page& page, bool require_unload) {
  const auto bytes = ReadScriptSource(std::filesystem::path(page_path));
  if (!bytes) {
    WriteLine(true, L"velmaris: 无法读取页面 " + page_path);
    return 1;
  }
  std::u16string source = DecodeUtf8(*bytes);

  page.folder = std::filesystem::path(FullPath(page_path)).parent_path();
  LoadServices(page);
  // The host answers the dialogs, or the forms go on screen; asked before the page makes a
  // control on this thread.
  if (page.gui) {
    if (!StartScreen(page)) {
      FreeServices(page);
      return 1;
    }
  } else if (page.services != nullptr && !UseAnsweredDialogs(*page.services)) {
    WriteLine(true, L"velmaris: 无法由宿主应答对话框");
  }

  IDispatch* native = NewHostDispatch(page);
  std::wstring error;
  auto engine = Engine::Create(kNativeName, native, error);
  native->Release();
  if (!engine) {
    WriteLine(true, L"velmaris: " + error);
    FreeServices(page);
    return 1;
  }
  page.engine = engine.get();
  bool ran = engine->Run(Prelude(), L"prelude") &&
             (!page.gui || engine->Run(GuiPrelude(), L"prelude")) &&
             engine->Run(std::wstring(source.begin(), source.end()), page_path);
  // The page's windows live on after its script, and host.later callbacks with them.
  if (ran && page.gui) RunUntilFormsClosed(*page.services);
  // A host.later callback still queued in the library's loop does nothing from now on.
  ForgetLaterCalls(page);
  // Closing the engine releases every control the page still held; only then may the library
  // be asked whether anything is left.
  engine->Close();
  CoFreeUnusedLibraries();
  bool busy = page.services != nullptr && !CanUnload(*page.services);
  std::wstring library = page.library;
  FreeServices(page);
  // A page that failed is still asked to have let go of everything: its failure decides the
  // status.
  const bool failed = !ran || page.later_failed;
  if (require_unload && busy) {
    WriteLine(true, L"velmaris: " + library + L" 仍在使用中");
    if (!failed) return 3;
  }
  return failed ? 1 : 0;
}

int Run(int argc, wchar_t** argv) {
  if (argc < 3) return Usage();
  Page page;
  for (int i = 3; i < argc; ++i) {
    if (std::wstring(argv[i]) == L"--gui") {
      page.gui = true;
      continue;
    }
    const std::wstring arg(argv[i]);
    page.args.emplace_back(arg.begin(), arg.end());
  }
  // Tests ask for proof that the page gave back every object it was handed.
  wchar_t strict[8] = {};
  DWORD length = GetEnvironmentVariableW(L"VELMARIS_REQUIRE_UNLOAD", strict, 8);
  bool require_unload = length > 0 && length < 8 && std::wstring(strict) != L"0";
  // JScript and apartment-threaded controls both live on this single-threaded apartment.
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
    WriteLine(true, L"velmaris: CoInitializeEx 失败");
    return 1;
  }
  int status = RunPage(argv[2], page, require_unload);
  CoUninitialize();
  return status;
}

std::string Utf8(const std::wstring& text) {
  return EncodeUtf8(std::u16string(text.begin(), text.end()));
}

// A control by ProgID, as a browser makes one: through the registry, then asked whether it is
// safe to script.
std::variant<MadeControl, ScriptError> MakeControl(std::string_view progid, const ComApi& api) {
  const std::u16string name = DecodeUtf8(progid);
  CLSID clsid;
  if (FAILED(CLSIDFromProgID(std::wstring(name.begin(), name.end()).c_str(), &clsid))) {
    return HostError(kCannotCreateObject, u"ActiveXObject");
  }
  IDispatch* object = nullptr;
  HRESULT hr = CoCreateInstance(clsid, nullptr, CLSCTX_INPROC_SERVER, IID_IDispatch,
                                reinterpret_cast<void**>(&object));
  if (FAILED(hr) || object == nullptr) return ErrorFromCall(hr, nullptr, api);
  IObjectSafety* safety = nullptr;
  if (SUCCEEDED(object->QueryInterface(IID_IObjectSafety, reinterpret_cast<void**>(&safety)))) {
    hr = safety->SetInterfaceSafetyOptions(IID_IDispatch, INTERFACESAFE_FOR_UNTRUSTED_CALLER,
                                           INTERFACESAFE_FOR_UNTRUSTED_CALLER);
    safety->Release();
    if (FAILED(hr)) {
      object->Release();
      return HostError(kCannotCreateObject, u"ActiveXObject");
    }
  }
  // The library's objects and the system's share one layout.
  return MadeControl{reinterpret_cast<velmaris::com::IDispatch*>(object), &api};
}

int Bridge(int argc, wchar_t** argv) {
  std::vector<std::string> args;
  for (int i = 2; i < argc; ++i) args.push_back(Utf8(argv[i]));
  std::string error;
  auto options = bridge::ParseBridgeOptions(args, error);
  if (!options) {
    const std::u16string text = DecodeUtf8(error);
    WriteLine(true, L"velmaris bridge: " + std::wstring(text.begin(), text.end()));
    return Usage();
  }
  bridge::BridgeSystem system;
  wchar_t self[MAX_PATH * 4];
  DWORD length = GetModuleFileNameW(nullptr, self, MAX_PATH * 4);
  system.program = Utf8(std::wstring(self, length));
  // Wine names no owner for any connection; Windows names every one.
  system.serve_unknown_peers = true;
  if (options->action != bridge::BridgeOptions::Action::kServe) {
    return bridge::RunBridge(*options, system);
  }
  // The controls and their loop live on this single-threaded apartment.
  if (FAILED(CoInitializeEx(nullptr, COINIT_APARTMENTTHREADED))) {
    WriteLine(true, L"velmaris: CoInitializeEx 失败");
    return 1;
  }
  int status = 1;
  {
    Page page;
    LoadServices(page);
    if (page.services == nullptr) {
      WriteLine(true, L"velmaris bridge: " +
                          std::wstring(page.services_error.begin(), page.services_error.end()));
    } else {
      const ComApi& api = *page.services;
      system.services = &api;
      system.make = [&api](std::string_view progid) { return MakeControl(progid, api); };
      status = bridge::RunBridge(*options, system);
      CoFreeUnusedLibraries();
    }
    FreeServices(page);
  }
  CoUninitialize();
  return status;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 2) return Usage();
  std::wstring command = argv[1];
  if (command == L"register" || command == L"unregister") {
    if (argc > 3) return Usage();
    return Register(argc == 3 ? argv[2] : nullptr, command == L"unregister");
  }
  if (command == L"run") return Run(argc, argv);
  if (command == L"bridge") return Bridge(argc, argv);
  return Usage();
}
