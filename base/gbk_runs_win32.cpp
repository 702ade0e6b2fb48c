#include <windows.h>

#include "base/gbk_runs.h"

namespace velmaris::codepage::gbk {

namespace {

constexpr UINT kGbk = 936;

// The one private-use character the system writes as a byte of no double-byte character (0xFF),
// which it cannot read back: it goes as a reference, as everything else GBK cannot hold.
constexpr char16_t kUnreadable = u'\uF8F5';

// The whole of `text` in GBK, when every character has a form there; false otherwise.
bool EncodeAll(std::u16string_view text, std::string& out) {
  if (text.empty()) return true;
  if (text.find(kUnreadable) != std::u16string_view::npos) return false;
  const auto* wide = reinterpret_cast<const wchar_t*>(text.data());
  const int units = static_cast<int>(text.size());
  BOOL substituted = FALSE;
  const int size = WideCharToMultiByte(kGbk, WC_NO_BEST_FIT_CHARS, wide, units, nullptr, 0, nullptr,
                                       &substituted);
  if (size <= 0 || substituted) return false;
  const size_t at = out.size();
  out.resize(at + static_cast<size_t>(size));
  WideCharToMultiByte(kGbk, WC_NO_BEST_FIT_CHARS, wide, units, out.data() + at, size, nullptr,
                      nullptr);
  return true;
}

// The whole of `bytes` as UTF-16, when they are well-formed GBK; false otherwise.
bool DecodeAll(std::string_view bytes, std::u16string& out) {
  if (bytes.empty()) return true;
  const int count = static_cast<int>(bytes.size());
  const int size = MultiByteToWideChar(kGbk, MB_ERR_INVALID_CHARS, bytes.data(), count, nullptr, 0);
  if (size <= 0) return false;
  const size_t at = out.size();
  out.resize(at + static_cast<size_t>(size));
  MultiByteToWideChar(kGbk, MB_ERR_INVALID_CHARS, bytes.data(), count,
                      reinterpret_cast<wchar_t*>(out.data() + at), size);
  return true;
}

}  // namespace

// The system converts a run whole or not at all: a run it refuses goes again a character at a
// time, so the caller learns where the one it cannot convert stands.
bool Encode(std::u16string_view& text, std::string& out) {
  if (EncodeAll(text, out)) {
    text = {};
    return true;
  }
  while (!text.empty()) {
    const bool pair = text.size() > 1 && text[0] >= 0xD800 && text[0] <= 0xDBFF &&
                      text[1] >= 0xDC00 && text[1] <= 0xDFFF;
    const size_t units = pair ? 2 : 1;
    if (!EncodeAll(text.substr(0, units), out)) return false;
    text.remove_prefix(units);
  }
  return true;
}

bool Decode(std::string_view& bytes, std::u16string& out) {
  if (DecodeAll(bytes, out)) {
    bytes = {};
    return true;
  }
  while (!bytes.empty()) {
    const auto lead = static_cast<unsigned char>(bytes[0]);
    const size_t length = lead >= 0x81 && lead <= 0xFE && bytes.size() > 1 ? 2 : 1;
    if (!DecodeAll(bytes.substr(0, length), out)) return false;
    bytes.remove_prefix(length);
  }
  return true;
}

}  // namespace velmaris::codepage::gbk
