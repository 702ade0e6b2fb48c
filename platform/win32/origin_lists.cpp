#include "platform/win32/origin_lists.h"

#include <windows.h>

#include <algorithm>
#include <iterator>
#include <utility>

namespace velmaris::win32 {
namespace {

// Appends the key's origins to `list`, skipping those already on it.
void ReadList(HKEY root, REGSAM view, const wchar_t* name, std::vector<std::wstring>& list) {
  HKEY key = nullptr;
  const std::wstring path = std::wstring(kOriginListsKey) + name;
  if (RegOpenKeyExW(root, path.c_str(), 0, KEY_QUERY_VALUE | view, &key) != ERROR_SUCCESS) return;
  // The longest name a value may have, and its end.
  wchar_t value[16384];
  for (DWORD index = 0;; ++index) {
    DWORD value_size = static_cast<DWORD>(std::size(value));
    DWORD type = 0, data = 1, data_size = sizeof data;
    const LONG result = RegEnumValueW(key, index, value, &value_size, nullptr, &type,
                                      reinterpret_cast<BYTE*>(&data), &data_size);
    if (result == ERROR_NO_MORE_ITEMS) break;
    if (result != ERROR_SUCCESS && result != ERROR_MORE_DATA) continue;
    if (value_size == 0 || (type == REG_DWORD && result == ERROR_SUCCESS && data == 0)) continue;
    std::wstring origin(value, value_size);
    if (std::find(list.begin(), list.end(), origin) == list.end())
      list.push_back(std::move(origin));
  }
  RegCloseKey(key);
}

}  // namespace

RegistryOrigins ReadRegistryOrigins() {
  RegistryOrigins lists;
  // The machine's key as a 64-bit installer wrote it, whatever this build's width.
  const std::pair<HKEY, REGSAM> roots[] = {{HKEY_CURRENT_USER, 0},
                                           {HKEY_LOCAL_MACHINE, KEY_WOW64_64KEY}};
  for (const auto& [root, view] : roots) {
    ReadList(root, view, L"AllowedOrigins", lists.allowed);
    ReadList(root, view, L"RefusedOrigins", lists.refused);
  }
  return lists;
}

}  // namespace velmaris::win32
