// Failed calls as a script sees them: the classic error triple, with the number being the
// HRESULT read as a signed 32-bit value, as classic script engines report it. Free of the COM
// declarations, so every host's sources can use it.
#pragma once

#include <cstdint>
#include <string>

namespace velmaris::com {
struct EXCEPINFO;
}

namespace velmaris::host {

struct ComApi;

struct ScriptError {
  int32_t number = 0;
  std::u16string description;
  std::u16string source;
};

// Errors the host raises itself (classic runtime numbers in the 0x800A facility).
inline constexpr int32_t kTypeMismatch = static_cast<int32_t>(0x800A000Du);
inline constexpr int32_t kBadFileName = static_cast<int32_t>(0x800A0034u);
inline constexpr int32_t kFileNotFound = static_cast<int32_t>(0x800A0035u);
inline constexpr int32_t kCannotCreateObject = static_cast<int32_t>(0x800A01ADu);
inline constexpr int32_t kPathFileAccess = static_cast<int32_t>(0x800A004Bu);
inline constexpr int32_t kInvalidArgument = static_cast<int32_t>(0x800A0005u);

// Our own Chinese text for a failing HRESULT that came without a description.
std::u16string DescribeHresult(int32_t hr);

// A script error from a failed call. With DISP_E_EXCEPTION the control's EXCEPINFO speaks (its
// strings are freed here); any other failure is reported as itself.
ScriptError ErrorFromCall(int32_t hr, com::EXCEPINFO* excep, const ComApi& api);

// The error as a browser's script engine reports a failed call: dispatch failures that have a
// classic runtime number get it (an unknown member 438, a wrong argument count 450, a type
// mismatch 13, a class nobody registered 429, ...); everything else stands as it came.
ScriptError AsScriptEngineReports(ScriptError error);

// An error raised by the host with its own description for `hr`.
ScriptError HostError(int32_t hr, std::u16string source = u"");

}  // namespace velmaris::host
