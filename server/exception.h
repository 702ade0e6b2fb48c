// Where an error raised inside a control becomes a failed call: DISP_E_EXCEPTION with EXCEPINFO.
#pragma once

#include <functional>

#include "server/com.h"

namespace velmaris::server {

// The status a script sees for an error number: numbers below 65536 in the classic runtime's
// range (0x800A0000 | number), full HRESULTs as they are.
com::HRESULT ScodeOf(int32_t number);

// Runs `body`. An error escaping it becomes DISP_E_EXCEPTION with `excep` (when given) filled:
// a VbError with its number, source and description; any other exception as E_FAIL with its text.
com::HRESULT RunGuarded(com::EXCEPINFO* excep, const std::function<void()>& body);

}  // namespace velmaris::server
