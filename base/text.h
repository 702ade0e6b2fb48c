// Small text helpers shared by the core and the controls. Positions count UTF-16 units.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace velmaris {

// Lower case for key comparison: keys are compared without regard to letter case.
std::u16string LowerCase(std::u16string_view text);
bool EqualsIgnoreCase(std::u16string_view a, std::u16string_view b);

// Removes leading and trailing blanks (U+0020 only: tabs and line breaks stay).
std::u16string TrimSpaces(std::u16string_view text);
// The same as a view into `text`.
std::u16string_view TrimSpacesView(std::u16string_view text);

// A folder separator in a path as users write it: "\\" or "/".
inline bool IsPathSeparator(char16_t c) {
  return c == u'\\' || c == u'/';
}

// Decimal text of a number ("-1", "0", "290").
std::u16string DecimalText(int64_t value);

// ASCII text (literals, numbers) as UTF-16.
std::u16string AsciiToU16(std::string_view ascii);

// Whether `bytes` hold `text` anywhere; the C library's fastest search where it has one.
bool HoldsBytes(std::string_view bytes, std::string_view text);

// Rounds to the nearest integer with halves to even, as the classic runtime's conversions do.
int64_t RoundHalfEven(double value);

}  // namespace velmaris
