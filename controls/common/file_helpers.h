// Paths, folders and text files for the importing and picture controls. Paths are written the
// Windows way: "\" between folders, "/" accepted and turned into "\". The file-system layer turns
// them into POSIX paths when it touches the disk, so a POSIX path such as "/tmp\doc2html\" works
// as it stands.
#pragma once

#include <string>
#include <string_view>

namespace velmaris {

class PrivateFolder;

// The temporary folder, normally without a trailing separator; callers append "\" and a name.
std::u16string GetTempFolder();

// Every "/" becomes "\".
std::u16string ToBackslashes(std::u16string_view path);

// The last component of the path, blanks around the path removed; "" when it ends in a separator.
std::u16string GetFileName(std::u16string_view path);

// What follows the last "." of the whole path, case kept; a "." in a folder name counts too.
// "" when the path has no ".".
std::u16string GetFileExtension(std::u16string_view path);

// Creates the folder and every missing folder above it. A path starting with a single separator
// is taken from the root; a path starting with two (a network share) cannot be made. Raises the
// file system's error when a folder cannot be made; folders made before the failure stay.
void CreateFolderPath(std::u16string_view path);

// Deletes the folder with everything in it, read-only entries included; one trailing separator is
// allowed. A missing folder raises 76.
void DeleteFolderTree(std::u16string_view path);

// Creates a new, empty file in `folder` whose name is the first three characters of `prefix`, a
// hexadecimal number and ".tmp", and returns its full name. The file is created exclusively, so
// the name belongs to the caller alone. "" when no file could be made (missing folder, no room).
std::u16string MakeTempFileName(std::u16string_view folder, std::u16string_view prefix);
// The same in a private folder, made through the open folder; the name alone, without the folder.
std::u16string MakeTempFileName(const PrivateFolder& folder, std::u16string_view prefix);

// Text file contents as text: a byte-order mark (UTF-8, UTF-16) decides the encoding; without
// one, bytes that are valid UTF-8 are read as UTF-8 and anything else as GBK.
std::u16string DecodeTextBytes(std::string_view bytes);

// The text of a file with every line followed by CR LF, whatever ended it in the file (CR LF, LF,
// CR or nothing for the last line); an empty file gives "". Raises the file system's error when
// the file cannot be read (53 for a missing file).
std::u16string ReadTextFileOrRaise(std::u16string_view path);

// The same, with "" for a file that cannot be read: the importers' converted HTML is read this way.
std::u16string ReadTextFile(std::u16string_view path);

}  // namespace velmaris
