// Bytes in and out of a connection without waiting, as a layer above (TLS) calls the one below
// (the system's socket).
#pragma once

#include <cstddef>
#include <cstdint>

#include "platform/socket_errors.h"

namespace velmaris {

// What one call of a transport came to.
struct IoResult {
  enum Outcome : uint8_t {
    kTaken,       // `count` bytes went or came; a receive of none: the peer closed its side
    kWouldBlock,  // nothing now: the loop tells when the connection is ready again
    kFailed,      // `error` says why
    kPending,     // a file goes on by itself and tells its end later
    kFileEnded,   // the file ended before the length asked for
  };
  Outcome outcome = kTaken;
  int64_t count = 0;
  NetError error;

  static IoResult Taken(int64_t count) { return {kTaken, count, {}}; }
  static IoResult Blocked() { return {kWouldBlock, 0, {}}; }
  static IoResult Failed(NetError error) { return {kFailed, 0, error}; }
};

class ByteTransport {
 public:
  virtual ~ByteTransport() = default;
  // Up to `size` bytes; `more`: more follows at once, which a system may send in one segment.
  virtual IoResult Send(const char* data, size_t size, bool more) = 0;
  virtual IoResult Receive(char* data, size_t size) = 0;
};

}  // namespace velmaris
