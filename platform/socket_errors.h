// The socket control's error numbers and descriptions, the same on every system: the classic
// Winsock numbers for the errors a page may meet and tell apart.
#pragma once

#include <cstdint>
#include <string>

namespace velmaris {

// A name that could not be resolved.
inline constexpr int kHostNotFound = 11001;

// The number and description for a system error given as errno (or kHostNotFound). An error the
// table does not name gets 10000 + the number and the system's own text.
void SocketErrorFor(int system_error, int32_t& number, std::u16string& description);

}  // namespace velmaris
