// The code pages in both directions. The input is read as GBK bytes, as UTF-8 bytes and as raw
// UTF-16. What the GBK encoder writes must decode without a replacement character and encode
// back to the same bytes; UTF-8 must round-trip exactly when, and only when, it is well formed.
#include <cstdint>
#include <string>

#include "base/codepage.h"
#include "fuzz/fuzz_support.h"

namespace {

using velmaris::fuzz::Check;
namespace codepage = velmaris::codepage;

bool IsSurrogate(char16_t c) {
  return c >= 0xD800 && c <= 0xDFFF;
}

// Text whose unpaired surrogates are replaced, as the UTF-8 encoder replaces them.
std::u16string Paired(const std::u16string& text) {
  std::u16string out = text;
  for (size_t i = 0; i < out.size(); ++i) {
    if (out[i] >= 0xD800 && out[i] <= 0xDBFF && i + 1 < out.size() && out[i + 1] >= 0xDC00 &&
        out[i + 1] <= 0xDFFF) {
      ++i;
    } else if (IsSurrogate(out[i])) {
      out[i] = u'\uFFFD';
    }
  }
  return out;
}

// The encoder's output is GBK through and through: it decodes cleanly and encodes back unchanged.
void CheckEncoded(const std::string& gbk) {
  const std::u16string decoded = codepage::FromGbk(gbk);
  Check(decoded.find(u'\uFFFD') == std::u16string::npos, "encoder wrote bytes that are not GBK");
  Check(codepage::ToGbk(decoded) == gbk, "GBK does not encode back to the same bytes");
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string_view bytes = velmaris::fuzz::Bytes(data, size);

  // Bytes from the wire or a text file, as GBK.
  const std::u16string from_gbk = codepage::FromGbk(bytes);
  Check(from_gbk.size() <= bytes.size(), "more characters than bytes");
  for (char16_t c : from_gbk) Check(!IsSurrogate(c), "GBK decoded to a surrogate");
  CheckEncoded(codepage::ToGbk(from_gbk));

  // The same bytes as UTF-8.
  const std::u16string from_utf8 = codepage::FromUtf8(bytes);
  Check(from_utf8.size() <= bytes.size(), "more units than bytes");
  Check((codepage::ToUtf8(from_utf8) == bytes) == codepage::IsValidUtf8(bytes),
        "UTF-8 round trip and validity disagree");

  // The same bytes as text in memory, with every unit UTF-16 has.
  const std::u16string text = velmaris::fuzz::Utf16Text(bytes);
  const std::string utf8 = codepage::ToUtf8(text);
  Check(codepage::IsValidUtf8(utf8), "encoder wrote malformed UTF-8");
  Check(codepage::FromUtf8(utf8) == Paired(text), "UTF-16 does not survive UTF-8");
  CheckEncoded(codepage::ToGbk(text));
  return 0;
}
