// Text at the host's edges. The controls speak UTF-16; the script engine keeps strings as bytes
// in which each UTF-16 unit is encoded on its own (CESU-8, so a character outside the BMP is two
// three-byte surrogates and the script sees the same units as the control); the terminal, files
// and command line are UTF-8.
#pragma once

#include <string>
#include <string_view>

namespace velmaris::host {

// Decodes UTF-8, CESU-8 or a mix of both (the engine may hold either). A malformed sequence
// becomes U+FFFD, one per offending byte; NUL is an ordinary character.
std::u16string DecodeUtf8(std::string_view bytes);

// The engine's form: every UTF-16 unit, surrogates included, as its own sequence.
std::string EncodeCesu8(std::u16string_view text);

// Standard UTF-8: surrogate pairs joined into one code point; an unpaired surrogate becomes U+FFFD.
std::string EncodeUtf8(std::u16string_view text);

// Engine text to standard UTF-8, for output and paths.
inline std::string ScriptToUtf8(std::string_view bytes) {
  return EncodeUtf8(DecodeUtf8(bytes));
}
// Standard UTF-8 to engine text.
inline std::string Utf8ToScript(std::string_view bytes) {
  return EncodeCesu8(DecodeUtf8(bytes));
}

}  // namespace velmaris::host
