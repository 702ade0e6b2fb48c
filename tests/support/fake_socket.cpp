#include "tests/support/fake_socket.h"

#include <unistd.h>

namespace velmaris::testing {

void FakeSocket::Connect() {
  ++m_connects;
  m_state = kConnecting;
  int generation = m_generation;
  switch (connect_mode) {
    case ConnectMode::kNever:
      return;
    case ConnectMode::kRefuse:
      m_loop.After(connect_delay, [this, generation] {
        if (generation != m_generation) return;
        m_state = kError;
        if (on_error) on_error(10061, u"连接被强制拒绝");
      });
      return;
    case ConnectMode::kAfter:
      m_loop.After(connect_delay, [this, generation] {
        if (generation != m_generation) return;
        if (!m_secure) {
          m_state = kConnected;
          return;
        }
        m_handshaking = true;
        if (handshake_never) return;
        m_loop.After(handshake_delay, [this, generation] {
          if (generation != m_generation) return;
          m_handshaking = false;
          m_state = kConnected;
        });
      });
      return;
  }
}

void FakeSocket::SendData(std::string bytes) {
  if (m_state == kError) return;
  int64_t size = static_cast<int64_t>(bytes.size());
  m_sent += bytes;
  m_queued += size;
  int generation = m_generation;
  ++m_unsent;
  m_loop.After(send_step, [this, generation, size] {
    if (generation != m_generation) return;
    --m_unsent;
    Progress(size);
  });
}

void FakeSocket::SendFile(FileHandle file, int64_t length) {
  std::string bytes(static_cast<size_t>(length), '\0');
  size_t done = 0;
  while (done < bytes.size()) {
    size_t n = file.ReadAt(static_cast<int64_t>(done), bytes.data() + done, bytes.size() - done);
    if (n == 0) break;
    done += n;
  }
  bytes.resize(done);
  m_sent += bytes;
  m_queued += length;
  int generation = m_generation;
  ++m_unsent;
  if (done < static_cast<size_t>(length)) {
    // The file ended early: the connection fails as a real one does, and nothing after it goes.
    m_state = kError;
    m_loop.After(send_step, [this, generation] {
      if (generation != m_generation) return;
      RaiseError(62, u"输入超出文件尾");
    });
    return;
  }
  for (int step = 1; step <= file_steps; ++step) {
    int64_t part = length * step / file_steps - length * (step - 1) / file_steps;
    m_loop.After(send_step * step, [this, generation, step, part] {
      if (generation != m_generation) return;
      if (step == file_steps) --m_unsent;
      Progress(part);
    });
  }
}

void FakeSocket::Progress(int64_t bytes) {
  m_done += bytes;
  const int64_t sent = m_done;
  const int64_t remaining = m_queued - m_done;
  if (remaining == 0) m_queued = m_done = 0;
  if (on_send_progress) on_send_progress(sent, remaining);
}

std::string FakeSocket::GetData() {
  std::string data;
  data.swap(m_pending);
  return data;
}

void FakeSocket::Close() {
  ++m_closes;
  ++m_generation;
  m_unsent = 0;
  m_queued = m_done = 0;
  m_state = kClosed;
  m_handshaking = false;
  m_pending.clear();
}

void FakeSocket::Deliver(const std::string& bytes) {
  m_pending += bytes;
  if (on_data_arrival) on_data_arrival(static_cast<int64_t>(m_pending.size()));
}

void FakeSocket::PeerClose() {
  m_state = kClosing;
  if (on_close) on_close();
}

void FakeSocket::RaiseError(int32_t number, const std::u16string& description) {
  if (m_state == kClosed) return;  // a closed socket reports nothing, as the real one
  m_state = kError;
  if (on_error) on_error(number, description);
}

}  // namespace velmaris::testing
