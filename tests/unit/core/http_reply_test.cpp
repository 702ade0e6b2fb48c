#include "core/http_reply.h"

#include <gtest/gtest.h>
#include <zlib.h>

namespace velmaris {
namespace {

using Outcome = HttpReply::Outcome;

std::string Gzip(const std::string& plain) {
  z_stream stream{};
  deflateInit2(&stream, Z_DEFAULT_COMPRESSION, Z_DEFLATED, 15 + 16, 8, Z_DEFAULT_STRATEGY);
  std::string out(plain.size() + 64, '\0');
  stream.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(plain.data()));
  stream.avail_in = static_cast<uInt>(plain.size());
  stream.next_out = reinterpret_cast<Bytef*>(out.data());
  stream.avail_out = static_cast<uInt>(out.size());
  deflate(&stream, Z_FINISH);
  out.resize(stream.total_out);
  deflateEnd(&stream);
  return out;
}

struct Case {
  const char* what;
  std::string reply;
  bool closes;  // the server closes after sending it
  Outcome outcome;
  std::string body;
};

// Every reply is also fed split at every position: the outcome must not depend on how the bytes
// happen to arrive.
TEST(HttpReplyTest, AssemblesWholeRepliesHoweverTheyArrive) {
  const std::string gz = Gzip("/files/a.doc");
  const Case cases[] = {
      {"content length", "HTTP/1.1 200 OK\r\nContent-Length: 5\r\n\r\nnew.d", false,
       Outcome::kSuccess, "new.d"},
      {"body to close", "HTTP/1.1 200 OK\r\nServer: x\r\n\r\nnew.doc", true, Outcome::kSuccess,
       "new.doc"},
      {"body waits for close", "HTTP/1.1 200 OK\r\n\r\nnew.doc", false, Outcome::kPending, ""},
      {"chunked",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: "
       "chunked\r\n\r\n3\r\nnew\r\n4;x=1\r\n.doc\r\n0\r\n\r\n",
       false, Outcome::kSuccess, "new.doc"},
      {"chunked with trailer",
       "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n1\r\nA\r\n0\r\nX-T: 1\r\n\r\n", false,
       Outcome::kSuccess, "A"},
      {"chunked cut short", "HTTP/1.1 200 OK\r\nTransfer-Encoding: chunked\r\n\r\n3\r\nne", true,
       Outcome::kNoReply, ""},
      {"gzip",
       "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: " + std::to_string(gz.size()) +
           "\r\n\r\n" + gz,
       false, Outcome::kSuccess, "/files/a.doc"},
      {"corrupt gzip", "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: 3\r\n\r\nabc",
       false, Outcome::kNoReply, ""},
      {"empty gzip body", "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: 0\r\n\r\n",
       false, Outcome::kSuccess, ""},
      {"a charset for a coding",
       "HTTP/1.1 200 OK\r\nContent-Encoding: UTF-8\r\nContent-Length: 7\r\n\r\nnew.doc", false,
       Outcome::kSuccess, "new.doc"},
      {"not found", "HTTP/1.1 404 Not Found\r\n\r\n", false, Outcome::kErrorReply, ""},
      {"500 only in a header", "HTTP/1.1 302 Found\r\nX-Cost: 500ms\r\n\r\n", false,
       Outcome::kErrorReply, ""},
      {"forbidden", "HTTP/1.1 403 Forbidden\r\nContent-Length: 0\r\n\r\n", false,
       Outcome::kErrorReply, ""},
      {"created is not 200", "HTTP/1.1 201 Created\r\nContent-Length: 7\r\n\r\nnew.doc", false,
       Outcome::kErrorReply, ""},
      {"404 in a 200 body", "HTTP/1.1 200 OK\r\nContent-Length: 3\r\n\r\n404", false,
       Outcome::kSuccess, "404"},
      {"200 with another reason", "HTTP/1.0 200 Fine\r\nContent-Length: 1\r\n\r\nx", false,
       Outcome::kSuccess, "x"},
      {"interim reply first",
       "HTTP/1.1 100 Continue\r\n\r\nHTTP/1.1 200 OK\r\nContent-Length: 1\r\n\r\ny", false,
       Outcome::kSuccess, "y"},
      {"content length cut short", "HTTP/1.1 200 OK\r\nContent-Length: 9\r\n\r\nabc", true,
       Outcome::kNoReply, ""},
      {"garbage", "hello there\r\n\r\n", false, Outcome::kNoReply, ""},
      {"closed before answering", "", true, Outcome::kNoReply, ""},
      {"headers never end", "HTTP/1.1 200 OK\r\nContent-Le", true, Outcome::kNoReply, ""},
      {"bad status code", "HTTP/1.1 2x0 OK\r\n\r\n", false, Outcome::kNoReply, ""},
  };
  for (const auto& c : cases) {
    for (size_t split = 0; split <= c.reply.size(); ++split) {
      SCOPED_TRACE(std::string(c.what) + " split at " + std::to_string(split));
      HttpReply reply;
      reply.Append(c.reply.substr(0, split));
      reply.Append(c.reply.substr(split));
      if (c.closes) reply.PeerClosed();
      ASSERT_EQ(reply.Result(), c.outcome);
      if (c.outcome == Outcome::kSuccess) {
        EXPECT_EQ(reply.Body(), c.body);
      }
    }
  }
}

TEST(HttpReplyTest, ErrorReplyKnownAsSoonAsTheHeaderIsIn) {
  HttpReply reply;
  reply.Append("HTTP/1.1 500 Internal Server Error\r\nContent-Length: 100000\r\n\r\npartial");
  EXPECT_EQ(reply.Result(), Outcome::kErrorReply);
  EXPECT_EQ(reply.StatusCode(), 500);
  EXPECT_NE(reply.Raw().find("partial"), std::string::npos);
}

// Beyond the limit a reply is an error reply whatever its status, known as soon as the excess is
// announced or arrives; only its beginning is kept, for the error action.
TEST(HttpReplyTest, RepliesAreKeptUpToTheLimit) {
  const size_t limit = HttpReply::kMaxReply;
  const std::string head = "HTTP/1.1 200 OK\r\n\r\n";
  const std::string bomb = Gzip(std::string(2 * limit, '\0'));
  const Case cases[] = {
      {"to the close, at the limit", head + std::string(limit - head.size(), 'x'), true,
       Outcome::kSuccess, ""},
      {"to the close, a byte over", head + std::string(limit - head.size() + 1, 'x'), false,
       Outcome::kErrorReply, ""},
      {"announced too long", "HTTP/1.1 200 OK\r\nContent-Length: 1073741824\r\n\r\nxx", false,
       Outcome::kErrorReply, ""},
      {"inflates beyond it",
       "HTTP/1.1 200 OK\r\nContent-Encoding: gzip\r\nContent-Length: " +
           std::to_string(bomb.size()) + "\r\n\r\n" + bomb,
       false, Outcome::kErrorReply, ""},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    HttpReply reply;
    for (size_t at = 0; at < c.reply.size(); at += 65536) reply.Append(c.reply.substr(at, 65536));
    if (c.closes) reply.PeerClosed();
    EXPECT_EQ(reply.Result(), c.outcome);
    EXPECT_EQ(reply.TooLarge(), c.outcome == Outcome::kErrorReply);
    EXPECT_EQ(reply.StatusCode(), 200);
    EXPECT_LE(reply.Raw().size(), limit);
    EXPECT_EQ(reply.Raw().rfind("HTTP/1.1 200 OK\r\n", 0), 0u);
  }
}

}  // namespace
}  // namespace velmaris
