// Picture loading: the pixel size of a bmp, jpg or gif file and, for a preview, its pixels. The
// file's contents decide its format, not its name.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace velmaris {

struct PictureSize {
  int32_t width = 0;
  int32_t height = 0;
};

struct Picture {
  PictureSize size;
  std::vector<uint8_t> rgba;  // width × height pixels, four bytes each, rows from the top
};

// Reads only as much of the file as its size needs. Raises the file system's error when the file
// cannot be opened (53 when it is missing) and 481 "无效的图片" when it holds no picture or one
// whose header claims more pixels than any real picture has.
PictureSize LoadPictureSize(std::u16string_view path);

// Decodes the whole picture, after its header's size passed the test of LoadPictureSize; the same
// failures, and 481 for a picture whose data is damaged past its header.
Picture LoadPicture(std::u16string_view path);

}  // namespace velmaris
