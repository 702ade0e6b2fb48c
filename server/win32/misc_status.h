// How a container treats the controls: registered under MiscStatus and answered by
// IOleObject::GetMiscStatus, so both always agree.
#pragma once

#include <windows.h>

#include <oleidl.h>

namespace velmaris::server::win32 {

inline constexpr DWORD kMiscStatus = OLEMISC_RECOMPOSEONRESIZE | OLEMISC_CANTLINKINSIDE |
                                     OLEMISC_INSIDEOUT | OLEMISC_ACTIVATEWHENVISIBLE |
                                     OLEMISC_SETCLIENTSITEFIRST;

}  // namespace velmaris::server::win32
