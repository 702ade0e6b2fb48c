// Text rules shared by the importing and picture controls: the test a size box's text must pass,
// and replacing a piece of text everywhere.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace velmaris {

// True for a decimal number: blanks around it, an optional sign, digits with an optional decimal
// point, and an optional exponent ("e" or "E", optional sign, digits). Empty text is no number.
bool IsNumericText(std::u16string_view text);

// The whole number nearest to a numeric text, halves to the even neighbour: 13 when the text is no
// number, 6 when the number lies outside lowest..highest (a number beyond any double included).
// A number too small for a double reads as 0.
int32_t WholeNumber(std::u16string_view text, int32_t lowest, int32_t highest);

// The same range rule for a computed number: 6 outside lowest..highest, and for NaN.
int32_t WholeNumber(double value, int32_t lowest, int32_t highest);

// Every occurrence of `from` replaced by `to` in one left-to-right pass: text that a replacement
// brings together is not looked at again. An empty `from` leaves the text as it is.
std::u16string ReplaceAll(std::u16string text, std::u16string_view from, std::u16string_view to);

}  // namespace velmaris
