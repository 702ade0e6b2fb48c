// The lists are registry values, one per origin (a DWORD, 1), under the key below in
// HKEY_CURRENT_USER (the editor's) and HKEY_LOCAL_MACHINE (an installer's or an admin's).
#include "host/bridge/system/origin_store.h"

#include <windows.h>

#include "host/bridge/system/win32_text.h"
#include "platform/win32/origin_lists.h"

namespace velmaris::host::bridge {
namespace {

std::wstring ListKey(bool allowed) {
  return std::wstring(win32::kOriginListsKey) + (allowed ? L"AllowedOrigins" : L"RefusedOrigins");
}

std::vector<std::string> Utf8List(const std::vector<std::wstring>& list) {
  std::vector<std::string> out;
  for (const auto& origin : list) out.push_back(Utf8Text(origin));
  return out;
}

}  // namespace

OriginLists ReadOriginLists() {
  const win32::RegistryOrigins lists = win32::ReadRegistryOrigins();
  return {Utf8List(lists.allowed), Utf8List(lists.refused)};
}

bool RememberOrigin(const std::string& origin, bool allowed, std::string& error) {
  if (origin.empty() || origin.find_first_of("\r\n") != std::string::npos) {
    error = "无效的网站来源“" + origin + "”";
    return false;
  }
  HKEY key = nullptr;
  LONG result = RegCreateKeyExW(HKEY_CURRENT_USER, ListKey(allowed).c_str(), 0, nullptr, 0,
                                KEY_SET_VALUE, nullptr, &key, nullptr);
  if (result == ERROR_SUCCESS) {
    const DWORD on = 1;
    result = RegSetValueExW(key, WideText(origin).c_str(), 0, REG_DWORD,
                            reinterpret_cast<const BYTE*>(&on), sizeof on);
    RegCloseKey(key);
  }
  if (result != ERROR_SUCCESS) {
    error = "无法写入注册表项“HKEY_CURRENT_USER\\" + Utf8Text(ListKey(allowed)) + "”：" +
            Win32ErrorText(static_cast<unsigned long>(result));
    return false;
  }
  return true;
}

}  // namespace velmaris::host::bridge
