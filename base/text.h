// Small text helpers shared by the core and the controls. Positions count UTF-16 units.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace velmaris {

// Lower case for key comparison: keys are compared without regard to letter case.
std::u16string LowerCase(std::u16string_view text);
bool EqualsIgnoreCase(std::u16string_view a, std::u16string_view b);

// Decimal text of a number ("-1", "0", "290").
std::u16string DecimalText(int64_t value);

// ASCII text (literals, numbers) as UTF-16.
std::u16string AsciiToU16(std::string_view ascii);

// Rounds to the nearest integer with halves to even, as the classic runtime's conversions do.
int64_t RoundHalfEven(double value);

}  // namespace velmaris
