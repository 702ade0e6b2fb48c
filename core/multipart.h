// The multipart/form-data package: ordered, keyed file parts and text fields, written as one
// request body with a fixed boundary. All file parts come before all fields.
#pragma once

#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "platform/filesystem.h"

namespace velmaris {

// The boundary the request header announces; each part opens with two more hyphens. A package
// whose contents hold this text is written with a longer one instead (see PackageToFile).
inline constexpr char kBoundary[] = "---------------------------7d1c934a05c4";

class FormData {
 public:
  std::u16string DataName() const;
  void SetDataName(std::u16string name);
  std::u16string DataValue() const;
  void SetDataValue(std::u16string value);
  // The value itself, for writing it without a copy.
  const std::u16string& Value() const { return m_data_value; }

 private:
  std::u16string m_data_name;
  std::u16string m_data_value;
};

class UploadFile {
 public:
  void SetupUploadFile(const std::u16string& name, const std::u16string& filename,
                       const std::u16string& content_type);

  std::u16string m_name() const;
  void Set_m_name(const std::u16string& name);
  std::u16string m_filename() const;
  void Set_m_filename(const std::u16string& filename);
  std::u16string m_content_type() const;
  void Set_m_content_type(const std::u16string& content_type);

  // Where the contents are read from: the file a walk listed, by its own bytes; empty for a
  // path a page or an editor typed, which m_filename names.
  const std::filesystem::path& Source() const { return m_source; }
  void SetSource(std::filesystem::path source) { m_source = std::move(source); }
  // Opens the contents for reading, from Source() or else m_filename. Only a regular file: a
  // device or a pipe could feed the package without end.
  FileHandle OpenContents() const;

 private:
  std::u16string m_name_;
  std::u16string m_filename_;
  std::u16string m_content_type_;
  std::filesystem::path m_source;
};

// One stretch of a package on its way out: text built in memory, then (when `file` is open)
// `file_length` bytes of that file, read from it only as they are sent.
struct PackagePiece {
  std::string text;
  FileHandle file;
  int64_t file_length = 0;
};

// A package made ready to send: its boundary chosen and its length fixed before the first byte
// goes. Each file was opened and measured once; a file that grows meanwhile is sent up to the
// length taken, one that shrinks cannot fill it and must end the request unfinished.
struct PreparedPackage {
  std::string boundary;
  int64_t length = 0;
  std::vector<PackagePiece> pieces;
  // The file parts as they were taken, each with the length announced for it.
  std::vector<std::pair<UploadFile, int64_t>> files;
};

// What an edit of a package, or a start of its transfer, is refused with while that transfer waits.
inline constexpr char16_t kTransferUnderWay[] = u"上一次传输尚未结束";

class CompondFile {
 public:
  // Raises 457 when the name is already a field key (ignoring case).
  // Both are taken by value, so a caller can move a large value in.
  void addFormData(std::u16string name, std::u16string value);
  // Raises 5 when no field has that key.
  void RemoveFormData(const std::u16string& name);
  // Raises 9999 "CompondFile:AddUploadFile Method" on any failure, a duplicate path included.
  void AddUploadFile(const std::u16string& name, const std::u16string& filename);
  // A file a folder walk listed: sent under the text `filename`, read from `source`.
  void AddUploadFile(const std::u16string& name, const std::u16string& filename,
                     std::filesystem::path source);
  // Raises 5 when no file part has that key.
  void RemoveUploadFile(const std::u16string& filename);
  void RemoveAll();

  // Opens and measures every file and converts every value, then chooses the boundary by reading
  // the contents: kBoundary, unless a file or a value holds that text, which would end its part
  // early on the server; then kBoundary followed by random hex digits, a boundary that none of
  // the contents holds. A missing or unreadable local file raises that file's error.
  // Choosing the boundary is the one step that reads every byte of the files; `scan`, when given,
  // runs it (it gets the step and how many file bytes it reads, and returns the step's result or
  // lets its error through), so a caller with a loop to keep going can run it aside.
  using BoundaryScan =
      std::function<std::string(const std::function<std::string()>& choose, int64_t file_bytes)>;
  PreparedPackage Prepare(const BoundaryScan& scan = {}) const;

  // Writes the prepared package to `filename`, which is created if absent and written from its
  // first byte (not truncated: the caller provides a fresh file); returns its boundary. A file
  // that shrank since it was measured raises 62.
  std::string PackageToFile(const std::u16string& filename) const;

  const std::vector<UploadFile>& Files() const { return m_files; }
  const std::vector<FormData>& Fields() const { return m_fields; }

  // While sealed, every edit above raises 5 kTransferUnderWay. Its transfer seals it for as long
  // as one of its waits lets the loop run: the request going out was taken when it was prepared,
  // and an edit from a page's timer meanwhile could only be lost or taken for sent. Counted, so
  // nested waits unseal once the outermost ends.
  void Seal() { ++m_seals; }
  void Unseal() { --m_seals; }
  bool Sealed() const { return m_seals > 0; }

 private:
  void RefuseWhileSealed() const;

  std::vector<UploadFile> m_files;
  std::vector<FormData> m_fields;
  int m_seals = 0;
};

// A header parameter (name, filename) as written inside its quotes: '"', CR and LF become %22,
// %0D and %0A, and the text is converted to GBK.
std::string HeaderParameter(std::u16string_view text);

}  // namespace velmaris
