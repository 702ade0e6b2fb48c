#include "platform/picture.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <memory>
#include <optional>
#include <system_error>

#include "base/error.h"
#include "platform/filesystem.h"
#include "platform/picture_bmp_rle.h"

// The decoder is compiled here, private to this file, for the three formats the controls take.
#define STB_IMAGE_IMPLEMENTATION
#define STB_IMAGE_STATIC
#define STBI_ONLY_JPEG
#define STBI_ONLY_BMP
#define STBI_ONLY_GIF
#include <stb/stb_image.h>

namespace velmaris {

namespace {

constexpr int32_t kInvalidPicture = 481;
constexpr char16_t kInvalidPictureText[] = u"无效的图片";
// The most pixels a picture may have: 100 megapixels, far beyond a photo an editor uploads.
constexpr int64_t kLargestPicture = 100'000'000;

[[noreturn]] void RaiseInvalidPicture() {
  Raise(kInvalidPicture, kLibrarySource, kInvalidPictureText);
}

struct FileCloser {
  void operator()(FILE* file) const { std::fclose(file); }
};
using File = std::unique_ptr<FILE, FileCloser>;

File Open(std::u16string_view path) {
  const auto native = ToNativePath(path);
  std::error_code kind;
  if (std::filesystem::is_directory(native, kind)) {
    Raise(err::kFileNotFound, kLibrarySource, kFolderNotFile);
  }
  FileHandle opened = OpenRegularFile(path);
  File file(opened.ReleaseToStream());
  if (!file) RaiseFileError(std::error_code(errno, std::generic_category()));
  return file;
}

// What the file's header says, read before anything is decoded.
struct Header {
  PictureSize size;
  std::optional<bmp::RleHeader> rle;  // a run-length coded bmp, decoded here rather than by stb
};

// The header's size, refused when it is no picture or larger than any a dialog offers: a few
// bytes may claim a size whose pixels would take gigabytes.
Header ReadHeader(FILE* file) {
  uint8_t head[bmp::kHeadBytes];
  const size_t got = std::fread(head, 1, sizeof head, file);
  if (std::fseek(file, 0, SEEK_SET) != 0) RaiseInvalidPicture();
  Header header;
  header.rle = bmp::ReadRleHeader({head, got});
  if (header.rle) {
    header.size = {header.rle->width, header.rle->height};
  } else {
    int channels = 0;
    if (stbi_info_from_file(file, &header.size.width, &header.size.height, &channels) == 0) {
      RaiseInvalidPicture();
    }
  }
  const int64_t width = header.size.width;
  const int64_t height = header.size.height;
  // A side of 0 is left to the callers: such a header holds no pixels to allocate.
  if (width < 0 || height < 0 || width * height > kLargestPicture) RaiseInvalidPicture();
  return header;
}

Picture LoadRleBmp(FILE* file, const bmp::RleHeader& header) {
  struct stat status {};
  if (fstat(fileno(file), &status) != 0 || status.st_size < 0) RaiseInvalidPicture();
  std::vector<uint8_t> bytes(static_cast<size_t>(
      std::min<uint64_t>(static_cast<uint64_t>(status.st_size), bmp::LargestRleFile(header))));
  bytes.resize(std::fread(bytes.data(), 1, bytes.size(), file));
  Picture picture;
  picture.size = {header.width, header.height};
  if (!bmp::DecodeRle(bytes, header, picture.rgba)) RaiseInvalidPicture();
  return picture;
}

}  // namespace

PictureSize LoadPictureSize(std::u16string_view path) {
  File file = Open(path);
  return ReadHeader(file.get()).size;
}

Picture LoadPicture(std::u16string_view path) {
  File file = Open(path);
  const Header header = ReadHeader(file.get());
  if (header.rle) return LoadRleBmp(file.get(), *header.rle);
  int width = 0;
  int height = 0;
  int channels = 0;
  std::unique_ptr<stbi_uc, void (*)(void*)> pixels(
      stbi_load_from_file(file.get(), &width, &height, &channels, 4), stbi_image_free);
  if (!pixels || width != header.size.width || height != header.size.height) {
    RaiseInvalidPicture();
  }
  Picture picture;
  picture.size = {width, height};
  const auto bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
  picture.rgba.assign(pixels.get(), pixels.get() + bytes);
  return picture;
}

}  // namespace velmaris
