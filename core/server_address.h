// A content server's address as a page writes it: "http://host[:port][/path]" or "https://...",
// read once into what the request header and the socket are given.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace velmaris {

inline constexpr char16_t kLoopbackHost[] = u"127.0.0.1";

// A server address, parsed once: what the request header and the socket are given.
struct ServerAddress {
  std::u16string host = kLoopbackHost;
  int32_t port = 80;
  std::u16string path;  // from the first "/", query text included
  bool secure = false;  // https: over TLS
};

// Reads "http://host[:port][/path]" or "https://host[:port][/path]". An https address without a
// port goes to 443. An http address without a port keeps the port of the http address before it
// (`before`, the last address that named one), 80 when that was https; port 0 means 80. Raises
// 0x80040000 "错误的URL" for another scheme or control characters, 13 for a port that is not a
// number, 6 for one outside 0 to 65535.
ServerAddress ParseServerAddress(std::u16string_view address, const ServerAddress& before);

}  // namespace velmaris
