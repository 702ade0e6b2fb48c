// The file system's part that needs POSIX calls: paths in UTF-8, descriptors, the private folder's
// mode and owner.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>

#include "base/codepage.h"
#include "base/error.h"
#include "platform/filesystem.h"

namespace fs = std::filesystem;

namespace velmaris {

fs::path ToNativePath(std::u16string_view path) {
  // The system would end the name at a NUL, and a lone surrogate would be written as U+FFFD:
  // either way the call would reach another file than the one named.
  if (!IsNativeName(path)) Raise(err::kBadFileName);
  std::u16string text(path);
  for (auto& c : text) {
    if (c == u'\\') c = u'/';
  }
  return fs::path(codepage::ToUtf8(text));
}

std::u16string FromNativePath(const fs::path& path) {
  return codepage::FromUtf8(path.string());
}

FileHandle::~FileHandle() {
  if (m_fd >= 0) close(m_fd);
}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
  if (this != &other) {
    if (m_fd >= 0) close(m_fd);
    m_fd = std::exchange(other.m_fd, -1);
  }
  return *this;
}

int64_t FileHandle::CurrentSize() const {
  struct stat info {};
  if (fstat(m_fd, &info) != 0) RaiseFileError(std::error_code(errno, std::generic_category()));
  return info.st_size;
}

size_t FileHandle::ReadAt(int64_t offset, char* data, size_t size) const {
  for (;;) {
    const ssize_t n = pread(m_fd, data, size, offset);
    if (n >= 0) return static_cast<size_t>(n);
    if (errno != EINTR) RaiseFileError(std::error_code(errno, std::generic_category()));
  }
}

void FileHandle::Write(const char* data, size_t size) const {
  while (size > 0) {
    const ssize_t n = write(m_fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      RaiseFileError(std::error_code(errno, std::generic_category()));
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
}

FileHandle OpenFileForWriting(std::u16string_view path) {
  FileHandle file(open(ToNativePath(path).c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600));
  if (!file.IsOpen()) RaiseFileError(std::error_code(errno, std::generic_category()));
  return file;
}

FileHandle CreateNewFile(std::u16string_view path) {
  FileHandle file(open(ToNativePath(path).c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600));
  if (!file.IsOpen()) RaiseFileError(std::error_code(errno, std::generic_category()));
  return file;
}

FileHandle OpenRegularNativeFile(const fs::path& native) {
  // Without O_NONBLOCK a pipe with no writer would block the open itself.
  FileHandle file(open(native.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY));
  if (!file.IsOpen()) RaiseFileError(std::error_code(errno, std::generic_category()));
  struct stat info {};
  if (fstat(file.Descriptor(), &info) != 0) Raise(err::kPathFileAccess);
  if (S_ISDIR(info.st_mode)) Raise(err::kPathFileAccess, kLibrarySource, kFolderNotFile);
  if (!S_ISREG(info.st_mode)) Raise(err::kPathFileAccess);
  fcntl(file.Descriptor(), F_SETFL, fcntl(file.Descriptor(), F_GETFL) & ~O_NONBLOCK);
  return file;
}

std::u16string TempFolderPath() {
  for (const char* name : {"TEMP", "TMPDIR"}) {
    const char* value = std::getenv(name);
    if (value != nullptr && *value != '\0') return codepage::FromUtf8(value);
  }
  return u"/tmp";
}

void MakePrivateFolder(std::u16string_view path) {
  const auto native = ToNativePath(path);
  if (mkdir(native.c_str(), 0700) != 0 && errno != EEXIST) {
    RaiseFileError(std::error_code(errno, std::generic_category()), true);
  }
  struct stat info {};
  if (lstat(native.c_str(), &info) != 0) {
    RaiseFileError(std::error_code(errno, std::generic_category()), true);
  }
  const std::u16string shown(path);
  if (S_ISLNK(info.st_mode) || !S_ISDIR(info.st_mode)) {
    Raise(err::kPathFileAccess, kLibrarySource, u"工作文件夹 " + shown + u" 不是一个普通文件夹");
  }
  if (info.st_uid != geteuid()) {
    Raise(err::kPathFileAccess, kLibrarySource, u"工作文件夹 " + shown + u" 属于其他用户");
  }
  if ((info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    Raise(err::kPathFileAccess, kLibrarySource, u"其他用户可以写入工作文件夹 " + shown);
  }
  if ((info.st_mode & 0777) != 0700 && chmod(native.c_str(), 0700) != 0) {
    RaiseFileError(std::error_code(errno, std::generic_category()), true);
  }
}

std::u16string ListedNameText(const fs::path& name) {
  return NameText(name.string());
}

std::FILE* FileHandle::ReleaseToStream() {
  std::FILE* stream = fdopen(m_fd, "rb");
  if (stream != nullptr) m_fd = kNone;
  return stream;
}

}  // namespace velmaris
