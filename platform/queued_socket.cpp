#include "platform/queued_socket.h"

#include <algorithm>
#include <thread>

#include "base/error.h"

namespace velmaris {

void QueuedSocket::Anchor::Post(const std::shared_ptr<Anchor>& anchor, MessageLoop::Callback step) {
  std::lock_guard<std::mutex> lock(anchor->m_mutex);
  if (anchor->m_loop == nullptr) return;
  anchor->m_loop->Post([anchor, step = std::move(step)] {
    {
      std::lock_guard<std::mutex> inner(anchor->m_mutex);
      if (anchor->m_loop == nullptr) return;
    }
    // Detached only on the loop's thread: the socket stays while the step runs.
    step();
  });
}

void QueuedSocket::Anchor::Detach() {
  std::lock_guard<std::mutex> lock(m_mutex);
  m_loop = nullptr;
}

QueuedSocket::QueuedSocket(MessageLoop& loop, std::unique_ptr<SocketSystem> system,
                           SocketSystem::Resolver resolve)
    : m_loop(loop),
      m_system(std::move(system)),
      m_resolve(resolve),
      m_anchor(std::make_shared<Anchor>(loop)) {}

QueuedSocket::~QueuedSocket() {
  on_data_arrival = nullptr;
  on_send_progress = nullptr;
  on_error = nullptr;
  on_close = nullptr;
  Close();
  // A resolver still running, or a file the system still sends, finds nobody to answer.
  m_anchor->Detach();
}

void QueuedSocket::Connect() {
  Close();
  m_state = kResolvingHost;
  if (auto numeric = m_resolve(m_remote_host, m_remote_port, true)) {
    OnResolved(std::move(numeric));
    return;
  }
  // A name: resolved off the loop's thread so the loop keeps running. The thread touches the
  // socket only through the anchor, on the loop's thread.
  std::thread([this, anchor = m_anchor, resolve = m_resolve, host = m_remote_host,
               port = m_remote_port, generation = m_generation] {
    std::shared_ptr<SocketSystem::Addresses> found = resolve(host, port, false);
    Anchor::Post(anchor, [this, generation, found = std::move(found)] {
      if (generation == m_generation && m_state == kResolvingHost) OnResolved(found);
    });
  }).detach();
}

void QueuedSocket::OnResolved(std::shared_ptr<SocketSystem::Addresses> addresses) {
  if (addresses == nullptr || addresses->Count() == 0) {
    Fail({NetFault::kHostNotFound});
    return;
  }
  m_state = kHostResolved;
  m_addresses = std::move(addresses);
  m_next_address = 0;
  TryNextAddress();
}

void QueuedSocket::TryNextAddress() {
  NetError last{NetFault::kRefused};
  while (m_next_address < m_addresses->Count()) {
    const size_t index = m_next_address++;
    last = m_system->Open(*m_addresses, index);
    if (last) continue;
    // Watched before connecting: some systems stop blocking only once watched.
    m_watch =
        m_system->Watch(m_loop, MessageLoop::kWritable, [this](short mask) { OnReady(mask); });
    last = m_system->Connect(*m_addresses, index);
    if (!last) {
      m_state = kConnecting;
      return;
    }
    StopWatching();
    m_system->Close();
  }
  Fail(last);
}

void QueuedSocket::OnConnectDone() {
  const std::optional<NetError> outcome = m_system->Connected();
  if (!outcome) return;
  if (*outcome) {
    StopWatching();
    m_system->Close();
    if (m_next_address < m_addresses->Count()) {
      TryNextAddress();
      return;
    }
    Fail(*outcome);
    return;
  }
  m_addresses.reset();
  if (m_secure) {
    // The connection counts as made once the handshake is done; until then it tells that the
    // handshake is under way, for the caller to give that step its own limit.
    m_tls = m_system->StartTls(m_remote_host);
    ContinueHandshake();
    return;
  }
  m_state = kConnected;
  UpdateWatch();
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
      Fail({});
      return;
  }
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

IoResult QueuedSocket::ReceiveSome(char* data, size_t size) {
  if (!m_tls) return m_system->Receive(data, size);
  size_t done = 0;
  m_tls_read_waits = m_tls->Read(data, size, done);
  return ThroughTls(m_tls_read_waits, done);
}

IoResult QueuedSocket::SendSome(const char* data, size_t size, bool more) {
  if (!m_tls) return m_system->Send(data, size, more);
  size_t done = 0;
  m_tls_write_waits = m_tls->Write(data, size, done);
  return ThroughTls(m_tls_write_waits, done);
}

IoResult QueuedSocket::ThroughTls(TlsIo io, size_t done) const {
  switch (io) {
    case TlsIo::kDone:
      return IoResult::Taken(static_cast<int64_t>(done));
    case TlsIo::kClosed:
      return IoResult::Taken(0);
    case TlsIo::kWantRead:
    case TlsIo::kWantWrite:
      return IoResult::Blocked();
    case TlsIo::kFailed:
      break;
  }
  // The transport's failure, or none for the session's own.
  return IoResult::Failed(m_tls->LastFailure().transport);
}

QueuedSocket::Read QueuedSocket::ReadPass() {
  char buffer[64 * 1024];
  Read read;
  // One pass takes a bounded amount, so a server that sends without end cannot fill memory
  // before the data is handed on; the loop calls again while more is waiting.
  while (read.arrived < kReadPass) {
    const IoResult got = ReceiveSome(buffer, sizeof buffer);
    if (got.outcome == IoResult::kTaken && got.count > 0) {
      m_received.append(buffer, static_cast<size_t>(got.count));
      read.arrived += got.count;
      continue;
    }
    if (got.outcome == IoResult::kTaken) {
      read.peer_closed = true;
      break;
    }
    read.failed = got.outcome == IoResult::kFailed;
    read.error = got.error;
    read.drained = true;
    break;
  }
  if (read.arrived > 0) {
    const int generation = m_generation;
    if (on_data_arrival) on_data_arrival(static_cast<int64_t>(m_received.size()));
    // Its handler may have closed the socket: nothing more is reported from it.
    if (generation != m_generation) read.gone = true;
  }
  // Bytes decrypted inside the TLS session, which the system will not signal, are read soon.
  if (!read.gone && !read.drained && !read.peer_closed && m_tls && m_tls->HasPending()) {
    Anchor::Post(m_anchor, [this, generation = m_generation] {
      if (generation == m_generation && m_state == kConnected) ReadAvailable();
    });
  }
  return read;
}

void QueuedSocket::ReadAvailable() {
  const Read read = ReadPass();
  if (read.gone) return;
  if (read.failed) {
    Fail(read.error);
    return;
  }
  if (read.peer_closed && m_state == kConnected) {
    m_state = kClosing;
    StopWatching();
    if (on_close) on_close();
  }
}

void QueuedSocket::WriteQueued() {
  if (m_file_pending) return;
  // Encrypted bytes of the last record go before anything else.
  if (m_tls && m_tls->HasUnsent() && m_queue.empty()) {
    const IoResult flushed = SendSome(nullptr, 0, false);
    if (flushed.outcome == IoResult::kFailed) {
      FailSending(flushed.error);
      return;
    }
  }
  int64_t pass = 0;
  while (!m_queue.empty() && m_state == kConnected) {
    if (pass >= kWritePass) {
      PostNextPass();
      break;
    }
    Item& item = m_queue.front();
    const int64_t left = std::min(item.length - item.offset, kWritePass);
    IoResult sent;
    if (item.file.IsOpen() && !m_tls) {
      // From the file to the connection inside the system: no copy passes through here.
      sent = m_system->SendFile(item.file, item.offset, left,
                                [this, anchor = m_anchor, generation = m_generation] {
                                  Anchor::Post(anchor, [this, generation] {
                                    if (generation == m_generation && m_file_pending) OnFileSent();
                                  });
                                });
      m_file_pending = sent.outcome == IoResult::kPending;
      if (m_file_pending) break;
    } else if (item.file.IsOpen()) {
      // Through the TLS session a piece at a time, read from the file as it goes.
      if (!ReadPiece(item)) return;
      sent =
          SendSome(item.bytes.data() + item.piece_sent, item.bytes.size() - item.piece_sent, true);
      if (sent.outcome == IoResult::kTaken) item.piece_sent += static_cast<size_t>(sent.count);
    } else {
      // More follows: a short text and the file after it may share a segment.
      sent =
          SendSome(item.bytes.data() + item.offset, static_cast<size_t>(left), m_queue.size() > 1);
    }
    if (sent.outcome == IoResult::kWouldBlock) break;
    if (sent.outcome == IoResult::kFileEnded) {
      FailShortFile();
      return;
    }
    if (sent.outcome == IoResult::kFailed) {
      FailSending(sent.error);
      return;
    }
    pass += sent.count;
    if (!Advance(sent.count)) return;
  }
  UpdateWatch();
}

void QueuedSocket::PostNextPass() {
  if (m_pass_posted) return;
  m_pass_posted = true;
  Anchor::Post(m_anchor, [this, generation = m_generation] {
    if (generation != m_generation) return;
    m_pass_posted = false;
    if (m_state == kConnected) WriteQueued();
  });
}

void QueuedSocket::OnFileSent() {
  m_file_pending = false;
  const IoResult sent = m_system->FileSent();
  if (sent.outcome == IoResult::kFailed) {
    FailSending(sent.error);
    return;
  }
  if (sent.outcome == IoResult::kFileEnded) {
    FailShortFile();
    return;
  }
  if (!Advance(sent.count)) return;
  WriteQueued();
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

void QueuedSocket::UpdateWatch() {
  if (m_watch == 0) return;
  short events = MessageLoop::kReadable;
  // A file piece on its way and a pass already posted tell their own end.
  if ((WantsRoom() && !m_file_pending && !m_pass_posted) || (m_tls && m_tls->HasUnsent())) {
    events |= MessageLoop::kWritable;
  }
  m_loop.SetFdEvents(m_watch, events);
}

bool QueuedSocket::WantsRoom() const {
  if (m_tls_read_waits == TlsIo::kWantWrite) return true;
  return !m_queue.empty() && m_tls_write_waits != TlsIo::kWantRead;
}

void QueuedSocket::FailSending(NetError error) {
  // A server that refuses a request often answers and closes before it has read it all, so the
  // send fails while its answer waits unread: that answer is handed on before the failure.
  for (;;) {
    const Read read = ReadPass();
    if (read.gone) return;
    if (read.arrived == 0 || read.drained || read.peer_closed || read.failed) break;
  }
  Fail(error);
}

void QueuedSocket::Fail(NetError error) {
  if (!error && m_tls) {
    const TlsFailure failure = m_tls->LastFailure();
    Report(failure.number, failure.description);
    return;
  }
  int32_t number;
  std::u16string description;
  SocketErrorFor(error, number, description);
  Report(number, description);
}

void QueuedSocket::FailShortFile() {
  // Reset rather than closed, so that no server can take the bytes it got for a whole request.
  m_system->Reset();
  Report(err::kPastEndOfFile, DefaultDescription(err::kPastEndOfFile));
}

void QueuedSocket::Report(int32_t number, const std::u16string& description) {
  CloseDescriptors();
  m_state = kError;
  if (on_error) on_error(number, description);
}

void QueuedSocket::StopWatching() {
  // A file piece on its way cannot arrive any more.
  m_system->DropFile();
  m_file_pending = false;
  if (m_watch != 0) {
    m_loop.UnwatchFd(m_watch);
    m_watch = 0;
  }
}

void QueuedSocket::CloseDescriptors() {
  ++m_generation;
  m_addresses.reset();
  StopWatching();
  m_system->Close();
  m_tls.reset();
  m_queue.clear();
  m_queued = m_sent = 0;
  m_pass_posted = false;
  m_tls_read_waits = m_tls_write_waits = TlsIo::kDone;
}

void QueuedSocket::Close() {
  if (m_tls && m_state == kConnected) m_tls->Shutdown();
  CloseDescriptors();
  m_received.clear();
  m_state = kClosed;
}

}  // namespace velmaris
