// The file system's part that needs the system's own calls, on Windows: wide-character paths and
// file HANDLEs. Files are opened sharing read, write and delete, so a file can be deleted or
// renamed while it is being sent, as on POSIX.
#include <windows.h>
// After windows.h, which it needs.
#include <aclapi.h>
#include <fcntl.h>
#include <io.h>

#include <cerrno>
#include <cstdlib>
#include <iterator>
#include <memory>
#include <random>

#include "base/error.h"
#include "platform/filesystem.h"

namespace fs = std::filesystem;

namespace velmaris {

namespace {

// The system's error as the portable condition the POSIX calls would have given, so that both
// raise the same classic number.
std::error_code PortableError(DWORD code) {
  switch (code) {
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_DRIVE:
    case ERROR_BAD_NETPATH:
    case ERROR_BAD_NET_NAME:
      return std::make_error_code(std::errc::no_such_file_or_directory);
    case ERROR_DIRECTORY:
      return std::make_error_code(std::errc::not_a_directory);
    case ERROR_FILE_EXISTS:
    case ERROR_ALREADY_EXISTS:
      return std::make_error_code(std::errc::file_exists);
    case ERROR_DIR_NOT_EMPTY:
      return std::make_error_code(std::errc::directory_not_empty);
    case ERROR_ACCESS_DENIED:
    case ERROR_SHARING_VIOLATION:
    case ERROR_LOCK_VIOLATION:
    case ERROR_PRIVILEGE_NOT_HELD:
      return std::make_error_code(std::errc::permission_denied);
    case ERROR_WRITE_PROTECT:
      return std::make_error_code(std::errc::read_only_file_system);
    case ERROR_DISK_FULL:
    case ERROR_HANDLE_DISK_FULL:
      return std::make_error_code(std::errc::no_space_on_device);
    case ERROR_CRC:
    case ERROR_READ_FAULT:
    case ERROR_WRITE_FAULT:
    case ERROR_GEN_FAILURE:
    case ERROR_IO_DEVICE:
      return std::make_error_code(std::errc::io_error);
    case ERROR_FILENAME_EXCED_RANGE:
      return std::make_error_code(std::errc::filename_too_long);
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
      return std::make_error_code(std::errc::invalid_argument);
  }
  return {static_cast<int>(code), std::system_category()};
}

[[noreturn]] void RaiseLastError(bool is_folder = false) {
  RaiseFileError(PortableError(GetLastError()), is_folder);
}

HANDLE Handle(FileHandle::Native native) {
  return reinterpret_cast<HANDLE>(native);
}

// The longest path the system takes at all; a longer one is refused as a name, whatever the
// system would say of it (Wine says "path not found").
constexpr size_t kLongestPath = 32767;

FileHandle Open(const fs::path& native, DWORD access, DWORD disposition) {
  constexpr DWORD kShareAll = FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE;
  if (native.native().size() > kLongestPath) {
    SetLastError(ERROR_FILENAME_EXCED_RANGE);
    return FileHandle();
  }
  // Not inherited by child processes (no security attributes), as O_CLOEXEC.
  const HANDLE handle = CreateFileW(native.c_str(), access, kShareAll, nullptr, disposition,
                                    FILE_ATTRIBUTE_NORMAL, nullptr);
  return FileHandle(reinterpret_cast<FileHandle::Native>(handle));
}

// The SID of the token's user and the SID it gives new objects as owner (an elevated
// administrator's is the Administrators group).
struct OwnSids {
  std::unique_ptr<char[]> user;
  std::unique_ptr<char[]> owner;
};

std::unique_ptr<char[]> TokenPart(HANDLE token, TOKEN_INFORMATION_CLASS kind) {
  DWORD size = 0;
  GetTokenInformation(token, kind, nullptr, 0, &size);
  auto part = std::make_unique<char[]>(size == 0 ? 1 : size);
  if (size == 0 || !GetTokenInformation(token, kind, part.get(), size, &size)) return nullptr;
  return part;
}

OwnSids CurrentSids() {
  OwnSids sids;
  HANDLE token = nullptr;
  if (!OpenProcessToken(GetCurrentProcess(), TOKEN_QUERY, &token)) return sids;
  sids.user = TokenPart(token, TokenUser);
  sids.owner = TokenPart(token, TokenOwner);
  CloseHandle(token);
  return sids;
}

PSID UserSid(const OwnSids& sids) {
  return sids.user ? reinterpret_cast<TOKEN_USER*>(sids.user.get())->User.Sid : nullptr;
}

PSID OwnerSid(const OwnSids& sids) {
  return sids.owner ? reinterpret_cast<TOKEN_OWNER*>(sids.owner.get())->Owner : nullptr;
}

bool IsOwnSid(const OwnSids& sids, PSID sid) {
  return sid != nullptr && ((UserSid(sids) != nullptr && EqualSid(sid, UserSid(sids))) ||
                            (OwnerSid(sids) != nullptr && EqualSid(sid, OwnerSid(sids))));
}

// The folder's access list becomes the user's alone, inherited by what is made in it, and no
// longer takes entries from its parent: the counterpart of mode 0700.
bool NarrowToUser(const fs::path& native, PSID user) {
  EXPLICIT_ACCESSW access{};
  access.grfAccessPermissions = GENERIC_ALL;
  access.grfAccessMode = SET_ACCESS;
  access.grfInheritance = SUB_CONTAINERS_AND_OBJECTS_INHERIT;
  access.Trustee.TrusteeForm = TRUSTEE_IS_SID;
  access.Trustee.TrusteeType = TRUSTEE_IS_USER;
  access.Trustee.ptstrName = static_cast<LPWSTR>(user);
  PACL list = nullptr;
  if (SetEntriesInAclW(1, &access, nullptr, &list) != ERROR_SUCCESS) return false;
  std::wstring name = native.wstring();
  const DWORD result = SetNamedSecurityInfoW(
      name.data(), SE_FILE_OBJECT, DACL_SECURITY_INFORMATION | PROTECTED_DACL_SECURITY_INFORMATION,
      nullptr, nullptr, list, nullptr);
  LocalFree(list);
  SetLastError(result);
  return result == ERROR_SUCCESS;
}

}  // namespace

fs::path ToNativePath(std::u16string_view path) {
  // The system would end the name at a NUL, and a lone surrogate would be written as U+FFFD:
  // either way the call would reach another file than the one named.
  if (!IsNativeName(path)) Raise(err::kBadFileName);
  // Both "\" and "/" separate folders here.
  return fs::path(std::wstring(path.begin(), path.end()));
}

std::u16string FromNativePath(const fs::path& path) {
  const std::wstring& text = path.native();
  return std::u16string(text.begin(), text.end());
}

std::u16string ListedNameText(const fs::path& name) {
  return FromNativePath(name);
}

FileHandle::~FileHandle() {
  if (m_fd != kNone) CloseHandle(Handle(m_fd));
}

FileHandle& FileHandle::operator=(FileHandle&& other) noexcept {
  if (this != &other) {
    if (m_fd != kNone) CloseHandle(Handle(m_fd));
    m_fd = std::exchange(other.m_fd, kNone);
  }
  return *this;
}

int64_t FileHandle::CurrentSize() const {
  LARGE_INTEGER size{};
  if (!GetFileSizeEx(Handle(m_fd), &size)) RaiseLastError();
  return size.QuadPart;
}

size_t FileHandle::ReadAt(int64_t offset, char* data, size_t size) const {
  // The offset travels with the call; the handle is synchronous, so the call returns when done.
  OVERLAPPED at{};
  at.Offset = static_cast<DWORD>(offset);
  at.OffsetHigh = static_cast<DWORD>(static_cast<uint64_t>(offset) >> 32);
  DWORD got = 0;
  const DWORD wanted = static_cast<DWORD>(std::min<size_t>(size, 1u << 30));
  if (!ReadFile(Handle(m_fd), data, wanted, &got, &at)) {
    if (GetLastError() == ERROR_HANDLE_EOF) return 0;
    RaiseLastError();
  }
  return got;
}

void FileHandle::Write(const char* data, size_t size) const {
  while (size > 0) {
    DWORD written = 0;
    const DWORD piece = static_cast<DWORD>(std::min<size_t>(size, 1u << 30));
    if (!WriteFile(Handle(m_fd), data, piece, &written, nullptr)) RaiseLastError();
    data += written;
    size -= written;
  }
}

std::FILE* FileHandle::ReleaseToStream() {
  const int fd = _open_osfhandle(m_fd, _O_RDONLY | _O_BINARY);
  if (fd < 0) return nullptr;
  // The descriptor owns the handle now, and the stream the descriptor.
  m_fd = kNone;
  std::FILE* stream = _fdopen(fd, "rb");
  if (stream == nullptr) _close(fd);
  return stream;
}

FileHandle OpenFileForWriting(std::u16string_view path) {
  // A new file takes the access list of its folder, which a private folder keeps to the user.
  FileHandle file = Open(ToNativePath(path), GENERIC_WRITE, OPEN_ALWAYS);
  if (!file.IsOpen()) RaiseLastError();
  return file;
}

FileHandle CreateNewFile(std::u16string_view path) {
  FileHandle file = Open(ToNativePath(path), GENERIC_WRITE, CREATE_NEW);
  if (!file.IsOpen()) RaiseLastError();
  return file;
}

FileHandle OpenRegularNativeFile(const fs::path& native) {
  FileHandle file = Open(native, GENERIC_READ, OPEN_EXISTING);
  if (!file.IsOpen()) {
    // A folder cannot be opened as a file at all.
    const DWORD error = GetLastError();
    const DWORD attributes = GetFileAttributesW(native.c_str());
    if (attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
      Raise(err::kPathFileAccess, kLibrarySource, kFolderNotFile);
    }
    RaiseFileError(PortableError(error));
  }
  // A device (CON, NUL, COM1) or a pipe may never end, or never answer.
  if (GetFileType(Handle(file.Descriptor())) != FILE_TYPE_DISK) Raise(err::kPathFileAccess);
  return file;
}

std::u16string TempFolderPath() {
  for (const wchar_t* name : {L"TEMP", L"TMPDIR"}) {
    const wchar_t* value = _wgetenv(name);
    if (value != nullptr && *value != L'\0') {
      const std::wstring text(value);
      return std::u16string(text.begin(), text.end());
    }
  }
  wchar_t buffer[MAX_PATH + 1];
  const DWORD length = GetTempPathW(MAX_PATH + 1, buffer);
  if (length == 0 || length > MAX_PATH) return u"C:\\Windows\\Temp";
  std::u16string text(buffer, buffer + length);
  // Without the trailing separator, as a folder's path is written elsewhere; "C:\" stays whole.
  if (text.size() > 3 && text.back() == u'\\') text.pop_back();
  return text;
}

namespace {

// The folder at `native`, held open when it is ours alone: a folder (no junction or link), owned
// by the user, its access list narrowed to the user. It is opened without sharing deletion, so
// nobody renames or removes it, or puts another in its place, while it is held.
FileHandle TakeOwnFolder(const fs::path& native) {
  const HANDLE handle = CreateFileW(
      native.c_str(), FILE_LIST_DIRECTORY | READ_CONTROL, FILE_SHARE_READ | FILE_SHARE_WRITE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (handle == INVALID_HANDLE_VALUE) return FileHandle();
  FileHandle folder(reinterpret_cast<FileHandle::Native>(handle));
  BY_HANDLE_FILE_INFORMATION info{};
  if (!GetFileInformationByHandle(handle, &info) ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) == 0 ||
      (info.dwFileAttributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    return FileHandle();
  }
  PSID owner = nullptr;
  PSECURITY_DESCRIPTOR descriptor = nullptr;
  if (GetSecurityInfo(handle, SE_FILE_OBJECT, OWNER_SECURITY_INFORMATION, &owner, nullptr, nullptr,
                      nullptr, &descriptor) != ERROR_SUCCESS) {
    return FileHandle();
  }
  const OwnSids sids = CurrentSids();
  const bool own = IsOwnSid(sids, owner);
  LocalFree(descriptor);
  // Whatever others were allowed before, only the user may enter it now.
  if (!own || !NarrowToUser(native, UserSid(sids))) return FileHandle();
  return folder;
}

bool SameFile(HANDLE a, HANDLE b) {
  BY_HANDLE_FILE_INFORMATION first{};
  BY_HANDLE_FILE_INFORMATION second{};
  return GetFileInformationByHandle(a, &first) && GetFileInformationByHandle(b, &second) &&
         first.dwVolumeSerialNumber == second.dwVolumeSerialNumber &&
         first.nFileIndexHigh == second.nFileIndexHigh &&
         first.nFileIndexLow == second.nFileIndexLow;
}

std::u16string EntryPath(const std::u16string& folder, std::u16string_view name) {
  if (!IsNativeName(name) || name.empty() || name == u"." || name == u".." ||
      name.find_first_of(u"/\\:") != std::u16string_view::npos) {
    Raise(err::kBadFileName);
  }
  return folder + u"\\" + std::u16string(name);
}

}  // namespace

// The user's TEMP is the user's own here, so its path needs no check of its own; the folder is
// held open instead of worked in through a descriptor.
PrivateFolder PrivateFolder::Open(std::u16string_view parent, std::u16string_view name) {
  std::u16string base(parent);
  if (!base.empty() && (base.back() == u'\\' || base.back() == u'/')) base.pop_back();
  PrivateFolder folder;
  folder.m_path = EntryPath(base, name);
  const auto native = ToNativePath(folder.m_path);
  if (!CreateDirectoryW(native.c_str(), nullptr) && GetLastError() != ERROR_ALREADY_EXISTS) {
    RaiseLastError(true);
  }
  folder.m_folder = TakeOwnFolder(native);
  // Taken by someone else: a fresh folder of ours beside it, under a name nobody can guess.
  static constexpr char16_t kLetters[] =
      u"abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789";
  std::random_device random;
  for (int tries = 0; !folder.m_folder.IsOpen(); ++tries) {
    if (tries == 100) {
      Raise(err::kPathFileAccess, kLibrarySource,
            u"无法在 " + std::u16string(parent) + u" 中创建私有的工作文件夹");
    }
    std::u16string fresh = std::u16string(name) + u"-";
    for (int i = 0; i < 12; ++i) fresh += kLetters[random() % (std::size(kLetters) - 1)];
    folder.m_path = EntryPath(base, fresh);
    const auto fresh_native = ToNativePath(folder.m_path);
    if (!CreateDirectoryW(fresh_native.c_str(), nullptr)) {
      if (GetLastError() == ERROR_ALREADY_EXISTS) continue;
      RaiseLastError(true);
    }
    folder.m_fresh = true;
    folder.m_folder = TakeOwnFolder(fresh_native);
  }
  return folder;
}

PrivateFolder::~PrivateFolder() {
  if (!m_fresh) return;
  m_folder = FileHandle();  // it cannot be removed while held
  try {
    FileSystemObject().DeleteFolder(m_path, true);
  } catch (const std::exception&) {
    // Left in the user's TEMP.
  }
}

bool PrivateFolder::CreateNewFile(std::u16string_view name) const {
  const FileHandle file =
      velmaris::Open(ToNativePath(EntryPath(m_path, name)), GENERIC_WRITE, CREATE_NEW);
  if (file.IsOpen()) return true;
  if (GetLastError() == ERROR_FILE_EXISTS || GetLastError() == ERROR_ALREADY_EXISTS) return false;
  RaiseLastError();
}

bool PrivateFolder::Remove(std::u16string_view name) const {
  const std::u16string path = EntryPath(m_path, name);
  const auto native = ToNativePath(path);
  const DWORD attributes = GetFileAttributesW(native.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return false;
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) != 0) {
    // The link goes, not what it leads to.
    return (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0 ? RemoveDirectoryW(native.c_str())
                                                        : DeleteFileW(native.c_str());
  }
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) {
    SetFileAttributesW(native.c_str(), FILE_ATTRIBUTE_NORMAL);  // a read-only file goes too
    return DeleteFileW(native.c_str());
  }
  try {
    FileSystemObject().DeleteFolder(path, true);
  } catch (const std::exception&) {
    return false;
  }
  return true;
}

bool PrivateFolder::StillAtPath() const {
  const HANDLE named = CreateFileW(
      ToNativePath(m_path).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
      nullptr, OPEN_EXISTING, FILE_FLAG_BACKUP_SEMANTICS | FILE_FLAG_OPEN_REPARSE_POINT, nullptr);
  if (named == INVALID_HANDLE_VALUE) return false;
  const bool same = SameFile(named, Handle(m_folder.Descriptor()));
  CloseHandle(named);
  return same;
}

}  // namespace velmaris
