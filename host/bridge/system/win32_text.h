// UTF-8 at the bridge's interfaces, UTF-16 for the wide system calls.
#pragma once

#include <string>
#include <string_view>

namespace velmaris::host::bridge {

// Malformed input becomes U+FFFD either way.
std::wstring WideText(std::string_view utf8);
std::string Utf8Text(std::wstring_view wide);

// The system's description of error `code` (a Win32 error), without its final full stop.
std::string Win32ErrorText(unsigned long code);

}  // namespace velmaris::host::bridge
