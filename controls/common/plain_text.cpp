#include "controls/common/plain_text.h"

#include <charconv>
#include <limits>
#include <string>

#include "base/error.h"
#include "base/text.h"

namespace velmaris {

namespace {

bool IsBlank(char16_t c) {
  return c == u' ' || c == u'\t';
}
bool IsDigit(char16_t c) {
  return c >= u'0' && c <= u'9';
}

// Whether a number that no double holds (from_chars says out of range) is too large for one rather
// than too small: its first significant digit stands at a place of ten to the power zero or more.
bool BeyondDouble(std::string_view number) {
  int64_t integer_digits = 0;
  int64_t first_significant = -1;  // among all digits, integer and fraction
  int64_t digits = 0;
  bool point = false;
  size_t i = 0;
  for (; i < number.size() && number[i] != 'e' && number[i] != 'E'; ++i) {
    if (number[i] == '.') {
      point = true;
    } else if (number[i] >= '0' && number[i] <= '9') {
      if (first_significant < 0 && number[i] != '0') first_significant = digits;
      ++digits;
      if (!point) ++integer_digits;
    }
  }
  if (first_significant < 0) return false;
  int64_t exponent = 0;
  bool negative = false;
  for (++i; i < number.size(); ++i) {
    if (number[i] == '-') negative = true;
    // Saturates: any exponent past a million is far outside a double either way.
    if (number[i] >= '0' && number[i] <= '9' && exponent < 1000000) {
      exponent = exponent * 10 + (number[i] - '0');
    }
  }
  return integer_digits - 1 - first_significant + (negative ? -exponent : exponent) >= 0;
}

// The value of a numeric text as a double: infinite beyond a double's range, 0 below it.
double NumericValue(std::u16string_view text) {
  std::string ascii;
  for (char16_t c : text) {
    if (!IsBlank(c) && c != u'+') ascii.push_back(static_cast<char>(c));
  }
  double value = 0;
  const auto [stop, error] = std::from_chars(ascii.data(), ascii.data() + ascii.size(), value);
  if (error == std::errc::result_out_of_range) {
    if (!BeyondDouble(ascii)) return 0;
    const double infinite = std::numeric_limits<double>::infinity();
    return ascii.front() == '-' ? -infinite : infinite;
  }
  return value;
}

}  // namespace

bool IsNumericText(std::u16string_view text) {
  size_t i = 0;
  const size_t n = text.size();
  while (i < n && IsBlank(text[i])) ++i;
  if (i < n && (text[i] == u'+' || text[i] == u'-')) ++i;
  size_t digits = 0;
  while (i < n && IsDigit(text[i])) ++i, ++digits;
  if (i < n && text[i] == u'.') {
    ++i;
    while (i < n && IsDigit(text[i])) ++i, ++digits;
  }
  if (digits == 0) return false;
  if (i < n && (text[i] == u'e' || text[i] == u'E')) {
    ++i;
    if (i < n && (text[i] == u'+' || text[i] == u'-')) ++i;
    size_t exponent_digits = 0;
    while (i < n && IsDigit(text[i])) ++i, ++exponent_digits;
    if (exponent_digits == 0) return false;
  }
  while (i < n && IsBlank(text[i])) ++i;
  return i == n;
}

int32_t WholeNumber(std::u16string_view text, int32_t lowest, int32_t highest) {
  if (!IsNumericText(text)) Raise(err::kTypeMismatch);
  return WholeNumber(NumericValue(text), lowest, highest);
}

int32_t WholeNumber(double value, int32_t lowest, int32_t highest) {
  // Compared before rounding, so only numbers near the range ever reach the integer conversion.
  if (!(value > lowest - 1.0 && value < highest + 1.0)) Raise(err::kOverflow);
  const int64_t whole = RoundHalfEven(value);
  if (whole < lowest || whole > highest) Raise(err::kOverflow);
  return static_cast<int32_t>(whole);
}

std::u16string ReplaceAll(std::u16string text, std::u16string_view from, std::u16string_view to) {
  if (from.empty()) return text;
  std::u16string out;
  size_t done = 0;
  for (size_t at = text.find(from); at != std::u16string::npos; at = text.find(from, done)) {
    if (done == 0) out.reserve(text.size());
    out.append(text, done, at - done);
    out.append(to);
    done = at + from.size();
  }
  if (done == 0) return text;
  out.append(text, done, std::u16string::npos);
  return out;
}

}  // namespace velmaris
