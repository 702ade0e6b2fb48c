// The bridge's side of the network: HTTP and WebSocket on the loopback addresses, on a thread of
// its own. It knows frames and requests, not controls: what comes in goes to its Visitors, and
// replies come back through Send from any thread.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "host/bridge/calls.h"

namespace velmaris::host::bridge {

inline constexpr size_t kMessageLimit = 1 << 20;

// What the network knows of a WebSocket upgrade before it accepts it.
struct Upgrade {
  std::string origin;  // empty when the request has none
  bool has_origin = false;
  std::string host;  // the Host header
  std::string peer_address, local_address;
  uint16_t peer_port = 0, local_port = 0;
};

// An HTTP answer to a request that is not an upgrade.
struct HttpAnswer {
  unsigned status = 404;
  std::string content_type;
  std::string body;
};

// Every call comes on the network thread.
class Visitors {
 public:
  virtual ~Visitors() = default;
  // Whether a connection may be upgraded: `decide` is called once, on any thread, with the
  // HTTP status to refuse with (0 to accept).
  virtual void Admit(ConnectionId connection, const Upgrade& upgrade,
                     std::function<void(unsigned status)> decide) = 0;
  // A plain GET (the client scripts, a form's picture): its Host and Origin headers (empty when
  // it has none) and its target.
  virtual HttpAnswer Serve(std::string_view host, std::string_view origin,
                           std::string_view target) = 0;
  // A text frame of an accepted connection.
  virtual void Message(ConnectionId connection, std::string text) = 0;
  // An accepted connection ended, whoever closed it.
  virtual void Closed(ConnectionId connection) = 0;
};

class Network {
 public:
  // Listens on 127.0.0.1:port and [::1]:port (port 0: a free one, the same on both; [::1] only
  // where the machine has it). Null, with the reason, when it cannot.
  static std::unique_ptr<Network> Listen(uint16_t port, Visitors& visitors, std::string& error);
  ~Network();  // Stop()
  Network(const Network&) = delete;
  Network& operator=(const Network&) = delete;

  uint16_t Port() const;
  // Starts serving on the network thread.
  void Start();
  // Queues a text frame for a connection; from any thread. Dropped once the connection is gone.
  void Send(ConnectionId connection, std::string text);
  // Closes a connection with a WebSocket close code; from any thread.
  void Close(ConnectionId connection, uint16_t code);
  // Closes every connection and waits for the network thread to end.
  void Stop();

  // The listening sockets, the connections and the thread serving them.
  struct Parts;

 private:
  explicit Network(std::unique_ptr<Parts> parts);
  std::unique_ptr<Parts> m_parts;
};

}  // namespace velmaris::host::bridge
