#include "platform/filesystem.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <iterator>

#include "base/codepage.h"
#include "base/error.h"

namespace fs = std::filesystem;

namespace velmaris {

bool IsNativeName(std::u16string_view path) {
  for (size_t i = 0; i < path.size(); ++i) {
    const char16_t c = path[i];
    if (c == u'\0') return false;
    if (c >= 0xDC00 && c <= 0xDFFF) return false;
    if (c >= 0xD800 && c <= 0xDBFF) {
      if (i + 1 == path.size() || path[i + 1] < 0xDC00 || path[i + 1] > 0xDFFF) return false;
      ++i;
    }
  }
  return true;
}

std::u16string NameText(const std::string& bytes) {
  if (codepage::IsValidUtf8(bytes)) return codepage::FromUtf8(bytes);
  // GBK has no U+FFFD of its own: one in the result means bytes that were not GBK.
  std::u16string gbk = codepage::FromGbk(bytes);
  if (gbk.find(u'\uFFFD') == std::u16string::npos) return gbk;
  static constexpr char16_t kHex[] = u"0123456789ABCDEF";
  std::u16string text;
  for (unsigned char c : bytes) {
    if (c >= 0x20 && c < 0x7F && c != '%') {
      text += static_cast<char16_t>(c);
    } else {
      text += {u'%', kHex[c >> 4], kHex[c & 0xF]};
    }
  }
  return text;
}

void RaiseFileError(const std::error_code& error, bool is_folder) {
  // As the portable condition, whichever category the system's call reported it in.
  const std::error_condition condition = error.default_error_condition();
  const int value = condition.category() == std::generic_category() ? condition.value() : 0;
  switch (static_cast<std::errc>(value)) {
    case std::errc::no_such_file_or_directory:
      Raise(is_folder ? err::kPathNotFound : err::kFileNotFound);
    case std::errc::not_a_directory:
      Raise(err::kPathNotFound);
    case std::errc::file_exists:
    case std::errc::directory_not_empty:
      Raise(err::kFileExists);
    case std::errc::permission_denied:
    case std::errc::operation_not_permitted:
    case std::errc::read_only_file_system:
      Raise(err::kPermissionDenied);
    case std::errc::no_space_on_device:
      Raise(err::kDiskFull);
    case std::errc::io_error:
      Raise(err::kDeviceIo);
    case std::errc::filename_too_long:
    case std::errc::invalid_argument:
      Raise(err::kBadFileName);
    default:
      Raise(err::kPathFileAccess);
  }
}

FileHandle OpenRegularFile(std::u16string_view path) {
  return OpenRegularNativeFile(ToNativePath(path));
}

int32_t FileEntry::Size() const {
  if (size > INT32_MAX) Raise(err::kOverflow);
  return static_cast<int32_t>(size);
}

namespace {

template <typename Entries>
void SortByName(Entries& entries) {
  std::sort(entries.begin(), entries.end(), [](const auto& a, const auto& b) {
    // Two names may read alike (the same text in GBK and in UTF-8): their bytes decide.
    return a.Name != b.Name ? a.Name < b.Name : a.native < b.native;
  });
}

// Lists the folder by its own bytes; each entry is named below it by its name's bytes.
void ListFolder(const FolderEntry& folder, std::vector<FileEntry>* files,
                std::vector<FolderEntry>* folders) {
  std::error_code error;
  fs::directory_iterator it(folder.native, error);
  if (error) RaiseFileError(error, true);
  std::u16string prefix = folder.Path;
  if (prefix.empty() || (prefix.back() != u'/' && prefix.back() != u'\\'))
    prefix += static_cast<char16_t>(fs::path::preferred_separator);
  for (; it != fs::directory_iterator(); it.increment(error)) {
    if (error) RaiseFileError(error, true);
    const auto& entry = *it;
    std::error_code status_error;
    auto name = ListedNameText(entry.path().filename());
    auto full = prefix + name;
    const bool link = entry.is_symlink(status_error);
    if (!link && entry.is_directory(status_error)) {
      if (folders) folders->emplace_back(name, full, entry.path());
    } else if (files && entry.is_regular_file(status_error)) {
      // A link to a file counts as the file; a link to a folder is not followed.
      files->push_back(
          {name, full, static_cast<int64_t>(entry.file_size(status_error)), entry.path()});
    }
  }
  if (files) SortByName(*files);
  if (folders) SortByName(*folders);
}

}  // namespace

std::vector<FileEntry> FolderEntry::Files() const {
  std::vector<FileEntry> files;
  ListFolder(*this, &files, nullptr);
  return files;
}

std::vector<FolderEntry> FolderEntry::SubFolders() const {
  std::vector<FolderEntry> folders;
  ListFolder(*this, nullptr, &folders);
  return folders;
}

int64_t FolderEntry::TotalSize() const {
  std::vector<FileEntry> files;
  std::vector<FolderEntry> folders;
  ListFolder(*this, &files, &folders);
  int64_t total = 0;
  for (const auto& file : files) total += file.size;
  for (const auto& folder : folders) total += folder.TotalSize();
  return total;
}

int32_t FolderEntry::Size() const {
  int64_t total = TotalSize();
  if (total > INT32_MAX) Raise(err::kOverflow);
  return static_cast<int32_t>(total);
}

std::u16string TextStream::ReadLine() {
  size_t end = m_pos;
  while (end < m_bytes.size() && m_bytes[end] != '\r' && m_bytes[end] != '\n') ++end;
  std::u16string line = codepage::FromGbk(std::string_view(m_bytes).substr(m_pos, end - m_pos));
  if (end < m_bytes.size() && m_bytes[end] == '\r') {
    ++end;
    if (end < m_bytes.size() && m_bytes[end] == '\n') ++end;
  } else if (end < m_bytes.size()) {
    ++end;
  }
  m_pos = end;
  return line;
}

FileEntry FileSystemObject::GetFile(std::u16string_view path) const {
  auto native = ToNativePath(path);
  std::error_code error;
  auto status = fs::status(native, error);
  if (error || status.type() == fs::file_type::not_found) {
    Raise(err::kFileNotFound);
  }
  if (status.type() == fs::file_type::directory) {
    Raise(err::kFileNotFound, kLibrarySource, kFolderNotFile);
  }
  auto absolute = fs::absolute(native, error);
  if (error) RaiseFileError(error);
  auto size = fs::file_size(native, error);
  if (error) RaiseFileError(error);
  return {FromNativePath(absolute.filename()), FromNativePath(absolute.lexically_normal()),
          static_cast<int64_t>(size), absolute.lexically_normal()};
}

FolderEntry FileSystemObject::GetFolder(std::u16string_view path) const {
  auto native = ToNativePath(path);
  std::error_code error;
  if (!fs::is_directory(native, error)) Raise(err::kPathNotFound);
  auto absolute = fs::absolute(native, error).lexically_normal();
  if (error) RaiseFileError(error, true);
  // Without a trailing separator, but a root ("/", "C:\\") stays whole.
  fs::path clean = absolute;
  while (clean.has_relative_path() && !clean.has_filename()) clean = clean.parent_path();
  return FolderEntry(FromNativePath(clean.filename()), FromNativePath(clean), clean);
}

bool FileSystemObject::FileExists(std::u16string_view path) const {
  if (!IsNativeName(path)) return false;
  std::error_code error;
  return fs::is_regular_file(ToNativePath(path), error);
}

bool FileSystemObject::FolderExists(std::u16string_view path) const {
  if (!IsNativeName(path)) return false;
  std::error_code error;
  return fs::is_directory(ToNativePath(path), error);
}

void FileSystemObject::CreateFolder(std::u16string_view path) const {
  auto native = ToNativePath(path);
  std::error_code error;
  if (fs::exists(native, error)) Raise(err::kFileExists);
  if (!fs::create_directory(native, error) || error) {
    RaiseFileError(error ? error : std::make_error_code(std::errc::file_exists), true);
  }
}

void FileSystemObject::DeleteFolder(std::u16string_view path, bool force) const {
  auto native = ToNativePath(path);
  std::error_code error;
  if (!fs::is_directory(fs::symlink_status(native, error))) Raise(err::kPathNotFound);
  if (force) {
    // Read-only entries go too: make everything writable first.
    for (auto it = fs::recursive_directory_iterator(native, error);
         !error && it != fs::recursive_directory_iterator(); it.increment(error)) {
      std::error_code ignored;
      if (!it->is_symlink(ignored)) {
        fs::permissions(it->path(), fs::perms::owner_write, fs::perm_options::add, ignored);
      }
    }
  }
  error.clear();
  fs::remove_all(native, error);
  if (error) RaiseFileError(error, true);
}

void FileSystemObject::DeleteFile(std::u16string_view path) const {
  auto native = ToNativePath(path);
  std::error_code error;
  if (!fs::is_regular_file(fs::symlink_status(native, error)) &&
      !fs::is_symlink(fs::symlink_status(native, error))) {
    Raise(err::kFileNotFound);
  }
  if (!fs::remove(native, error) || error) RaiseFileError(error);
}

std::string FileSystemObject::ReadAllBytes(std::u16string_view path) const {
  const FileHandle file = OpenRegularFile(path);
  std::string bytes;
  char buffer[64 * 1024];
  for (;;) {
    const size_t n = file.ReadAt(static_cast<int64_t>(bytes.size()), buffer, sizeof buffer);
    if (n == 0) break;
    bytes.append(buffer, n);
  }
  return bytes;
}

TextStream FileSystemObject::OpenTextFile(std::u16string_view path) const {
  return TextStream(ReadAllBytes(path));
}

}  // namespace velmaris
