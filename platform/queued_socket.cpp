#include "platform/queued_socket.h"

#include <algorithm>

#include "base/error.h"

namespace velmaris {

QueuedSocket::Read QueuedSocket::ReadPass() {
  char buffer[64 * 1024];
  Read read;
  // One pass takes a bounded amount, so a server that sends without end cannot fill memory
  // before the data is handed on; the loop calls again while more is waiting.
  while (read.arrived < kReadPass) {
    int error = 0;
    const int64_t n = Receive(buffer, sizeof buffer, error);
    if (n > 0) {
      m_received.append(buffer, static_cast<size_t>(n));
      read.arrived += n;
      continue;
    }
    if (n == 0) {
      read.peer_closed = true;
      break;
    }
    read.error = error;
    read.drained = true;
    break;
  }
  if (read.arrived > 0) {
    const int generation = m_generation;
    if (on_data_arrival) on_data_arrival(static_cast<int64_t>(m_received.size()));
    // Its handler may have closed the socket: nothing more is reported from it.
    if (generation != m_generation) read.gone = true;
  }
  // What the system will not signal is read on soon.
  if (!read.gone && !read.drained && !read.peer_closed && read.error == 0 && HoldsUnsignalled()) {
    const int generation = m_generation;
    m_loop.Post([this, generation] {
      if (generation == m_generation && m_state == kConnected) ReadAvailable();
    });
  }
  return read;
}

void QueuedSocket::ReadAvailable() {
  const Read read = ReadPass();
  if (read.gone) return;
  if (read.error != 0) {
    Fail(read.error);
    return;
  }
  if (read.peer_closed && m_state == kConnected) {
    m_state = kClosing;
    StopWatching();
    if (on_close) on_close();
  }
}

void QueuedSocket::FailSending(int error_number) {
  // A server that refuses a request often answers and closes before it has read it all, so the
  // send fails while its answer waits unread: that answer is handed on before the failure.
  for (;;) {
    const Read read = ReadPass();
    if (read.gone) return;
    if (read.arrived == 0 || read.drained || read.peer_closed || read.error != 0) break;
  }
  Fail(error_number);
}

bool QueuedSocket::Advance(int64_t n) {
  Item& item = m_queue.front();
  item.offset += n;
  m_sent += n;
  if (item.offset == item.length) m_queue.pop_front();
  const int64_t sent = m_sent;
  const int64_t remaining = m_queued - m_sent;
  if (m_queue.empty()) {
    m_queued = m_sent = 0;
    // Nothing waits to be written any more, whatever the last write waited for.
    m_tls_write_waits = TlsIo::kDone;
  }
  const int generation = m_generation;
  if (on_send_progress) on_send_progress(sent, remaining);
  return generation == m_generation;
}

bool QueuedSocket::ReadPiece(Item& item) {
  if (item.piece_sent < item.bytes.size()) return true;
  item.bytes.resize(static_cast<size_t>(std::min(item.length - item.offset, kTlsPiece)));
  size_t got = 0;
  try {
    got = item.file.ReadAt(item.offset, item.bytes.data(), item.bytes.size());
  } catch (const VbError& error) {
    // A read error ends the connection like a send error; the loop raises nothing.
    Report(error.Number(), error.Description());
    return false;
  }
  if (got == 0) {
    FailShortFile();
    return false;
  }
  item.bytes.resize(got);
  item.piece_sent = 0;
  return true;
}

void QueuedSocket::SendData(std::string bytes) {
  if (bytes.empty()) return;
  Item item;
  item.length = static_cast<int64_t>(bytes.size());
  item.bytes = std::move(bytes);
  m_queued += item.length;
  m_queue.push_back(std::move(item));
  UpdateWatch();
}

void QueuedSocket::SendFile(FileHandle file, int64_t length) {
  if (length <= 0) return;
  Item item;
  item.file = std::move(file);
  item.length = length;
  m_queued += length;
  m_queue.push_back(std::move(item));
  UpdateWatch();
}

std::string QueuedSocket::GetData() {
  std::string data;
  data.swap(m_received);
  return data;
}

void QueuedSocket::Report(int32_t number, const std::u16string& description) {
  CloseDescriptors();
  m_state = kError;
  if (on_error) on_error(number, description);
}

void QueuedSocket::DropQueue() {
  m_queue.clear();
  m_queued = m_sent = 0;
  m_tls_read_waits = m_tls_write_waits = TlsIo::kDone;
}

void QueuedSocket::OnReady(short mask) {
  if (m_state == kConnecting) {
    if (m_tls) {
      ContinueHandshake();
    } else {
      OnConnectDone();
    }
    return;
  }
  const int generation = m_generation;
  // A read of the TLS session that had something to send goes on once there is room.
  const bool read_had_to_send =
      (mask & MessageLoop::kWritable) && m_tls_read_waits == TlsIo::kWantWrite;
  if ((mask & MessageLoop::kReadable) || read_had_to_send) ReadAvailable();
  if (generation != m_generation || m_state != kConnected) return;
  // A TLS write may have waited for the peer to speak first.
  if ((mask & MessageLoop::kWritable) || (m_tls && !m_queue.empty())) WriteQueued();
}

bool QueuedSocket::WantsRoom() const {
  if (m_tls_read_waits == TlsIo::kWantWrite) return true;
  return !m_queue.empty() && m_tls_write_waits != TlsIo::kWantRead;
}

void QueuedSocket::Fail(int error_number) {
  if (error_number == kTlsFailed) {
    const TlsFailure failure = m_tls->LastFailure();
    Report(failure.number, failure.description);
    return;
  }
  int32_t number;
  std::u16string description;
  DescribeSystemError(error_number, number, description);
  Report(number, description);
}

void QueuedSocket::ContinueHandshake() {
  switch (m_tls->Handshake()) {
    case TlsIo::kDone:
      m_state = kConnected;
      m_tls_read_waits = m_tls_write_waits = TlsIo::kDone;
      UpdateWatch();
      return;
    case TlsIo::kWantRead:
      m_loop.SetFdEvents(m_watch, MessageLoop::kReadable);
      return;
    case TlsIo::kWantWrite:
      m_loop.SetFdEvents(m_watch, MessageLoop::kWritable);
      return;
    case TlsIo::kClosed:
    case TlsIo::kFailed:
      Fail(kTlsFailed);
      return;
  }
}

}  // namespace velmaris
