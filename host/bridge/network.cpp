#include "host/bridge/network.h"

#include <atomic>
#include <chrono>
#include <deque>
#include <map>
#include <mutex>
#include <thread>
// Boost 1.74's Asio uses std::exchange without including its header under C++20.
#include <utility>
#include <vector>

#include <boost/asio.hpp>
#include <boost/beast/core.hpp>
#include <boost/beast/http.hpp>
#include <boost/beast/websocket.hpp>

namespace velmaris::host::bridge {

namespace asio = boost::asio;
namespace beast = boost::beast;
namespace http = beast::http;
namespace websocket = beast::websocket;
using tcp = asio::ip::tcp;
using boost::system::error_code;

namespace {

constexpr auto kRequestTime = std::chrono::seconds(30);
constexpr size_t kHeaderLimit = 16 * 1024;

class Connection;

}  // namespace

struct Network::Parts {
  explicit Parts(Visitors& given) : visitors(given) {}

  Visitors& visitors;
  asio::io_context io{1};
  std::vector<std::unique_ptr<tcp::acceptor>> acceptors;
  uint16_t port = 0;
  std::thread thread;
  ConnectionId next_id = 1;
  // Only the network thread touches these.
  std::map<ConnectionId, std::weak_ptr<Connection>> open;

  void Accept(tcp::acceptor& acceptor);
};

namespace {

class Connection : public std::enable_shared_from_this<Connection> {
 public:
  Connection(Network::Parts& parts, tcp::socket socket, ConnectionId id)
      : m_parts(parts), m_stream(std::move(socket)), m_id(id) {}

  void Start() {
    m_parser.emplace();
    m_parser->header_limit(kHeaderLimit);
    m_parser->body_limit(kHeaderLimit);
    m_stream.expires_after(kRequestTime);
    http::async_read(
        m_stream, m_buffer, *m_parser,
        [self = shared_from_this()](error_code error, size_t) { self->OnRequest(error); });
  }

  void Send(std::string text) {
    // Replies answer messages, which come only once the handshake is done.
    if (!m_accepted || m_closing) return;
    m_queue.push_back(std::move(text));
    if (m_queue.size() == 1) WriteNext();
  }

  void Close(uint16_t code) {
    if (!m_ws || m_closing) return;
    m_closing = true;
    m_ws->async_close(websocket::close_reason(code),
                      [self = shared_from_this()](error_code) { self->Finish(); });
  }

  void Shut() {
    error_code ignored;
    if (m_ws) {
      beast::get_lowest_layer(*m_ws).socket().close(ignored);
    } else {
      m_stream.socket().close(ignored);
    }
  }

 private:
  void OnRequest(error_code error) {
    if (error) return Finish();
    auto& request = m_parser->get();
    if (websocket::is_upgrade(request)) return Admit(request);
    HttpAnswer answer;
    if (request.method() == http::verb::get) {
      const auto target = request.target();
      answer = m_parts.visitors.Serve(Header(request, http::field::host),
                                      Header(request, http::field::origin),
                                      std::string_view(target.data(), target.size()));
    } else if (request.method() == http::verb::options) {
      answer.status = 204;
    } else {
      answer.status = 405;
    }
    Respond(answer);
  }

  static std::string Header(const http::request<http::string_body>& request, http::field field) {
    auto found = request.find(field);
    return found == request.end() ? std::string() : std::string(found->value());
  }

  void Respond(const HttpAnswer& answer) {
    auto response = std::make_shared<http::response<http::string_body>>(
        static_cast<http::status>(answer.status), 11);
    response->set(http::field::server, "velmaris bridge");
    response->set(http::field::cache_control, "no-store");
    // The client script is the same for every site; a page at a public address may fetch it
    // (a module import is a CORS request), after Chromium asked whether a public page may reach
    // this private one.
    response->set(http::field::access_control_allow_origin, "*");
    response->set("Access-Control-Allow-Private-Network", "true");
    if (!answer.content_type.empty()) {
      response->set(http::field::content_type, answer.content_type);
    }
    response->body() = answer.body;
    response->keep_alive(false);
    response->prepare_payload();
    http::async_write(m_stream, *response,
                      [self = shared_from_this(), response](error_code, size_t) {
                        error_code ignored;
                        self->m_stream.socket().shutdown(tcp::socket::shutdown_send, ignored);
                        self->Finish();
                      });
  }

