#include "core/http_reply.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <charconv>

namespace velmaris {

namespace {

std::string Lower(std::string_view text) {
  std::string out(text);
  for (auto& c : out) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return out;
}

std::string_view Trim(std::string_view text) {
  while (!text.empty() && (text.front() == ' ' || text.front() == '\t')) text.remove_prefix(1);
  while (!text.empty() && (text.back() == ' ' || text.back() == '\t' || text.back() == '\r')) {
    text.remove_suffix(1);
  }
  return text;
}

Inflated InflateWith(std::string_view coded, int window_bits, std::string& out) {
  z_stream stream{};
  if (inflateInit2(&stream, window_bits) != Z_OK) return Inflated::kInvalid;
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(coded.data()));
  stream.avail_in = static_cast<uInt>(coded.size());
  std::string result;
  char buffer[16384];
  int rc;
  Inflated inflated = Inflated::kInvalid;
  do {
    stream.next_out = reinterpret_cast<Bytef*>(buffer);
    stream.avail_out = sizeof buffer;
    rc = inflate(&stream, Z_NO_FLUSH);
    if (rc != Z_OK && rc != Z_STREAM_END) break;
    size_t produced = sizeof buffer - stream.avail_out;
    // A small body may inflate to any size: stop at the limit instead of following it.
    if (result.size() + produced > HttpReply::kMaxReply) {
      inflated = Inflated::kTooLarge;
      break;
    }
    result.append(buffer, produced);
    if (rc == Z_STREAM_END) inflated = Inflated::kDone;
  } while (rc != Z_STREAM_END);
  inflateEnd(&stream);
  if (inflated == Inflated::kDone) out.swap(result);
  return inflated;
}

bool IsKnownCoding(const std::string& encoding) {
  return encoding == "gzip" || encoding == "x-gzip" || encoding == "deflate";
}

}  // namespace

Inflated InflateBody(std::string_view coded, const std::string& encoding, std::string& out) {
  if (encoding == "gzip" || encoding == "x-gzip") return InflateWith(coded, 15 + 16, out);
  // "deflate" is meant as zlib-wrapped, but some servers send it raw.
  Inflated wrapped = InflateWith(coded, 15, out);
  return wrapped == Inflated::kInvalid ? InflateWith(coded, -15, out) : wrapped;
}

void HttpReply::Reset(Accept accept) {
  *this = HttpReply();
  m_accept = accept;
}

void HttpReply::Append(std::string_view bytes) {
  if (m_outcome != Outcome::kPending) return;
  const size_t room = kMaxReply - m_raw.size();
  const bool cut = bytes.size() > room;
  m_raw.append(bytes.substr(0, room));
  Evaluate();
  // Still not whole at the limit: the rest is neither kept nor waited for.
  if (cut && m_outcome == Outcome::kPending) FinishTooLarge();
}

void HttpReply::PeerClosed() {
  if (m_outcome != Outcome::kPending) return;
  m_closed = true;
  Evaluate();
  if (m_outcome == Outcome::kPending) Finish(Outcome::kNoReply);
}

bool HttpReply::ParseHead() {
  for (;;) {
    // Anything that does not start like a status line will never form one.
    std::string_view rest = std::string_view(m_raw).substr(m_body_start);
    std::string_view prefix = rest.substr(0, std::min<size_t>(rest.size(), 5));
    if (std::string_view("HTTP/").substr(0, prefix.size()) != prefix) {
      Finish(Outcome::kNoReply);
      return false;
    }
    size_t end = rest.find("\r\n\r\n");
    if (end == std::string_view::npos) return false;
    std::string_view head = rest.substr(0, end);
    size_t line_end = head.find("\r\n");
    std::string_view status_line = head.substr(0, line_end);
    size_t space = status_line.find(' ');
    if (space == std::string_view::npos || status_line.size() < space + 4) {
      Finish(Outcome::kNoReply);
      return false;
    }
    std::string_view code = status_line.substr(space + 1, 3);
    int status = 0;
    auto [ptr, ec] = std::from_chars(code.data(), code.data() + 3, status);
    if (ec != std::errc() || ptr != code.data() + 3 || status < 100) {
      Finish(Outcome::kNoReply);
      return false;
    }
    size_t next = m_body_start + end + 4;
    if (status < 200) {  // an interim reply (100 Continue): the real one follows
      m_body_start = next;
      continue;
    }
    m_status = status;
    m_body_start = next;
    m_head_done = true;
    std::string_view lines = line_end == std::string_view::npos ? "" : head.substr(line_end + 2);
    while (!lines.empty()) {
      size_t eol = lines.find("\r\n");
      std::string_view line = lines.substr(0, eol);
      lines = eol == std::string_view::npos ? "" : lines.substr(eol + 2);
      size_t colon = line.find(':');
      if (colon == std::string_view::npos) continue;
      std::string name = Lower(Trim(line.substr(0, colon)));
      std::string value = Lower(Trim(line.substr(colon + 1)));
      if (name == "content-length") {
        int64_t length = -1;
        auto [p, e] = std::from_chars(value.data(), value.data() + value.size(), length);
        if (e == std::errc() && p == value.data() + value.size() && length >= 0) {
          m_content_length = length;
        }
      } else if (name == "transfer-encoding") {
        m_chunked = value.find("chunked") != std::string::npos;
      } else if (name == "content-encoding") {
        m_encoding = value;
      }
    }
    return true;
  }
}

