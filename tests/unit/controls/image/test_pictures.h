// Writes small pictures of known sizes for the picture tests: bmp, jpg and png through
// stb_image_write, gif through a small LZW encoder of our own (stb writes no gif).
#pragma once

#include <cstdint>
#include <filesystem>
#include <fstream>
#include <map>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

#define STB_IMAGE_WRITE_IMPLEMENTATION
#define STB_IMAGE_WRITE_STATIC
// Names are given in UTF-8 (path::string() on Windows), opened by their wide form.
#define STBIW_WINDOWS_UTF8
#include <stb/stb_image_write.h>

namespace velmaris::testing {

// The colour of pixel (x, y): quarters of the picture in four colours, so a decoded picture can
// be told from a shifted or mirrored one.
inline int QuarterOf(int x, int y, int width, int height) {
  return (x * 2 >= width ? 1 : 0) + (y * 2 >= height ? 2 : 0);
}
inline constexpr uint8_t kQuarterColours[4][3] = {
    {200, 30, 30}, {30, 200, 30}, {30, 30, 200}, {220, 220, 40}};

inline std::vector<uint8_t> QuarterPixels(int width, int height) {
  std::vector<uint8_t> rgb;
  rgb.reserve(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const uint8_t* colour = kQuarterColours[QuarterOf(x, y, width, height)];
      rgb.insert(rgb.end(), colour, colour + 3);
    }
  }
  return rgb;
}

inline void Check(int written, const std::filesystem::path& path) {
  if (written == 0) throw std::runtime_error("cannot write " + path.string());
}

inline void WriteBmp(const std::filesystem::path& path, int width, int height) {
  Check(
      stbi_write_bmp(path.string().c_str(), width, height, 3, QuarterPixels(width, height).data()),
      path);
}

inline void WriteJpg(const std::filesystem::path& path, int width, int height) {
  Check(stbi_write_jpg(path.string().c_str(), width, height, 3, QuarterPixels(width, height).data(),
                       90),
        path);
}

inline void WritePng(const std::filesystem::path& path, int width, int height) {
  Check(stbi_write_png(path.string().c_str(), width, height, 3, QuarterPixels(width, height).data(),
                       width * 3),
        path);
}

// LZW codes packed from the lowest bit, cut into sub-blocks of at most 255 bytes.
class GifCodeWriter {
 public:
  void Put(int code, int size) {
    m_bits |= static_cast<uint32_t>(code) << m_count;
    m_count += size;
    while (m_count >= 8) {
      m_bytes.push_back(static_cast<char>(m_bits & 0xFF));
      m_bits >>= 8;
      m_count -= 8;
    }
  }
  std::string Blocks() {
    if (m_count > 0) m_bytes.push_back(static_cast<char>(m_bits & 0xFF));
    std::string out;
    for (size_t at = 0; at < m_bytes.size(); at += 255) {
      const size_t length = std::min<size_t>(255, m_bytes.size() - at);
      out.push_back(static_cast<char>(length));
      out.append(m_bytes, at, length);
    }
    out.push_back('\0');
    return out;
  }

 private:
  std::string m_bytes;
  uint32_t m_bits = 0;
  int m_count = 0;
};

inline void PutLe16(std::string& out, int value) {
  out.push_back(static_cast<char>(value & 0xFF));
  out.push_back(static_cast<char>((value >> 8) & 0xFF));
}

// A gif of the four quarter colours. A width or height of 0 gives a header that states it.
inline void WriteGif(const std::filesystem::path& path, int width, int height) {
  constexpr int kMinCodeSize = 2;
  constexpr int kClear = 1 << kMinCodeSize;
  constexpr int kEnd = kClear + 1;
  std::string out = "GIF89a";
  PutLe16(out, width);
  PutLe16(out, height);
  out += '\x81';  // a global colour table of four entries
  out += '\0';
  out += '\0';
  for (const auto& colour : kQuarterColours) out.append(colour, colour + 3);
  out += ',';
  PutLe16(out, 0);
  PutLe16(out, 0);
  PutLe16(out, width);
  PutLe16(out, height);
  out += '\0';
  out += static_cast<char>(kMinCodeSize);

  GifCodeWriter codes;
  std::map<std::pair<int, int>, int> table;
  int code_size = kMinCodeSize + 1;
  int next = kEnd + 1;
  codes.Put(kClear, code_size);
  int prefix = -1;
  for (int y = 0; y < height; ++y) {
    for (int x = 0; x < width; ++x) {
      const int pixel = QuarterOf(x, y, width, height);
      if (prefix < 0) {
        prefix = pixel;
        continue;
      }
      auto known = table.find({prefix, pixel});
      if (known != table.end()) {
        prefix = known->second;
        continue;
      }
      codes.Put(prefix, code_size);
      const int added = next++;
      table[{prefix, pixel}] = added;
      // The reader widens its codes once its table (one entry behind ours) reaches the limit.
      if (added == (1 << code_size) && code_size < 12) ++code_size;
      if (next >= 4094) {
        codes.Put(kClear, code_size);
        table.clear();
        code_size = kMinCodeSize + 1;
        next = kEnd + 1;
      }
      prefix = pixel;
    }
  }
  if (prefix >= 0) codes.Put(prefix, code_size);
  codes.Put(kEnd, code_size);
  out += codes.Blocks();
  out += ';';
  std::ofstream(path, std::ios::binary) << out;
}

}  // namespace velmaris::testing
