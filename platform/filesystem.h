// The file-system object: files, folders and text streams, on std::filesystem. Paths are taken as
// the system writes them ("\" or "/" between folders) and turned into the system's own paths here
// (POSIX paths in UTF-8, or Windows wide-character paths). Failures are raised with the classic
// numbers: 53 file not found, 76 path not found, 58 already exists, 70 permission denied, 75
// path/file access error. What needs the system's own calls is in posix/posix_filesystem.cpp and
// win32/win32_filesystem.cpp.
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <memory>
#include <string>
#include <system_error>
#include <utility>
#include <vector>

namespace velmaris {

// Whether the text can name a file on disk: no NUL, no lone surrogate.
bool IsNativeName(std::u16string_view path);
// On POSIX "\" becomes "/" and the text is taken as UTF-8 on disk; on Windows the text is the
// path. A text that is no native name raises 52.
std::filesystem::path ToNativePath(std::u16string_view path);
std::u16string FromNativePath(const std::filesystem::path& path);
// The most readable text for a name as the disk holds it: valid UTF-8 as such, else GBK (as
// archives made on Chinese Windows carry), else every byte outside printable ASCII as %XX. For
// showing and sending only: an entry is opened by its own bytes, never by this text.
std::u16string NameText(const std::string& bytes);
// The text of a name a folder listing gave: NameText of its bytes on POSIX, the name itself on
// Windows, whose names are UTF-16 already.
std::u16string ListedNameText(const std::filesystem::path& name);

// What a folder named where a file is wanted is refused with (53 where a file is looked up, 75
// where it is opened), so the editor is not told the path is missing.
inline constexpr char16_t kFolderNotFile[] = u"这是一个文件夹，不是文件";

// Raises the classic error for a failed file operation on `path`.
[[noreturn]] void RaiseFileError(const std::error_code& error, bool is_folder = false);

// An open file, closed with its owner.
class FileHandle {
 public:
#ifdef _WIN32
  // A HANDLE as an integer, so this header needs no <windows.h>; -1 is INVALID_HANDLE_VALUE.
  using Native = intptr_t;
#else
  using Native = int;  // a descriptor
#endif
  static constexpr Native kNone = -1;

  FileHandle() = default;
  explicit FileHandle(Native fd) : m_fd(fd) {}
  ~FileHandle();
  FileHandle(FileHandle&& other) noexcept : m_fd(std::exchange(other.m_fd, kNone)) {}
  FileHandle& operator=(FileHandle&& other) noexcept;
  FileHandle(const FileHandle&) = delete;
  FileHandle& operator=(const FileHandle&) = delete;

  bool IsOpen() const {
    return m_fd != kNone;
  }
  // The descriptor (HANDLE), for a socket that sends from it; the file stays this object's.
  Native Descriptor() const {
    return m_fd;
  }
  // Hands the descriptor over: the caller closes it.
  Native Release() {
    return std::exchange(m_fd, kNone);
  }
  // Hands the file over as a C stream for reading, which the caller closes; null when no stream
  // can be made (errno says why).
  std::FILE* ReleaseToStream();
  // The file's length as it is now; raises the file error.
  int64_t CurrentSize() const;
  // Reads up to `size` bytes from `offset`, the descriptor's position untouched; 0 at the end.
  size_t ReadAt(int64_t offset, char* data, size_t size) const;
  // Writes all of `data` at the file's position; raises the file error (61 when the disk is full).
  void Write(const char* data, size_t size) const;

 private:
  Native m_fd = kNone;
};

// Opens a file for reading. Only a regular file is opened: a folder, a device or a pipe (which
// may never end, or never answer) raises 75, a missing file 53, as RaiseFileError says for the
// rest.
FileHandle OpenRegularFile(std::u16string_view path);
FileHandle OpenRegularNativeFile(const std::filesystem::path& native);
// Opens a file for writing from its first byte, creating it (readable by its owner only) when
// it is missing; what it held is not cut off.
FileHandle OpenFileForWriting(std::u16string_view path);
// Creates a file that must not exist yet (readable by its owner only); 58 when it does.
FileHandle CreateNewFile(std::u16string_view path);

// The temporary folder: TEMP where set, else TMPDIR, else the system's.
std::u16string TempFolderPath();

// A folder only this user can enter (0700, its owner's), held open while it is used. Names are
// made and removed in it through the open folder, so a path swapped on the way never leads our
// writes elsewhere, and its path is handed to other programs only where no other user can change
// what it names.
class PrivateFolder {
 public:
  // Opens the folder `name` in `parent`, made when missing; an own folder that others may read is
  // narrowed to 0700. When the name is taken by what this user cannot keep to itself (another
  // user's folder, a link, a file, a folder others may write to), that is left alone and a fresh
  // private folder "<name>-XXXXXX" is made beside it instead, removed with this object. `parent`
  // must exist; 75 when other users can change what its path names (an ancestor that others may
  // write to without the sticky bit, or that belongs to another user), else the file error.
  static PrivateFolder Open(std::u16string_view parent, std::u16string_view name);

