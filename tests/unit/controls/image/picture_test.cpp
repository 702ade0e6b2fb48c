#include "platform/picture.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <functional>
#include <string>
#include <vector>

#include "base/codepage.h"
#include "base/error.h"
#include "platform/picture_bmp_rle.h"
#include "tests/support/temp_dir.h"
#include "tests/unit/controls/image/test_pictures.h"

namespace velmaris {
namespace {

using testing::TempDir;

std::u16string U16(const std::filesystem::path& path) {
  return codepage::FromUtf8(path.string());
}

TEST(PictureTest, SizeAndPixelsOfEachFormatTheControlsTake) {
  TempDir dir;
  const struct {
    const char* name;
    void (*write)(const std::filesystem::path&, int, int);
    int width;
    int height;
    bool exact;  // jpg is lossy: its colours are only near
  } cases[] = {
      {"a.bmp", testing::WriteBmp, 800, 600, true},
      {"b.jpg", testing::WriteJpg, 801, 601, false},
      {"c.gif", testing::WriteGif, 160, 120, true},
      // Large enough that the gif's codes widen to twelve bits.
      {"d.gif", testing::WriteGif, 801, 601, true},
      {"图片.JPG", testing::WriteJpg, 48, 32, false},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.name);
    const auto path = dir.Path() / testing::Utf8Path(c.name);
    c.write(path, c.width, c.height);
    const PictureSize size = LoadPictureSize(U16(path));
    EXPECT_EQ(size.width, c.width);
    EXPECT_EQ(size.height, c.height);

    const Picture picture = LoadPicture(U16(path));
    EXPECT_EQ(picture.size.width, c.width);
    EXPECT_EQ(picture.size.height, c.height);
    ASSERT_EQ(picture.rgba.size(), static_cast<size_t>(c.width) * c.height * 4);
    // One pixel well inside each quarter.
    for (int quarter = 0; quarter < 4; ++quarter) {
      const int x = (quarter & 1) ? c.width * 3 / 4 : c.width / 4;
      const int y = (quarter & 2) ? c.height * 3 / 4 : c.height / 4;
      const uint8_t* pixel = &picture.rgba[(static_cast<size_t>(y) * c.width + x) * 4];
      for (int channel = 0; channel < 3; ++channel) {
        const int expected = testing::kQuarterColours[quarter][channel];
        if (c.exact) {
          EXPECT_EQ(pixel[channel], expected) << "quarter " << quarter;
        } else {
          EXPECT_NEAR(pixel[channel], expected, 40) << "quarter " << quarter;
        }
      }
      EXPECT_EQ(pixel[3], 255);
    }
  }
}

TEST(PictureTest, WhatIsNoPictureFailsWithItsError) {
  TempDir dir;
  testing::WriteJpg(dir.Path() / "whole.jpg", 64, 48);
  const std::string whole = testing::ReadFile(dir.Path() / "whole.jpg");
  testing::WritePng(dir.Path() / "p.png", 8, 8);
  const struct {
    const char* what;
    std::filesystem::path path;
    int32_t size_error;  // 0: the size is read
    int32_t load_error;
  } cases[] = {
      {"missing file", dir.Path() / "missing.jpg", err::kFileNotFound, err::kFileNotFound},
      {"a folder", dir.Path(), err::kFileNotFound, err::kFileNotFound},
      {"text named jpg", dir.Write("t.jpg", "not a picture"), 481, 481},
      {"empty file", dir.Write("e.gif", ""), 481, 481},
      {"png, a format the controls do not take", dir.Path() / "p.png", 481, 481},
      {"header without its data", dir.Write("cut.jpg", whole.substr(0, 200)), 0, 481},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    const std::u16string path = U16(c.path);
    const std::function<void()> calls[] = {[&] { LoadPictureSize(path); },
                                           [&] { LoadPicture(path); }};
    const int32_t expected[] = {c.size_error, c.load_error};
    for (int i = 0; i < 2; ++i) {
      try {
        calls[i]();
        EXPECT_EQ(expected[i], 0) << "call " << i << ": no error";
      } catch (const VbError& error) {
        EXPECT_EQ(error.Number(), expected[i]) << "call " << i;
        if (error.Number() == 481) {
          EXPECT_EQ(error.Description(), u"无效的图片");
        }
      }
    }
  }
}

std::u16string Sample(const char* name) {
  return U16(std::filesystem::path(VELMARIS_SOURCE_DIR) / "tests/data/image" / name);
}

// The sample pictures the page tests and the demo rely on, and pictures as common tools write
// them: run-length coded bmp from ImageMagick (`convert -compress RLE`) and GIMP (its bmp export
// with run-length coding, which also writes uncoded runs and 4-bit pictures), each decoded to
// exactly the pixels of the same picture stored uncoded; progressive and CMYK jpg and interlaced
// gif from ImageMagick near or equal to them; and headers claiming 23000 × 23000 pixels in 70
// and 35 bytes, refused before anything is allocated for them.
TEST(PictureTest, SamplePicturesLoadOrAreRefused) {
  const struct {
    const char* name;
    int width;  // 0: refused with 481
    int height;
    const char* same_as;  // the same picture uncoded
    int tolerance;        // of each channel against it: jpg is lossy
  } samples[] = {
      {"a.jpg", 800, 600, nullptr, 0},
      {"c.gif", 160, 120, nullptr, 0},
      {"A.gif", 801, 601, nullptr, 0},
      {"B.bmp", 16, 12, nullptr, 0},
      {"rle8_magick.bmp", 37, 23, "plain.bmp", 0},
      {"rle4_gimp.bmp", 37, 23, "plain.bmp", 0},
      {"rle8_gimp.bmp", 41, 19, "plain_gradient.bmp", 0},
      {"interlaced.gif", 37, 23, "plain.bmp", 0},
      {"progressive.jpg", 37, 23, "plain.bmp", 48},
      {"cmyk.jpg", 37, 23, "plain.bmp", 48},
      {"huge.bmp", 0, 0, nullptr, 0},
      {"huge.gif", 0, 0, nullptr, 0},
  };
  for (const auto& sample : samples) {
    SCOPED_TRACE(sample.name);
    const std::u16string path = Sample(sample.name);
    if (sample.width == 0) {
      for (const auto& call : {std::function<void()>([&] { LoadPictureSize(path); }),
                               std::function<void()>([&] { LoadPicture(path); })}) {
        try {
          call();
          ADD_FAILURE() << "loaded";
        } catch (const VbError& error) {
          EXPECT_EQ(error.Number(), 481);
        }
      }
      continue;
    }
    const PictureSize size = LoadPictureSize(path);
    EXPECT_EQ(size.width, sample.width);
    EXPECT_EQ(size.height, sample.height);
    const Picture picture = LoadPicture(path);
    EXPECT_EQ(picture.size.width, sample.width);
    EXPECT_EQ(picture.size.height, sample.height);
    if (sample.same_as == nullptr) continue;
    const Picture plain = LoadPicture(Sample(sample.same_as));
    ASSERT_EQ(picture.rgba.size(), plain.rgba.size());
    int worst = 0;
    for (size_t i = 0; i < plain.rgba.size(); ++i) {
      worst = std::max(worst, std::abs(picture.rgba[i] - plain.rgba[i]));
    }
    EXPECT_LE(worst, sample.tolerance);
  }
}

// Run-length coded data as a coder may write it, decoded into palette indices (palette entry i
// is the grey i * 16) and shown as rows of hexadecimal digits from the top.
TEST(PictureTest, RunLengthCodedBmp) {
  const struct {
    const char* what;
    int bits;
    int width;
    int height;  // negative: rows coded from the top
    std::vector<uint8_t> data;
    const char* rows;  // nullptr: refused
  } cases[] = {
      {"runs, end of line, end of bitmap", 8, 4, 2, {2, 5, 2, 6, 0, 0, 4, 7, 0, 1}, "7777 5566"},
      {"uncoded run of odd length, padded", 8, 4, 1, {0, 3, 1, 2, 3, 0xEE, 1, 9, 0, 1}, "1239"},
      {"4 bits: runs alternate the halves of their byte", 4, 5, 1, {5, 0x12, 0, 1}, "12121"},
      {"4 bits: uncoded run of three bytes, padded",
       4,
       5,
       1,
       {0, 5, 0xAB, 0xCD, 0xE0, 0xFF, 0, 1},
       "ABCDE"},
      {"delta skips pixels, which keep the first colour",
       8,
       3,
       3,
       {1, 4, 0, 2, 1, 1, 1, 8, 0, 1},
       "000 008 400"},
      {"rows coded from the top", 8, 2, -2, {2, 3, 0, 0, 2, 4, 0, 1}, "33 44"},
      {"a run past the row's end does not wrap", 8, 2, 2, {5, 6, 0, 0, 1, 7, 0, 1}, "70 66"},
      {"the last row's end stands for the end mark", 8, 2, 1, {2, 1, 0, 0}, "11"},
      {"an index past the palette shows black", 4, 1, 1, {1, 0xF0, 0, 1}, "0"},
      {"delta beyond the last row ends the picture", 8, 2, 2, {2, 1, 0, 2, 0, 9}, "00 11"},
      {"data ends before the picture", 8, 2, 2, {2, 1, 0, 0}, nullptr},
      {"data ends inside an uncoded run", 8, 4, 1, {0, 4, 1, 2}, nullptr},
      {"data ends inside a delta", 8, 4, 1, {0, 2, 1}, nullptr},
      {"no data", 8, 1, 1, {}, nullptr},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    // File header, 40-byte info header, palette, data.
    const int colours = c.bits == 4 ? 15 : 256;  // one short, for the black row above
    std::vector<uint8_t> file(14 + 40 + colours * 4);
    auto put32 = [&](size_t at, uint32_t value) {
      for (int i = 0; i < 4; ++i) file[at + i] = static_cast<uint8_t>(value >> (8 * i));
    };
    file[0] = 'B';
    file[1] = 'M';
    put32(10, static_cast<uint32_t>(file.size()));
    put32(14, 40);
    put32(18, static_cast<uint32_t>(c.width));
    put32(22, static_cast<uint32_t>(c.height));
    file[26] = 1;
    file[28] = static_cast<uint8_t>(c.bits);
    put32(30, c.bits == 8 ? 1 : 2);
    put32(46, static_cast<uint32_t>(colours));
    for (int i = 0; i < colours; ++i) {
      const auto grey = static_cast<uint8_t>(i * 16);
      std::fill_n(file.begin() + 54 + i * 4, 3, grey);
    }
    file.insert(file.end(), c.data.begin(), c.data.end());

    const auto header = bmp::ReadRleHeader(file);
    ASSERT_TRUE(header.has_value());
    std::vector<uint8_t> rgba;
    const bool decoded = bmp::DecodeRle(file, *header, rgba);
    if (c.rows == nullptr) {
      EXPECT_FALSE(decoded);
      continue;
    }
    ASSERT_TRUE(decoded);
    std::string rows;
    for (size_t at = 0; at < rgba.size(); at += 4) {
      if (at > 0 && at / 4 % static_cast<size_t>(c.width) == 0) rows += ' ';
      rows += "0123456789ABCDEF"[rgba[at] / 16];
    }
    EXPECT_EQ(rows, c.rows);
  }
}

}  // namespace
}  // namespace velmaris
