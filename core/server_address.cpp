#include "core/server_address.h"

#include "base/error.h"
#include "base/text.h"

namespace velmaris {

namespace {

[[noreturn]] void RaiseBadUrl() {
  Raise(err::kObjectError, u"Error", u"错误的URL");
}

// Reads a port written after the host's colon; blanks around the digits are allowed.
int32_t ReadPort(std::u16string_view text) {
  text = TrimSpacesView(text);
  if (text.empty()) Raise(err::kTypeMismatch);
  int64_t value = 0;
  for (char16_t c : text) {
    if (c < u'0' || c > u'9') Raise(err::kTypeMismatch);
    value = value * 10 + (c - u'0');
    if (value > 65535) Raise(err::kOverflow);
  }
  return static_cast<int32_t>(value);
}

}  // namespace

ServerAddress ParseServerAddress(std::u16string_view address, const ServerAddress& before) {
  for (char16_t c : address) {
    if (c < 0x20 || c == 0x7F) RaiseBadUrl();
  }
  ServerAddress parsed;
  std::u16string_view rest;
  if (address.size() >= 7 && LowerCase(address.substr(0, 7)) == u"http://") {
    rest = address.substr(7);
    parsed.port = before.secure ? 80 : before.port;
  } else if (address.size() >= 8 && LowerCase(address.substr(0, 8)) == u"https://") {
    rest = address.substr(8);
    parsed.secure = true;
    parsed.port = 443;
  } else {
    RaiseBadUrl();
  }
  size_t slash = rest.find(u'/');
  parsed.host = rest.substr(0, slash);
  parsed.path = slash == std::u16string_view::npos ? u"/" : std::u16string(rest.substr(slash));
  size_t colon = parsed.host.find(u':');
  if (colon != std::u16string::npos) {
    parsed.port = ReadPort(std::u16string_view(parsed.host).substr(colon + 1));
    parsed.host.resize(colon);
  }
  if (parsed.port == 0) parsed.port = 80;
  return parsed;
}

}  // namespace velmaris
