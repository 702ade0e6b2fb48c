// Run-length coded bmp files to the header reader and the decoder. A decoded picture has exactly
// its header's pixels, all opaque; the decoder never reads or writes outside what it was given.
#include <algorithm>
#include <cstdint>
#include <span>
#include <vector>

#include "fuzz/fuzz_support.h"
#include "platform/picture_bmp_rle.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  namespace bmp = velmaris::bmp;
  const std::span<const uint8_t> file(data, size);
  const auto header = bmp::ReadRleHeader(file);
  if (!header) return 0;
  velmaris::fuzz::Check(header->width > 0 && header->height > 0, "a header without pixels");
  // The library refuses large pictures before decoding; here a smaller bound keeps runs fast.
  if (static_cast<int64_t>(header->width) * header->height > (1 << 20)) return 0;
  const size_t readable =
      static_cast<size_t>(std::min<uint64_t>(size, bmp::LargestRleFile(*header)));
  std::vector<uint8_t> rgba;
  if (!bmp::DecodeRle(file.first(readable), *header, rgba)) return 0;
  velmaris::fuzz::Check(
      rgba.size() == static_cast<size_t>(header->width) * static_cast<size_t>(header->height) * 4,
      "pixels not the header's size");
  for (size_t at = 3; at < rgba.size(); at += 4) {
    velmaris::fuzz::Check(rgba[at] == 255, "a pixel not opaque");
  }
  return 0;
}
