// What registering the library means on this system: DllRegisterServer and DllUnregisterServer
// call these. Both answer S_OK or SELFREG_E_CLASS.
#pragma once

#include "server/com.h"

namespace velmaris::server {

// Records every creatable class with this library's path (and on Windows its type library).
com::HRESULT RegisterClasses();
// Removes every class of this library, bound or not, so nothing of an older build lingers.
com::HRESULT UnregisterClasses();

}  // namespace velmaris::server
