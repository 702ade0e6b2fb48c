#include "platform/picture_bmp_rle.h"

#include <array>

namespace velmaris::bmp {

namespace {

constexpr uint32_t kRle8 = 1;
constexpr uint32_t kRle4 = 2;
constexpr uint32_t kSmallestInfo = 40;  // the first info header that names a compression

// Escapes: a zero count followed by one of these, or by the length of an uncoded run.
constexpr uint8_t kEndOfLine = 0;
constexpr uint8_t kEndOfBitmap = 1;
constexpr uint8_t kDelta = 2;

uint32_t U16At(std::span<const uint8_t> bytes, size_t at) {
  return static_cast<uint32_t>(bytes[at] | bytes[at + 1] << 8);
}

uint32_t U32At(std::span<const uint8_t> bytes, size_t at) {
  return U16At(bytes, at) | U16At(bytes, at + 2) << 16;
}

// Palette indices of the picture as the coded data lays them out, rows in coding order.
class IndexCanvas {
 public:
  explicit IndexCanvas(const RleHeader& header)
      : m_width(header.width),
        m_height(header.height),
        m_indices(static_cast<size_t>(header.width) * static_cast<size_t>(header.height)) {}

  bool Done() const { return m_y >= m_height; }
  void NextLine() {
    m_x = 0;
    ++m_y;
  }
  void Move(uint8_t right, uint8_t up) {
    m_x += right;
    m_y += up;
  }
  // Pixels past the row's end are dropped: a run never wraps to the next row.
  void Put(uint8_t index) {
    if (m_x < m_width && m_y < m_height) {
      m_indices[static_cast<size_t>(m_y) * static_cast<size_t>(m_width) +
                static_cast<size_t>(m_x)] = index;
    }
    ++m_x;
  }
  uint8_t At(int64_t x, int64_t y) const {
    return m_indices[static_cast<size_t>(y) * static_cast<size_t>(m_width) +
                     static_cast<size_t>(x)];
  }

 private:
  // Wide enough that no run of counts and moves can overflow them.
  int64_t m_width;
  int64_t m_height;
  int64_t m_x = 0;
  int64_t m_y = 0;
  std::vector<uint8_t> m_indices;
};

// The index of the i-th pixel of a run: a whole byte, or alternately the high and low halves.
uint8_t PixelOf(int bits, uint8_t byte, size_t i) {
  if (bits == 8) return byte;
  return (i % 2 == 0) ? static_cast<uint8_t>(byte >> 4) : static_cast<uint8_t>(byte & 0x0F);
}

bool Decode(std::span<const uint8_t> data, int bits, IndexCanvas& canvas) {
  size_t at = 0;
  while (!canvas.Done()) {
    if (data.size() - at < 2) return false;
    const uint8_t count = data[at];
    const uint8_t value = data[at + 1];
    at += 2;
    if (count > 0) {
      for (size_t i = 0; i < count; ++i) canvas.Put(PixelOf(bits, value, i));
      continue;
    }
    switch (value) {
      case kEndOfLine:
        canvas.NextLine();
        break;
      case kEndOfBitmap:
        return true;
      case kDelta:
        if (data.size() - at < 2) return false;
        canvas.Move(data[at], data[at + 1]);
        at += 2;
        break;
      default: {
        // An uncoded run of `value` pixels, its bytes padded to a whole number of 16-bit words.
        const size_t bytes = bits == 8 ? value : (value + 1u) / 2;
        if (data.size() - at < bytes) return false;
        for (size_t i = 0; i < value; ++i) {
          canvas.Put(PixelOf(bits, data[at + (bits == 8 ? i : i / 2)], i));
        }
        at += bytes;
        // The last run of a file may lack its padding byte.
        if (bytes % 2 != 0 && at < data.size()) ++at;
        break;
      }
    }
  }
  return true;
}

}  // namespace

std::optional<RleHeader> ReadRleHeader(std::span<const uint8_t> head) {
  if (head.size() < kHeadBytes || head[0] != 'B' || head[1] != 'M') return std::nullopt;
  RleHeader header;
  header.data_offset = U32At(head, 10);
  header.info_size = U32At(head, 14);
  if (header.info_size < kSmallestInfo) return std::nullopt;
  const auto width = static_cast<int32_t>(U32At(head, 18));
  const auto height = static_cast<int32_t>(U32At(head, 22));
  header.bits = static_cast<int>(U16At(head, 28));
  const uint32_t compression = U32At(head, 30);
  if (!(compression == kRle8 && header.bits == 8) && !(compression == kRle4 && header.bits == 4)) {
    return std::nullopt;
  }
  if (width <= 0 || height == 0 || height == INT32_MIN) return std::nullopt;
  header.width = width;
  header.top_down = height < 0;
  header.height = header.top_down ? -height : height;
  const uint32_t palette_size = 1u << header.bits;
  const uint32_t used = U32At(head, 46);
  header.colours = used == 0 || used > palette_size ? palette_size : used;
  return header;
}

uint64_t LargestRleFile(const RleHeader& header) {
  // A coder needs at most two bytes a pixel, an end of line a row and an end mark; twice that
  // leaves room for coders that waste some.
  const uint64_t width = static_cast<uint32_t>(header.width);
  const uint64_t height = static_cast<uint32_t>(header.height);
  return uint64_t{header.data_offset} + 2 * (2 * width * height + 2 * height + 2);
}

bool DecodeRle(std::span<const uint8_t> file, const RleHeader& header, std::vector<uint8_t>& rgba) {
  // Entries the palette lacks show black, as an index past a short palette does.
  std::array<std::array<uint8_t, 4>, 256> palette{};
  for (auto& colour : palette) colour = {0, 0, 0, 255};
  const uint64_t palette_at = 14 + uint64_t{header.info_size};
  if (palette_at + 4 * uint64_t{header.colours} > file.size()) return false;
  for (uint32_t i = 0; i < header.colours; ++i) {
    const size_t at = static_cast<size_t>(palette_at) + 4 * i;
    palette[i] = {file[at + 2], file[at + 1], file[at], 255};  // stored blue, green, red
  }
  if (header.data_offset > file.size()) return false;

  IndexCanvas canvas(header);
  if (!Decode(file.subspan(header.data_offset), header.bits, canvas)) return false;

  const auto width = static_cast<size_t>(header.width);
  const auto height = static_cast<size_t>(header.height);
  rgba.resize(width * height * 4);
  for (size_t row = 0; row < height; ++row) {
    // Rows are coded from the bottom up unless the header says otherwise.
    const size_t coded = header.top_down ? row : height - 1 - row;
    uint8_t* out = &rgba[row * width * 4];
    for (size_t x = 0; x < width; ++x, out += 4) {
      const auto& colour = palette[canvas.At(static_cast<int64_t>(x), static_cast<int64_t>(coded))];
      out[0] = colour[0];
      out[1] = colour[1];
      out[2] = colour[2];
      out[3] = colour[3];
    }
  }
  return true;
}

}  // namespace velmaris::bmp
