#include "base/codepage.h"

#include "base/gbk_runs.h"

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <type_traits>

namespace velmaris::codepage {

namespace {

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// Decodes one UTF-8 sequence at `i`; returns the code point and advances `i`, or returns
// U+FFFD and advances by one byte when the sequence is malformed.
char32_t DecodeUtf8(std::string_view s, size_t& i, Surrogates surrogates) {
  auto byte = [&](size_t k) { return static_cast<unsigned char>(s[k]); };
  unsigned char b0 = byte(i);
  if (b0 < 0x80) {
    ++i;
    return b0;
  }
  int len = 0;
  char32_t cp = 0;
  char32_t min = 0;
  if ((b0 & 0xE0) == 0xC0) {
    len = 2, cp = b0 & 0x1F, min = 0x80;
  } else if ((b0 & 0xF0) == 0xE0) {
    len = 3, cp = b0 & 0x0F, min = 0x800;
  } else if ((b0 & 0xF8) == 0xF0) {
    len = 4, cp = b0 & 0x07, min = 0x10000;
  } else {
    ++i;
    return 0xFFFD;
  }
  if (i + len > s.size()) {
    ++i;
    return 0xFFFD;
  }
  for (int k = 1; k < len; ++k) {
    unsigned char b = byte(i + k);
    if ((b & 0xC0) != 0x80) {
      ++i;
      return 0xFFFD;
    }
    cp = (cp << 6) | (b & 0x3F);
  }
  const bool surrogate = cp >= 0xD800 && cp <= 0xDFFF;
  if (cp < min || cp > 0x10FFFF || (surrogate && surrogates == Surrogates::kMalformed)) {
    ++i;
    return 0xFFFD;
  }
  i += len;
  return cp;
}

// ASCII is the same in GBK. A run of it is copied directly, many times faster than the converter
// takes it; shorter runs stay with the converter, whose call costs more than a few characters.
constexpr size_t kAsciiRun = 16;

// Where the first ASCII run of at least kAsciiRun units starts, at `from` or after; the end of
// the text when there is none.
template <typename Unit>
size_t NextAsciiRun(std::basic_string_view<Unit> text, size_t from) {
  size_t run = 0;
  for (size_t i = from; i < text.size(); ++i) {
    if (static_cast<std::make_unsigned_t<Unit>>(text[i]) >= 0x80) {
      run = 0;
    } else if (++run == kAsciiRun) {
      return i + 1 - kAsciiRun;
    }
  }
  return text.size();
}

// Copies the ASCII run at `i` to `out`, widening or narrowing each unit; returns where it ends.
template <typename Unit, typename String>
size_t CopyAscii(std::basic_string_view<Unit> text, size_t i, String& out) {
  const size_t start = i;
  while (i < text.size() && static_cast<std::make_unsigned_t<Unit>>(text[i]) < 0x80) ++i;
  // Resized and filled in place: appending a range of another unit type would build it whole
  // in a temporary string first.
  const size_t at = out.size();
  out.resize(at + (i - start));
  std::copy(text.begin() + static_cast<ptrdiff_t>(start), text.begin() + static_cast<ptrdiff_t>(i),
            out.begin() + static_cast<ptrdiff_t>(at));
  return i;
}

void AppendGbk(std::u16string_view text, std::string& out) {
  while (!gbk::Encode(text, out)) {
    // The character that starts `text` has no GBK form: its code point as a decimal reference.
    char32_t cp = text[0];
    size_t units = 1;
    if (cp >= 0xD800 && cp <= 0xDBFF && text.size() > 1 && text[1] >= 0xDC00 && text[1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[1] - 0xDC00);
      units = 2;
    }
    out += "&#" + std::to_string(static_cast<uint32_t>(cp)) + ";";
    text.remove_prefix(units);
  }
}

void AppendFromGbk(std::string_view bytes, std::u16string& text) {
  while (!gbk::Decode(bytes, text)) {
    text += u'\uFFFD';
    bytes.remove_prefix(1);
  }
}

}  // namespace

std::string ToGbk(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size();) {
    const size_t run = NextAsciiRun(text, i);
    AppendGbk(text.substr(i, run - i), out);
    i = CopyAscii(text, run, out);
  }
  return out;
}

std::u16string FromGbk(std::string_view bytes) {
  // Straight into the text: a byte gives at most one unit.
  std::u16string text;
  text.reserve(bytes.size());
  for (size_t i = 0; i < bytes.size();) {
    const size_t run = NextAsciiRun(bytes, i);
    if (run > i) {
      // The run's first byte may end a double-byte character: it goes to the converter with
      // what precedes it, so the copy starts on a character of its own.
      const size_t end = std::min(run + 1, bytes.size());
      AppendFromGbk(bytes.substr(i, end - i), text);
      i = end;
    }
    i = CopyAscii(bytes, i, text);
  }
  return text;
}

std::string ToUtf8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    char32_t cp = text[i];
    if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
        text[i + 1] <= 0xDFFF) {
      cp = 0x10000 + ((cp - 0xD800) << 10) + (text[i + 1] - 0xDC00);
      ++i;
    } else if (cp >= 0xD800 && cp <= 0xDFFF) {
      cp = 0xFFFD;
    }
    AppendUtf8(out, cp);
  }
  return out;
}

std::string ToCesu8(std::u16string_view text) {
  std::string out;
  out.reserve(text.size() * 3);
  for (char16_t unit : text) AppendUtf8(out, unit);
  return out;
}

std::u16string FromUtf8(std::string_view bytes, Surrogates surrogates) {
  std::u16string out;
  out.reserve(bytes.size());
  size_t i = 0;
  while (i < bytes.size()) {
    char32_t cp = DecodeUtf8(bytes, i, surrogates);
    if (cp >= 0x10000) {
      cp -= 0x10000;
      out += static_cast<char16_t>(0xD800 + (cp >> 10));
      out += static_cast<char16_t>(0xDC00 + (cp & 0x3FF));
    } else {
      out += static_cast<char16_t>(cp);
    }
  }
  return out;
}

bool IsValidUtf8(std::string_view bytes) {
  size_t i = 0;
  while (i < bytes.size()) {
    size_t at = i;
    char32_t cp = DecodeUtf8(bytes, i, Surrogates::kMalformed);
    if (cp == 0xFFFD && !(i - at == 3 && bytes.substr(at, 3) == "\xEF\xBF\xBD")) return false;
  }
  return true;
}

}  // namespace velmaris::codepage