  void Admit(const http::request<http::string_body>& request) {
    Upgrade upgrade;
    upgrade.has_origin = request.find(http::field::origin) != request.end();
    upgrade.origin = Header(request, http::field::origin);
    upgrade.host = Header(request, http::field::host);
    error_code error;
    auto peer = m_stream.socket().remote_endpoint(error);
    auto local = m_stream.socket().local_endpoint(error);
    if (error) return;
    upgrade.peer_address = peer.address().to_string();
    upgrade.peer_port = peer.port();
    upgrade.local_address = local.address().to_string();
    upgrade.local_port = local.port();
    // The decision may come from the controls' thread, after the editor answered a box.
    auto self = shared_from_this();
    m_parts.visitors.Admit(m_id, upgrade, [self](unsigned status) {
      asio::post(self->m_parts.io, [self, status] { self->Decided(status); });
    });
  }

  void Decided(unsigned status) {
    if (status != 0) {
      HttpAnswer refusal{status, "text/plain; charset=utf-8", "refused\n"};
      return Respond(refusal);
    }
    m_stream.expires_never();
    m_ws.emplace(std::move(m_stream));
    m_ws->set_option(websocket::stream_base::timeout::suggested(beast::role_type::server));
    m_ws->set_option(websocket::stream_base::decorator([](websocket::response_type& response) {
      response.set(http::field::server, "velmaris bridge");
    }));
    m_ws->read_message_max(kMessageLimit);
    m_ws->auto_fragment(false);
    m_ws->async_accept(m_parser->release(), [self = shared_from_this()](error_code error) {
      if (error) return self->Finish();
      self->m_accepted = true;
      self->Read();
    });
  }

  void Read() {
    m_ws->async_read(m_message, [self = shared_from_this()](error_code error, size_t) {
      self->OnMessage(error);
    });
  }

  void OnMessage(error_code error) {
    if (error) return Finish();
    if (!m_ws->got_text()) {
      // Requests are text; a binary frame is not one of them.
      return Close(static_cast<uint16_t>(websocket::close_code::unknown_data));
    }
    std::string text = beast::buffers_to_string(m_message.data());
    m_message.consume(m_message.size());
    m_parts.visitors.Message(m_id, std::move(text));
    Read();
  }

  void WriteNext() {
    m_ws->text(true);
    m_ws->async_write(asio::buffer(m_queue.front()),
                      [self = shared_from_this()](error_code error, size_t) {
                        if (error) return self->Finish();
                        self->m_queue.pop_front();
                        if (!self->m_queue.empty() && !self->m_closing) self->WriteNext();
                      });
  }

  // Once per accepted connection, whichever side ended it.
  void Finish() {
    if (m_finished) return;
    m_finished = true;
    m_closing = true;
    m_parts.open.erase(m_id);
    // Admitted: the visitors counted it.
    if (m_ws) m_parts.visitors.Closed(m_id);
    Shut();
  }

