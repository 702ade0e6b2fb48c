#include "platform/picture.h"

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <memory>
#include <system_error>

#include "core/error.h"
#include "platform/filesystem.h"

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
  if (std::filesystem::is_directory(native, kind)) Raise(err::kFileNotFound);
  const int fd = OpenRegularFile(path);
  File file(fdopen(fd, "rb"));
  if (!file) {
    const int error = errno;
    close(fd);
    RaiseFileError(std::error_code(error, std::generic_category()));
  }
  return file;
}

}  // namespace

PictureSize LoadPictureSize(std::u16string_view path) {
  File file = Open(path);
  int width = 0;
  int height = 0;
  int channels = 0;
  if (stbi_info_from_file(file.get(), &width, &height, &channels) == 0) RaiseInvalidPicture();
  return {width, height};
}

Picture LoadPicture(std::u16string_view path) {
  File file = Open(path);
  int width = 0;
  int height = 0;
  int channels = 0;
  std::unique_ptr<stbi_uc, void (*)(void*)> pixels(
      stbi_load_from_file(file.get(), &width, &height, &channels, 4), stbi_image_free);
  if (!pixels) RaiseInvalidPicture();
  Picture picture;
  picture.size = {width, height};
  const auto bytes = static_cast<size_t>(width) * static_cast<size_t>(height) * 4;
  picture.rgba.assign(pixels.get(), pixels.get() + bytes);
  return picture;
}

}  // namespace velmaris
