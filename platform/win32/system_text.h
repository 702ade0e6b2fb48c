// The system's own words for an error number.
#pragma once

#include <string>

namespace velmaris {

// The system's text for `error` (a Winsock, Win32 or security status number), without its
// closing line break and full stop.
std::u16string SystemText(int error);

}  // namespace velmaris
