// Run-length coded bmp pictures (8 and 4 bits a pixel), which the general decoder refuses. Read
// from bytes in memory, every count and offset checked against them: a hostile file can make the
// decoder neither read outside its bytes nor write outside the picture.
#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace velmaris::bmp {

// Enough of the file's start for ReadRleHeader: file header and the longest info header's fields.
inline constexpr size_t kHeadBytes = 54;

struct RleHeader {
  int32_t width = 0;
  int32_t height = 0;     // rows, whichever way they run
  bool top_down = false;  // the first row coded is the top one
  int bits = 0;           // 8 or 4
  uint32_t info_size = 0;
  uint32_t data_offset = 0;
  uint32_t colours = 0;  // palette entries in the file
};

// The header of a run-length coded bmp, or nothing when the bytes begin anything else (another
// kind of bmp included) or a header whose fields contradict each other.
std::optional<RleHeader> ReadRleHeader(std::span<const uint8_t> head);

// How many bytes of the file a well-formed picture of that header can need; the rest is never read.
uint64_t LargestRleFile(const RleHeader& header);

// Decodes the whole file into width × height RGBA pixels, rows from the top. Pixels the coded
// data skips take the palette's first colour. False when the palette or the coded data runs past
// the bytes before the picture is complete.
bool DecodeRle(std::span<const uint8_t> file, const RleHeader& header, std::vector<uint8_t>& rgba);

}  // namespace velmaris::bmp
