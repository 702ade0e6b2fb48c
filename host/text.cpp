#include "host/text.h"

#include "base/codepage.h"

namespace velmaris::host {

std::u16string DecodeUtf8(std::string_view bytes) {
  return codepage::FromUtf8(bytes, codepage::Surrogates::kPassThrough);
}

std::string EncodeCesu8(std::u16string_view text) {
  return codepage::ToCesu8(text);
}

std::string EncodeUtf8(std::u16string_view text) {
  return codepage::ToUtf8(text);
}

}  // namespace velmaris::host
