// Failed calls as a script sees them: the classic error triple, with the number being the
// HRESULT read as a signed 32-bit value, as classic script engines report it.
#pragma once

#include <cstdint>
#include <string>

#include "host/com_api.h"
#include "server/com.h"

namespace velmaris::host {

struct ScriptError {
  int32_t number = 0;
  std::u16string description;
  std::u16string source;
};

// Errors the host raises itself (classic runtime numbers in the 0x800A facility).
inline constexpr com::HRESULT kTypeMismatch = static_cast<com::HRESULT>(0x800A000Du);
inline constexpr com::HRESULT kBadFileName = static_cast<com::HRESULT>(0x800A0034u);
inline constexpr com::HRESULT kFileNotFound = static_cast<com::HRESULT>(0x800A0035u);
inline constexpr com::HRESULT kCannotCreateObject = static_cast<com::HRESULT>(0x800A01ADu);
inline constexpr com::HRESULT kPathFileAccess = static_cast<com::HRESULT>(0x800A004Bu);
inline constexpr com::HRESULT kInvalidArgument = static_cast<com::HRESULT>(0x800A0005u);

// Our own Chinese text for a failing HRESULT that came without a description.
std::u16string DescribeHresult(com::HRESULT hr);

// A script error from a failed call. With DISP_E_EXCEPTION the control's EXCEPINFO speaks (its
// strings are freed here); any other failure is reported as itself.
ScriptError ErrorFromCall(com::HRESULT hr, com::EXCEPINFO* excep, const ComApi& api);

// An error raised by the host with its own description for `hr`.
ScriptError HostError(com::HRESULT hr, std::u16string source = u"");

}  // namespace velmaris::host
