// Reply assembly: collects the bytes of one transfer's reply and says when it is a whole reply.
// Status 200 with its complete body (by Content-Length, chunked framing, or the server closing)
// is success; any other status is an error reply as soon as its header has arrived; data that
// never forms a status line, or a reply cut short, is no reply. A reply that would hold more than
// kMaxReply bytes is an error reply whatever its status, and no more of it is kept.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace velmaris {

class HttpReply {
 public:
  enum class Outcome { kPending, kSuccess, kErrorReply, kNoReply };

  // The most a reply may hold, received or decoded.
  static constexpr size_t kMaxReply = 1024 * 1024;

  // Which statuses are a success: 200 alone for an upload; any 2xx or 3xx for an article post,
  // which a content server may answer with a redirect to the saved article.
  enum class Accept { kStatus200, kAny2xx3xx };

  void Append(std::string_view bytes);
  void PeerClosed();
  void Reset(Accept accept = Accept::kStatus200);

  Outcome Result() const { return m_outcome; }
  // The server's status, also for a reply judged an error for its size.
  int StatusCode() const { return m_status; }
  bool TooLarge() const { return m_too_large; }
  // Everything received, as it arrived, up to kMaxReply bytes.
  const std::string& Raw() const { return m_raw; }
  // The body of a successful reply, with transfer and content coding removed.
  const std::string& Body() const { return m_body; }

 private:
  void Evaluate();
  bool ParseHead();
  bool DecodeChunks();
  void Finish(Outcome outcome) { m_outcome = outcome; }
  void FinishTooLarge() {
    m_too_large = true;
    Finish(Outcome::kErrorReply);
  }
  void FinishBody(std::string body);

  std::string m_raw;
  std::string m_body;
  Outcome m_outcome = Outcome::kPending;
  bool m_closed = false;
  bool m_too_large = false;
  Accept m_accept = Accept::kStatus200;

  // Parsed head.
  bool m_head_done = false;
  size_t m_body_start = 0;
  int m_status = 0;
  int64_t m_content_length = -1;
  bool m_chunked = false;
  std::string m_encoding;

  // Chunked decoding state.
  size_t m_chunk_pos = 0;
  std::string m_dechunked;
};

enum class Inflated { kDone, kInvalid, kTooLarge };
// Inflates a gzip or deflate (zlib or raw) body into at most HttpReply::kMaxReply bytes.
Inflated InflateBody(std::string_view coded, const std::string& encoding, std::string& out);

}  // namespace velmaris
