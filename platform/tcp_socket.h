// A TCP client socket control: remote host and port, asynchronous connect, queued sends with
// progress, arrived data, and the classic state numbers.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>

#include "platform/filesystem.h"

namespace velmaris {

class TcpSocket {
 public:
  enum State : int {
    kClosed = 0,
    kResolvingHost = 4,
    kHostResolved = 5,
    kConnecting = 6,
    kConnected = 7,
    kClosing = 8,  // the peer closed its side
    kError = 9,
  };

  virtual ~TcpSocket() = default;

  virtual void SetRemoteHost(const std::u16string& host) = 0;
  virtual std::u16string RemoteHost() const = 0;
  virtual void SetRemotePort(int32_t port) = 0;
  virtual int32_t RemotePort() const = 0;
  // Whether the next connection is made over TLS, the server's certificate checked against the
  // remote host's name. A connection counts as made only once its handshake is done.
  virtual void SetSecure(bool secure) = 0;

  // Starts resolving and connecting; returns at once.
  virtual void Connect() = 0;
  virtual int State() const = 0;
  // Whether TCP is connected and the TLS handshake under way: the state stays kConnecting until
  // the handshake is done, and the caller gives that step a limit of its own.
  virtual bool Handshaking() const = 0;
  // Queues bytes for sending; returns at once.
  virtual void SendData(std::string bytes) = 0;
  // Queues the first `length` bytes of the file, sent from the file as the connection takes
  // them, never read whole into memory. A file that ends before `length` fails the connection
  // with 62: the peer must not take a shorter body for the one announced.
  virtual void SendFile(FileHandle file, int64_t length) = 0;
  // Takes every byte that has arrived so far.
  virtual std::string GetData() = 0;
  virtual void Close() = 0;

  // Events, delivered on the loop's thread; none comes from a socket once Close has been called
  // (a handler that closes it hears nothing more of that connection).
  std::function<void(int64_t bytes_total)> on_data_arrival;
  // Bytes sent of what was queued since the queue was last empty, and bytes still queued.
  std::function<void(int64_t bytes_sent, int64_t bytes_remaining)> on_send_progress;
  std::function<void(int32_t number, const std::u16string& description)> on_error;
  // The peer closed the connection.
  std::function<void()> on_close;
};

using SocketFactory = std::function<std::unique_ptr<TcpSocket>()>;

}  // namespace velmaris