  Network::Parts& m_parts;
  beast::tcp_stream m_stream;
  ConnectionId m_id;
  beast::flat_buffer m_buffer;
  std::optional<http::request_parser<http::string_body>> m_parser;
  std::optional<websocket::stream<beast::tcp_stream>> m_ws;
  beast::flat_buffer m_message;
  std::deque<std::string> m_queue;
  bool m_accepted = false;
  bool m_closing = false;
  bool m_finished = false;
};

}  // namespace

void Network::Parts::Accept(tcp::acceptor& acceptor) {
  acceptor.async_accept([this, &acceptor](error_code error, tcp::socket socket) {
    if (error == asio::error::operation_aborted) return;
    if (!error) {
      socket.set_option(tcp::no_delay(true), error);
      const ConnectionId id = next_id++;
      auto connection = std::make_shared<Connection>(*this, std::move(socket), id);
      open[id] = connection;
      connection->Start();
    }
    Accept(acceptor);
  });
}

namespace {

std::unique_ptr<tcp::acceptor> Bind(asio::io_context& io, const asio::ip::address& address,
                                    uint16_t port, error_code& error) {
  auto acceptor = std::make_unique<tcp::acceptor>(io);
  const tcp::endpoint endpoint(address, port);
  acceptor->open(endpoint.protocol(), error);
  if (error) return nullptr;
  if (address.is_v6()) acceptor->set_option(asio::ip::v6_only(true), error);
#ifndef _WIN32
  // A restarted bridge takes its port back at once; on Windows the same option would let
  // another program share the port, so it is left off there.
  acceptor->set_option(asio::socket_base::reuse_address(true), error);
#endif
  acceptor->bind(endpoint, error);
  if (error) return nullptr;
  acceptor->listen(asio::socket_base::max_listen_connections, error);
  if (error) return nullptr;
  return acceptor;
}

}  // namespace

std::unique_ptr<Network> Network::Listen(uint16_t port, Visitors& visitors, std::string& error) {
  auto parts = std::make_unique<Parts>(visitors);
  const auto v4 = asio::ip::make_address("127.0.0.1");
  const auto v6 = asio::ip::make_address("::1");
  // With port 0 the system picks one on 127.0.0.1; [::1] must then get the same, which another
  // program may hold: a few tries.
  for (int attempt = 0; attempt < 8; ++attempt) {
    parts->acceptors.clear();
    error_code failure;
    auto first = Bind(parts->io, v4, port, failure);
    if (!first) {
      error = "127.0.0.1:" + std::to_string(port) + ": " + failure.message();
      return nullptr;
    }
    const uint16_t bound = first->local_endpoint().port();
    parts->acceptors.push_back(std::move(first));
    auto second = Bind(parts->io, v6, bound, failure);
    if (second) {
      parts->acceptors.push_back(std::move(second));
    } else if (failure == asio::error::address_in_use && port == 0) {
      continue;
    }
    // Without IPv6 on loopback the bridge serves 127.0.0.1 alone.
    parts->port = bound;
    return std::unique_ptr<Network>(new Network(std::move(parts)));
  }
  error = "no port free on both 127.0.0.1 and [::1]";
  return nullptr;
}

Network::Network(std::unique_ptr<Parts> parts) : m_parts(std::move(parts)) {}

Network::~Network() {
  Stop();
}

uint16_t Network::Port() const {
  return m_parts->port;
}

void Network::Start() {
  for (auto& acceptor : m_parts->acceptors) m_parts->Accept(*acceptor);
  m_parts->thread = std::thread([this] { m_parts->io.run(); });
}

void Network::Send(ConnectionId connection, std::string text) {
  asio::post(m_parts->io, [this, connection, text = std::move(text)]() mutable {
    auto found = m_parts->open.find(connection);
    if (found == m_parts->open.end()) return;
    if (auto live = found->second.lock()) live->Send(std::move(text));
  });
}

void Network::Close(ConnectionId connection, uint16_t code) {
  asio::post(m_parts->io, [this, connection, code] {
    auto found = m_parts->open.find(connection);
    if (found == m_parts->open.end()) return;
    if (auto live = found->second.lock()) live->Close(code);
  });
}

void Network::Stop() {
  if (!m_parts->thread.joinable()) return;
  asio::post(m_parts->io, [this] {
    for (auto& acceptor : m_parts->acceptors) {
      error_code ignored;
      acceptor->close(ignored);
    }
    auto open = m_parts->open;
    for (auto& [id, weak] : open) {
      if (auto live = weak.lock()) live->Shut();
    }
  });
  // Connections end as their sockets close; the loop stops when nothing is left to do.
  m_parts->thread.join();
}

}  // namespace velmaris::host::bridge
