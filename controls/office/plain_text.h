// Text rules shared by the importing and picture controls: blank trimming as their texts are
// trimmed, and the test a size box's text must pass.
#pragma once

#include <string>
#include <string_view>

namespace velmaris {

// Removes leading and trailing blanks (U+0020 only: tabs and line breaks stay).
std::u16string TrimSpaces(std::u16string_view text);

// True for a decimal number: blanks around it, an optional sign, digits with an optional decimal
// point, and an optional exponent ("e" or "E", optional sign, digits). Empty text is no number.
bool IsNumericText(std::u16string_view text);

}  // namespace velmaris
