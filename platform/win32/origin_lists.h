// The origins an editor or an admin decided on for good, as registry values (one per origin, a
// DWORD 1) under Software\VelmarisClient\Bridge\AllowedOrigins and ...\RefusedOrigins, in
// HKEY_CURRENT_USER and HKEY_LOCAL_MACHINE. The bridge and the embedded controls read the same
// keys, so one decision holds for a page whichever way it reaches the controls.
#pragma once

#include <string>
#include <vector>

namespace velmaris::win32 {

inline constexpr wchar_t kOriginListsKey[] = L"Software\\VelmarisClient\\Bridge\\";

struct RegistryOrigins {
  std::vector<std::wstring> allowed, refused;
};

// The user's and the machine's lists, the user's first, each origin once, as written. A DWORD 0
// keeps an origin written down but off.
RegistryOrigins ReadRegistryOrigins();

}  // namespace velmaris::win32