// Decodes the chunks that have arrived; true once the last chunk (and its trailer) is in.
bool HttpReply::DecodeChunks() {
  if (m_chunk_pos == 0) m_chunk_pos = m_body_start;
  for (;;) {
    size_t eol = m_raw.find("\r\n", m_chunk_pos);
    if (eol == std::string::npos) return false;
    std::string_view size_text = std::string_view(m_raw).substr(m_chunk_pos, eol - m_chunk_pos);
    size_text = size_text.substr(0, size_text.find(';'));
    size_text = Trim(size_text);
    uint64_t size = 0;
    auto [ptr, ec] =
        std::from_chars(size_text.data(), size_text.data() + size_text.size(), size, 16);
    if (ec != std::errc() || ptr != size_text.data() + size_text.size()) {
      Finish(Outcome::kNoReply);
      return false;
    }
    if (size == 0) {
      // The last chunk: complete once the (usually empty) trailer has ended.
      return m_raw.find("\r\n\r\n", eol) != std::string::npos;
    }
    if (size > kMaxReply) {
      FinishTooLarge();
      return false;
    }
    size_t data_start = eol + 2;
    if (m_raw.size() < data_start + size + 2) return false;
    m_dechunked.append(m_raw, data_start, size);
    m_chunk_pos = data_start + size + 2;
  }
}

void HttpReply::FinishBody(std::string body) {
  // Only the codings the request offers are undone; any other name (some servers put the
  // charset here) and an empty body are taken as they came.
  if (IsKnownCoding(m_encoding) && !body.empty()) {
    std::string plain;
    switch (InflateBody(body, m_encoding, plain)) {
      case Inflated::kInvalid:
        Finish(Outcome::kNoReply);
        return;
      case Inflated::kTooLarge:
        FinishTooLarge();
        return;
      case Inflated::kDone:
        body.swap(plain);
        break;
    }
  }
  m_body.swap(body);
  Finish(Outcome::kSuccess);
}

void HttpReply::Evaluate() {
  if (!m_head_done) {
    if (!ParseHead()) {
      if (m_closed && m_outcome == Outcome::kPending) Finish(Outcome::kNoReply);
      return;
    }
  }
  bool success =
      m_accept == Accept::kAny2xx3xx ? m_status >= 200 && m_status < 400 : m_status == 200;
  if (!success) {
    Finish(Outcome::kErrorReply);
    return;
  }
  if (m_chunked) {
    if (DecodeChunks()) {
      FinishBody(std::move(m_dechunked));
    } else if (m_closed && m_outcome == Outcome::kPending) {
      Finish(Outcome::kNoReply);
    }
    return;
  }
  size_t have = m_raw.size() - m_body_start;
  if (m_content_length >= 0) {
    if (static_cast<uint64_t>(m_content_length) > kMaxReply - m_body_start) {
      FinishTooLarge();  // known at once: no need to take in what will not be kept
    } else if (have >= static_cast<uint64_t>(m_content_length)) {
      FinishBody(m_raw.substr(m_body_start, static_cast<size_t>(m_content_length)));
    } else if (m_closed) {
      Finish(Outcome::kNoReply);  // cut short
    }
    return;
  }
  if (m_closed) FinishBody(m_raw.substr(m_body_start));
}

}  // namespace velmaris
