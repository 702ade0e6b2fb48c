// What every fuzz target shares: a check that stops the run with a message, and the two ways a
// target reads text out of the fuzzer's bytes.
#pragma once

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <string_view>

#include "base/codepage.h"

namespace velmaris::fuzz {

// An invariant that must hold for every input: a broken one is a finding, like a crash.
inline void Check(bool holds, const char* what) {
  if (holds) return;
  std::fprintf(stderr, "invariant broken: %s\n", what);
  std::abort();
}

inline std::string_view Bytes(const uint8_t* data, size_t size) {
  return {reinterpret_cast<const char*>(data), size};
}

// Readable seeds are UTF-8; raw UTF-16 (little-endian, an odd last byte dropped) also reaches
// lone surrogates and every other unit UTF-8 cannot spell.
inline std::u16string Utf8Text(std::string_view bytes) {
  return codepage::FromUtf8(bytes);
}
inline std::u16string Utf16Text(std::string_view bytes) {
  std::u16string text(bytes.size() / 2, u'\0');
  std::memcpy(text.data(), bytes.data(), text.size() * 2);
  return text;
}

}  // namespace velmaris::fuzz
