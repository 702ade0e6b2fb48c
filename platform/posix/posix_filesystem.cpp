// The file system's part that needs POSIX calls: paths in UTF-8, descriptors, the private folder
// (its mode and owner, the folders on its way, names made and removed through its descriptor).
#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <random>
#include <vector>

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

namespace {

std::error_code LastError() {
  return std::error_code(errno, std::generic_category());
}

// A folder on the way to ours: others than this user and the administrator must not be able to
// change what its names lead to (they could rename our folder away and put their own in its
// place). A sticky folder such as /tmp lets each user change only their own names.
bool OthersCanChange(const struct stat& info) {
  if (info.st_uid != 0 && info.st_uid != geteuid()) return true;
  return (info.st_mode & (S_IWGRP | S_IWOTH)) != 0 && (info.st_mode & S_ISVTX) == 0;
}

// Opens the folder `canonical` (a path without links, "." or "..") from the root, folder by
// folder without following a link, so that each folder checked is the one opened next.
FileHandle OpenTrustedFolder(const std::string& canonical, std::u16string_view shown) {
  FileHandle folder(open("/", O_PATH | O_DIRECTORY | O_CLOEXEC));
  size_t from = 0;
  for (;;) {
    if (!folder.IsOpen()) RaiseFileError(LastError(), true);
    struct stat info {};
    if (fstat(folder.Descriptor(), &info) != 0) RaiseFileError(LastError(), true);
    if (OthersCanChange(info)) {
      Raise(err::kPathFileAccess, kLibrarySource,
            u"其他用户可以改动文件夹 " + std::u16string(shown) + u" 中的内容");
    }
    while (from < canonical.size() && canonical[from] == '/') ++from;
    if (from >= canonical.size()) return folder;
    const size_t end = std::min(canonical.find('/', from), canonical.size());
    const std::string name = canonical.substr(from, end - from);
    from = end;
    folder = FileHandle(
        openat(folder.Descriptor(), name.c_str(), O_PATH | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  }
}

// The folder `name` in `parent` when it is ours alone (narrowed to 0700), else nothing: a link or
// a file is not opened, another user's folder or one others may write to is not taken.
FileHandle TakeOwnFolder(int parent, const std::string& name) {
  FileHandle folder(openat(parent, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!folder.IsOpen()) return folder;
  struct stat info {};
  if (fstat(folder.Descriptor(), &info) != 0 || !S_ISDIR(info.st_mode) ||
      info.st_uid != geteuid() || (info.st_mode & (S_IWGRP | S_IWOTH)) != 0) {
    return FileHandle();
  }
  if ((info.st_mode & 07777) != 0700 && fchmod(folder.Descriptor(), 0700) != 0) {
    return FileHandle();
  }
  return folder;
}

// A name inside the folder, as its bytes: one entry, never a path.
std::string EntryName(std::u16string_view name) {
  if (!IsNativeName(name) || name.empty() || name == u"." || name == u".." ||
      name.find_first_of(u"/\\") != std::u16string_view::npos) {
    Raise(err::kBadFileName);
  }
  return codepage::ToUtf8(name);
}

// Removes the entry `name` of `folder`, a folder with everything in it, never following a link.
bool RemoveEntry(int folder, const std::string& name) {
  if (unlinkat(folder, name.c_str(), 0) == 0) return true;
  if (errno != EISDIR && errno != EPERM) return false;
  const FileHandle inner(
      openat(folder, name.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
  if (!inner.IsOpen()) return false;
  // The entries of a read-only folder of ours go too.
  fchmod(inner.Descriptor(), 0700);
  std::vector<std::string> names;
  if (DIR* listing = fdopendir(fcntl(inner.Descriptor(), F_DUPFD_CLOEXEC, 0))) {
    while (const dirent* entry = readdir(listing)) {
      const std::string entry_name = entry->d_name;
      if (entry_name != "." && entry_name != "..") names.push_back(entry_name);
    }
    closedir(listing);
  }
  bool all = true;
  for (const auto& entry_name : names) all = RemoveEntry(inner.Descriptor(), entry_name) && all;
  return unlinkat(folder, name.c_str(), AT_REMOVEDIR) == 0 && all;
}

}  // namespace

PrivateFolder PrivateFolder::Open(std::u16string_view parent, std::u16string_view name) {
  const std::string own_name = EntryName(name);
  char* resolved = realpath(ToNativePath(parent).c_str(), nullptr);
  if (resolved == nullptr) RaiseFileError(LastError(), true);
  const std::string canonical = resolved;
  std::free(resolved);

  PrivateFolder folder;
  folder.m_parent = OpenTrustedFolder(canonical, parent);
  const int at = folder.m_parent.Descriptor();
  if (mkdirat(at, own_name.c_str(), 0700) != 0 && errno != EEXIST) {
    RaiseFileError(LastError(), true);
  }
  folder.m_name = own_name;
  folder.m_folder = TakeOwnFolder(at, own_name);
  // Taken by someone else: a fresh folder of ours beside it, under a name nobody can guess.
  static constexpr char kLetters[] =
      "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::random_device random;
  for (int tries = 0; !folder.m_folder.IsOpen(); ++tries) {
    if (tries == 100) {
      Raise(err::kPathFileAccess, kLibrarySource,
            u"无法在 " + std::u16string(parent) + u" 中创建私有的工作文件夹");
    }
    std::string fresh = own_name + "-";
    for (int i = 0; i < 12; ++i) fresh += kLetters[random() % (sizeof kLetters - 1)];
    if (mkdirat(at, fresh.c_str(), 0700) != 0) {
      if (errno == EEXIST) continue;
      RaiseFileError(LastError(), true);
    }
    folder.m_name = fresh;
    folder.m_fresh = true;
    folder.m_folder = TakeOwnFolder(at, fresh);
  }
  folder.m_path = FromNativePath(fs::path(canonical) / folder.m_name);
  return folder;
}

PrivateFolder::~PrivateFolder() {
  if (m_fresh && m_parent.IsOpen()) RemoveEntry(m_parent.Descriptor(), m_name);
}

bool PrivateFolder::CreateNewFile(std::u16string_view name) const {
  const FileHandle file(openat(m_folder.Descriptor(), EntryName(name).c_str(),
                               O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
  if (file.IsOpen()) return true;
  if (errno == EEXIST) return false;
  RaiseFileError(LastError());
}

bool PrivateFolder::Remove(std::u16string_view name) const {
  return RemoveEntry(m_folder.Descriptor(), EntryName(name));
}

bool PrivateFolder::StillAtPath() const {
  struct stat named {};
  struct stat held {};
  return lstat(ToNativePath(m_path).c_str(), &named) == 0 &&
         fstat(m_folder.Descriptor(), &held) == 0 && S_ISDIR(named.st_mode) &&
         named.st_dev == held.st_dev && named.st_ino == held.st_ino;
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