  PrivateFolder(PrivateFolder&& other) noexcept
      : m_parent(std::move(other.m_parent)),
        m_folder(std::move(other.m_folder)),
        m_path(std::move(other.m_path)),
        m_name(std::move(other.m_name)),
        m_fresh(std::exchange(other.m_fresh, false)) {}
  PrivateFolder& operator=(PrivateFolder&&) = delete;
  PrivateFolder(const PrivateFolder&) = delete;
  PrivateFolder& operator=(const PrivateFolder&) = delete;
  ~PrivateFolder();

  // The folder's path as the system writes it, without a trailing separator. On POSIX the
  // parent's links are resolved in it, so what it names does not depend on them.
  const std::u16string& Path() const { return m_path; }
  // Whether the name was taken and this is a fresh folder beside it.
  bool Fresh() const { return m_fresh; }
  // Creates the empty file `name` in the folder (readable by its owner only); false when
  // something of that name is there. Raises the file error otherwise.
  bool CreateNewFile(std::u16string_view name) const;
  // Removes the entry `name` of the folder (a folder with everything in it), never following a
  // link; false when it is missing or not all of it could be removed.
  bool Remove(std::u16string_view name) const;
  // Whether the path still names the folder held open.
  bool StillAtPath() const;

 private:
  PrivateFolder() = default;

  FileHandle m_parent;  // POSIX: the parent, for removing a fresh folder
  FileHandle m_folder;
  std::u16string m_path;
  std::string m_name;  // its name in the parent (POSIX, UTF-8)
  bool m_fresh = false;
};

struct FileEntry {
  std::u16string Name;  // name with extension, no folder
  std::u16string Path;  // full path
  int64_t size = 0;
  // The path as the system names it. For an entry a walk listed, its name's own bytes below its
  // folder: a "\" or a byte that is not UTF-8 in a name stays what it is.
  std::filesystem::path native;

  // The length as a 32-bit signed count; larger files raise overflow (6).
  int32_t Size() const;
};

class FolderEntry {
 public:
  FolderEntry(std::u16string name, std::u16string path, std::filesystem::path native_path)
      : Name(std::move(name)), Path(std::move(path)), native(std::move(native_path)) {}

  std::u16string Name;
  std::u16string Path;
  // As for FileEntry: what the folder's entries are listed and opened by.
  std::filesystem::path native;

  // Files directly in the folder, in name order.
  std::vector<FileEntry> Files() const;
  // Folders directly in the folder, in name order; links to folders are not followed.
  std::vector<FolderEntry> SubFolders() const;
  // Total length of every file in the tree, 64-bit.
  int64_t TotalSize() const;
  // The same as a 32-bit signed count; larger trees raise overflow (6).
  int32_t Size() const;
};

class TextStream {
 public:
  explicit TextStream(std::string bytes) : m_bytes(std::move(bytes)) {}

  bool AtEndOfStream() const { return m_pos >= m_bytes.size(); }
  // The next line without its terminator (CR LF, LF or CR), decoded from GBK.
  std::u16string ReadLine();
  void Close() { m_bytes.clear(), m_pos = 0; }

 private:
  std::string m_bytes;
  size_t m_pos = 0;
};

class FileSystemObject {
 public:
  FileEntry GetFile(std::u16string_view path) const;
  FolderEntry GetFolder(std::u16string_view path) const;
  bool FileExists(std::u16string_view path) const;
  bool FolderExists(std::u16string_view path) const;
  // Creates one folder whose parent exists.
  void CreateFolder(std::u16string_view path) const;
  // Deletes the folder with everything in it; a missing folder raises 76.
  void DeleteFolder(std::u16string_view path, bool force = true) const;
  void DeleteFile(std::u16string_view path) const;
  // Opens a text file for reading, in GBK.
  TextStream OpenTextFile(std::u16string_view path) const;
  // Reads a whole file as bytes.
  std::string ReadAllBytes(std::u16string_view path) const;
};

}  // namespace velmaris
