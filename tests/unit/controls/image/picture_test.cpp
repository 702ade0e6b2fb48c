#include "platform/picture.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <functional>

#include "core/error.h"
#include "platform/codepage.h"
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
    const auto path = dir.Path() / c.name;
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

// The sample pictures the page tests and the demo rely on.
TEST(PictureTest, SamplePicturesHaveTheirSizes) {
  const struct {
    const char* name;
    int width;
    int height;
  } samples[] = {{"a.jpg", 800, 600}, {"c.gif", 160, 120}, {"A.gif", 801, 601}, {"B.bmp", 16, 12}};
  for (const auto& sample : samples) {
    SCOPED_TRACE(sample.name);
    const Picture picture = LoadPicture(
        U16(std::filesystem::path(VELMARIS_SOURCE_DIR) / "tests/data/image" / sample.name));
    EXPECT_EQ(picture.size.width, sample.width);
    EXPECT_EQ(picture.size.height, sample.height);
  }
}

}  // namespace
}  // namespace velmaris
