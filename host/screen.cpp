#include "host/screen.h"

#include <cstdio>
#include <filesystem>
#include <string>

#include "host/session.h"
#include "platform/platform_set.h"

namespace velmaris::host {

using namespace com;

bool StartScreen(duk_context* ctx) {
  std::string error;
  Library* library = SessionOf(ctx).ServiceLibrary(error);
  if (library == nullptr) {
    std::fprintf(stderr, "velmaris: %s\n", error.c_str());
    return false;
  }
  if (library->Api().use_screen == nullptr) {
    std::fprintf(stderr, "velmaris: %s 不能把窗体显示在屏幕上\n", library->Path().c_str());
    return false;
  }
  const HRESULT hr = library->Api().use_screen();
  if (hr == E_FAIL) {
    std::fputs(
        "velmaris: 没有可用的显示：请设置 DISPLAY，或用 QT_QPA_PLATFORM=offscreen 在屏幕外绘制\n",
        stderr);
    return false;
  }
  if (hr == E_NO_SCREEN_MODULE) {
    // The library looks for it beside itself.
    const auto module = std::filesystem::path(library->Path()).parent_path() / kScreenModuleFile;
    std::error_code unreadable;
    if (std::filesystem::exists(module, unreadable)) {
      std::fprintf(stderr, "velmaris: 无法载入屏幕显示模块 %s：Qt 6 没有安装或不完整\n",
                   module.c_str());
    } else {
      std::fprintf(stderr, "velmaris: 找不到屏幕显示模块 %s\n", module.c_str());
    }
    return false;
  }
  if (hr < 0) {
    std::fprintf(stderr, "velmaris: 无法把窗体显示在屏幕上，错误代码 0x%08X\n",
                 static_cast<unsigned>(hr));
    return false;
  }
  return true;
}

void ShowForm(IDispatch* object, const ComApi& api) {
  if (api.show_form == nullptr) return;
  IUnknown* identity = nullptr;
  if (object->QueryInterface(IID_IUnknown, reinterpret_cast<void**>(&identity)) != S_OK) return;
  api.show_form(identity);
  identity->Release();
}

void WaitForWindows(duk_context* ctx) {
  Library* library = SessionOf(ctx).libraries.First();
  if (library == nullptr || library->Api().run_until_forms_closed == nullptr) return;
  library->Api().run_until_forms_closed();
}

}  // namespace velmaris::host
