// The lists are registry values, one per origin (a DWORD, 1), under the key below in
// HKEY_CURRENT_USER (the editor's) and HKEY_LOCAL_MACHINE (an installer's or an admin's).
#include "host/bridge/system/origin_store.h"

#include <windows.h>

#include <algorithm>
#include <iterator>
#include <utility>

#include "host/bridge/system/win32_text.h"

namespace velmaris::host::bridge {
namespace {

constexpr wchar_t kBridgeKey[] = L"Software\\VelmarisClient\\Bridge\\";

std::wstring ListKey(bool allowed) {
  return std::wstring(kBridgeKey) + (allowed ? L"AllowedOrigins" : L"RefusedOrigins");
}

// Appends the key's origins to `list`, skipping those already on it. A DWORD 0 lets an admin
// keep an origin written down but off.
void ReadList(HKEY root, REGSAM view, bool allowed, std::vector<std::string>& list) {
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, ListKey(allowed).c_str(), 0, KEY_QUERY_VALUE | view, &key) !=
      ERROR_SUCCESS) {
    return;
  }
  // The longest name a value may have, and its end.
  wchar_t name[16384];
  for (DWORD index = 0;; ++index) {
    DWORD name_size = static_cast<DWORD>(std::size(name));
    DWORD type = 0, data = 1, data_size = sizeof data;
    const LONG result = RegEnumValueW(key, index, name, &name_size, nullptr, &type,
                                      reinterpret_cast<BYTE*>(&data), &data_size);
    if (result == ERROR_NO_MORE_ITEMS) break;
    if (result != ERROR_SUCCESS && result != ERROR_MORE_DATA) continue;
    if (name_size == 0 || (type == REG_DWORD && result == ERROR_SUCCESS && data == 0)) continue;
    std::string origin = Utf8Text(std::wstring_view(name, name_size));
    if (std::find(list.begin(), list.end(), origin) == list.end())
      list.push_back(std::move(origin));
  }
  RegCloseKey(key);
}

}  // namespace

OriginLists ReadOriginLists() {
  OriginLists lists;
  // The machine's key as a 64-bit installer wrote it, whatever this build's width.
  const std::pair<HKEY, REGSAM> roots[] = {{HKEY_CURRENT_USER, 0},
                                           {HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY}};
  for (const auto& [root, view] : roots) {
    ReadList(root, view, true, lists.allowed);
    ReadList(root, view, false, lists.refused);
  }
  return lists;
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
