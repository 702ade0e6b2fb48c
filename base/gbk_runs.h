// The system's GBK (code page 936) converter, as the code page functions use it: each call
// converts from the start of its input as far as it can and reports whether it reached the end.
// On false the input starts at the character (or byte) that cannot be converted; the caller
// decides what stands for it. iconv on POSIX systems, the system's own code page on Windows.
#pragma once

#include <string>
#include <string_view>

namespace velmaris::codepage::gbk {

bool Encode(std::u16string_view& text, std::string& out);
bool Decode(std::string_view& bytes, std::u16string& out);

}  // namespace velmaris::codepage::gbk
