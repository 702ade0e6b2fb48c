#include "base/text.h"

#include <cmath>
#include <cstring>
#include <cwctype>

namespace velmaris {

std::u16string_view TrimSpacesView(std::u16string_view text) {
  const size_t first = text.find_first_not_of(u' ');
  if (first == std::u16string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(u' ') - first + 1);
}

std::u16string TrimSpaces(std::u16string_view text) {
  return std::u16string(TrimSpacesView(text));
}

std::u16string LowerCase(std::u16string_view text) {
  std::u16string out(text);
  for (auto& c : out) {
    if (c < 0x80) {
      if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
    } else if (c < 0xD800 || c > 0xDFFF) {
      c = static_cast<char16_t>(std::towlower(static_cast<wint_t>(c)));
    }
  }
  return out;
}

bool EqualsIgnoreCase(std::u16string_view a, std::u16string_view b) {
  return a.size() == b.size() && LowerCase(a) == LowerCase(b);
}

std::u16string DecimalText(int64_t value) {
  return AsciiToU16(std::to_string(value));
}

std::u16string AsciiToU16(std::string_view ascii) {
  return std::u16string(ascii.begin(), ascii.end());
}

int64_t RoundHalfEven(double value) {
  return static_cast<int64_t>(std::nearbyint(value));
}

bool HoldsBytes(std::string_view bytes, std::string_view text) {
#if defined(__GLIBC__)
  return memmem(bytes.data(), bytes.size(), text.data(), text.size()) != nullptr;
#else
  return bytes.find(text) != std::string_view::npos;
#endif
}

}  // namespace velmaris
