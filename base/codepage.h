// Text conversions at the edges: GBK (code page 936) for the wire and text files, UTF-8 for POSIX
// paths and the terminal. Text in memory is UTF-16.
#pragma once

#include <string>
#include <string_view>

namespace velmaris::codepage {

// UTF-16 to GBK. A character GBK cannot hold is written as the decimal reference "&#N;" (N the
// code point), as browsers do for form data, so nothing is silently lost.
std::string ToGbk(std::u16string_view text);
// GBK to UTF-16. A byte sequence that is not GBK becomes U+FFFD, one per bad byte.
std::u16string FromGbk(std::string_view bytes);

// UTF-16 to UTF-8; an unpaired surrogate becomes U+FFFD.
std::string ToUtf8(std::u16string_view text);
// UTF-16 to CESU-8: every unit, a surrogate too, as its own sequence.
std::string ToCesu8(std::u16string_view text);

// What a three-byte sequence that encodes a surrogate means when read.
enum class Surrogates {
  kMalformed,    // strict UTF-8: U+FFFD for each of its bytes
  kPassThrough,  // CESU-8, or a mix of both: the unit it encodes
};
// UTF-8 to UTF-16; malformed sequences become U+FFFD, one per offending byte.
std::u16string FromUtf8(std::string_view bytes, Surrogates surrogates = Surrogates::kMalformed);
// True when the bytes are well-formed UTF-8.
bool IsValidUtf8(std::string_view bytes);

}  // namespace velmaris::codepage
