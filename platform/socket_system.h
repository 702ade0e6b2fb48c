// What a system supplies for the socket control to run on it: a descriptor of its own and the
// loop's watch on it, the calls that open, connect, send, receive and send a file, name
// resolution and its TLS. Everything else (the order of those calls, the queue, the waits and the
// failures) is the socket's, the same on every system.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/byte_transport.h"
#include "platform/filesystem.h"
#include "platform/message_loop.h"
#include "platform/tls_session.h"

namespace velmaris {

class SocketSystem : public ByteTransport {
 public:
  // What a host resolved to, in the system's own form, tried in turn.
  class Addresses {
   public:
    virtual ~Addresses() = default;
    virtual size_t Count() const = 0;
  };
  // Resolves `host` and `port` on any thread, without a socket: null when nothing was found.
  // `numeric`: only a host written as an address, answered at once without asking anyone.
  using Resolver = std::shared_ptr<Addresses> (*)(const std::u16string& host, int32_t port,
                                                  bool numeric);

  // A descriptor for the address at `index`, not blocking and sending small writes at once.
  virtual NetError Open(const Addresses& addresses, size_t index) = 0;
  // Watches the descriptor on `loop`; answers the watch's id.
  virtual int Watch(MessageLoop& loop, short events, MessageLoop::FdCallback on_ready) = 0;
  // Starts connecting to that address: nothing when it is under way or made.
  virtual NetError Connect(const Addresses& addresses, size_t index) = 0;
  // How the connect ended, once the watch said so; nothing while it goes on.
  virtual std::optional<NetError> Connected() = 0;
  // A TLS session over this connection, its certificate checked against `host`.
  virtual std::unique_ptr<TlsSession> StartTls(const std::u16string& host) = 0;
  // Sends up to `length` bytes of the file from `offset`, straight from it. kPending: the
  // system goes on alone and calls `ended` (on any thread) once it is over; FileSent then tells
  // how it went.
  virtual IoResult SendFile(const FileHandle& file, int64_t offset, int64_t length,
                            std::function<void()> ended) = 0;
  virtual IoResult FileSent() { return IoResult::Blocked(); }
  // Gives up a file on its way: it tells nothing any more.
  virtual void DropFile() {}
  // The connection is to end with a reset, not a goodbye.
  virtual void Reset() = 0;
  // Closes the descriptor, if there is one.
  virtual void Close() = 0;
};

}  // namespace velmaris
