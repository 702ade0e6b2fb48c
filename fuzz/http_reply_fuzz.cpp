// Reply assembly on arbitrary bytes arriving in arbitrary pieces. The last bytes of the input say
// whether the server closes afterwards and where the reply is cut; the rest is the reply. However
// it is cut, the reply must be judged the same way as when it arrives whole, and once judged it
// must stay judged.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstdint>
#include <string>
#include <vector>

#include "core/http_reply.h"
#include "fuzz/fuzz_support.h"

namespace {

using velmaris::HttpReply;
using velmaris::fuzz::Check;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  FuzzedDataProvider input(data, size);
  const bool close = input.ConsumeBool();
  const size_t cut_count = input.ConsumeIntegralInRange<size_t>(0, 8);
  std::vector<size_t> cuts;
  for (size_t i = 0; i < cut_count; ++i) cuts.push_back(input.ConsumeIntegral<uint16_t>());
  const std::string bytes = input.ConsumeRemainingBytesAsString();

  HttpReply whole;
  whole.Append(bytes);
  if (close) whole.PeerClosed();

  HttpReply pieces;
  size_t at = 0;
  HttpReply::Outcome judged = HttpReply::Outcome::kPending;
  auto feed = [&](size_t length) {
    pieces.Append(std::string_view(bytes).substr(at, length));
    at += length;
    if (judged != HttpReply::Outcome::kPending) {
      Check(pieces.Result() == judged, "a judged reply changed its outcome");
    }
    judged = pieces.Result();
  };
  for (size_t cut : cuts) feed(std::min(cut, bytes.size() - at));
  feed(bytes.size() - at);
  if (close) pieces.PeerClosed();
  if (judged != HttpReply::Outcome::kPending) {
    Check(pieces.Result() == judged, "closing changed a judged reply");
  }

  Check(pieces.Result() == whole.Result(), "the outcome depends on how the reply was cut");
  if (whole.Result() == HttpReply::Outcome::kSuccess) {
    Check(whole.StatusCode() == 200, "success without status 200");
    Check(pieces.Body() == whole.Body(), "the body depends on how the reply was cut");
    Check(whole.Body().size() <= HttpReply::kMaxReply, "body beyond the limit");
  }
  if (whole.Result() == HttpReply::Outcome::kErrorReply) {
    Check((whole.StatusCode() != 200 || whole.TooLarge()) &&
              pieces.StatusCode() == whole.StatusCode() && pieces.TooLarge() == whole.TooLarge(),
          "error reply with the wrong status");
  }
  Check(whole.Raw().size() <= HttpReply::kMaxReply, "more kept than the limit");
  if (close) Check(whole.Result() != HttpReply::Outcome::kPending, "pending after the close");
  return 0;
}
