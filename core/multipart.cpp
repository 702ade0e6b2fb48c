#include "core/multipart.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <future>
#include <random>
#include <string_view>
#include <thread>

#include "base/codepage.h"
#include "base/error.h"
#include "base/text.h"
#include "platform/filesystem.h"

namespace velmaris {

std::u16string FormData::DataName() const {
  return GuardPackage(u"FormData:DataName Property Get", [&] { return m_data_name; });
}
void FormData::SetDataName(std::u16string name) {
  GuardPackage(u"FormData:DataName Property Let", [&] { m_data_name = std::move(name); });
}
std::u16string FormData::DataValue() const {
  return GuardPackage(u"FormData:DataValue Property Get", [&] { return m_data_value; });
}
void FormData::SetDataValue(std::u16string value) {
  GuardPackage(u"FormData:DataValue Property Let", [&] { m_data_value = std::move(value); });
}

void UploadFile::SetupUploadFile(const std::u16string& name, const std::u16string& filename,
                                 const std::u16string& content_type) {
  GuardPackage(u"UploadFile:SetupUploadFile Method", [&] {
    Set_m_name(name);
    Set_m_filename(filename);
    Set_m_content_type(content_type);
  });
}
std::u16string UploadFile::m_name() const {
  return GuardPackage(u"UploadFile:m_name Property Get", [&] { return m_name_; });
}
void UploadFile::Set_m_name(const std::u16string& name) {
  GuardPackage(u"UploadFile:m_name Property Let", [&] { m_name_ = name; });
}
std::u16string UploadFile::m_filename() const {
  return GuardPackage(u"UploadFile:m_filename Property Get", [&] { return m_filename_; });
}
void UploadFile::Set_m_filename(const std::u16string& filename) {
  GuardPackage(u"UploadFile:m_filename Property Let", [&] { m_filename_ = filename; });
}
std::u16string UploadFile::m_content_type() const {
  return GuardPackage(u"UploadFile:m_content_type Property Get", [&] { return m_content_type_; });
}
void UploadFile::Set_m_content_type(const std::u16string& content_type) {
  GuardPackage(u"UploadFile:m_content_type Property Let", [&] { m_content_type_ = content_type; });
}

FileHandle UploadFile::OpenContents() const {
  return m_source.empty() ? OpenRegularFile(m_filename_) : OpenRegularNativeFile(m_source);
}

namespace {

template <typename T, typename KeyOf>
auto FindKey(std::vector<T>& items, const std::u16string& key, KeyOf key_of) {
  auto lower = LowerCase(key);
  return std::find_if(items.begin(), items.end(),
                      [&](const T& item) { return LowerCase(key_of(item)) == lower; });
}

constexpr size_t kCopyChunk = 1024 * 1024;

// A file the system measures as empty that still gives bytes (a kernel's status file) has no
// length to announce: sent as measured it would go empty and be taken for sent.
constexpr char16_t kSizeUnknown[] = u"系统报告该文件为空，但读出了内容，无法确定其大小：";

}  // namespace

std::string HeaderParameter(std::u16string_view text) {
  std::u16string escaped;
  escaped.reserve(text.size());
  for (char16_t c : text) {
    switch (c) {
      case u'"':
        escaped += u"%22";
        break;
      case u'\r':
        escaped += u"%0D";
        break;
      case u'\n':
        escaped += u"%0A";
        break;
      default:
        escaped += c;
    }
  }
  return codepage::ToGbk(escaped);
}

void CompondFile::RefuseWhileSealed() const {
  if (Sealed()) Raise(err::kInvalidCall, kLibrarySource, kTransferUnderWay);
}

void CompondFile::addFormData(std::u16string name, std::u16string value) {
  RefuseWhileSealed();
  if (FindKey(m_fields, name, [](const FormData& f) { return f.DataName(); }) != m_fields.end()) {
    Raise(err::kDuplicateKey);
  }
  FormData field;
  field.SetDataName(std::move(name));
  field.SetDataValue(std::move(value));
  m_fields.push_back(std::move(field));
}

void CompondFile::RemoveFormData(const std::u16string& name) {
  RefuseWhileSealed();
  auto it = FindKey(m_fields, name, [](const FormData& f) { return f.DataName(); });
  if (it == m_fields.end()) Raise(err::kInvalidCall);
  m_fields.erase(it);
}

void CompondFile::AddUploadFile(const std::u16string& name, const std::u16string& filename) {
  AddUploadFile(name, filename, {});
}

void CompondFile::AddUploadFile(const std::u16string& name, const std::u16string& filename,
                                std::filesystem::path source) {
  RefuseWhileSealed();
  GuardPackage(u"CompondFile:AddUploadFile Method", [&] {
    if (FindKey(m_files, filename, [](const UploadFile& f) { return f.m_filename(); }) !=
        m_files.end()) {
      Raise(err::kDuplicateKey);
    }
    UploadFile part;
    part.SetupUploadFile(name, filename, u"text/plain");
    part.SetSource(std::move(source));
    m_files.push_back(std::move(part));
  });
}

void CompondFile::RemoveUploadFile(const std::u16string& filename) {
  RefuseWhileSealed();
  auto it = FindKey(m_files, filename, [](const UploadFile& f) { return f.m_filename(); });
  if (it == m_files.end()) Raise(err::kInvalidCall);
  m_files.erase(it);
}

void CompondFile::RemoveAll() {
  RefuseWhileSealed();
  m_files.clear();
  m_fields.clear();
}

namespace {

std::string RandomBoundary() {
  std::random_device random;
  std::string boundary = kBoundary;
  static constexpr char kHex[] = "0123456789abcdef";
  for (int i = 0; i < 16; ++i) boundary += kHex[random() % 16];
  return boundary;
}

// Whether bytes `from` to `to` of the file hold `text`. Read a cache-sized piece at a time; each
// piece starts with the end of the one before, so a text across their seam is found.
bool RangeHolds(const FileHandle& file, int64_t from, int64_t to, std::string_view text) {
  constexpr size_t kPiece = 256 * 1024;
  const size_t overlap = text.size() - 1;
  std::string buffer(kPiece + overlap, '\0');
  size_t kept = 0;
  for (int64_t offset = from; offset < to;) {
    const size_t want = static_cast<size_t>(std::min<int64_t>(to - offset, kPiece));
    const size_t n = file.ReadAt(offset, buffer.data() + kept, want);
    if (n == 0) return false;
    const size_t have = kept + n;
    if (HoldsBytes(std::string_view(buffer.data(), have), text)) return true;
    kept = std::min(overlap, have);
    std::memmove(buffer.data(), buffer.data() + have - kept, kept);
    offset += static_cast<int64_t>(n);
  }
  return false;
}

// Whether a file's first `length` bytes hold `text`. A large file is read in two halves at once:
// the scan comes before the first byte is sent, and reading the page cache is what it costs.
bool FileHolds(const FileHandle& file, int64_t length, std::string_view text) {
  constexpr int64_t kSplitAbove = 16 * 1024 * 1024;
  if (length <= kSplitAbove || std::thread::hardware_concurrency() < 2) {
    return RangeHolds(file, 0, length, text);
  }
  const int64_t middle = length / 2;
  auto second = std::async(std::launch::async, RangeHolds, std::cref(file),
                           middle - static_cast<int64_t>(text.size() - 1), length, text);
  const bool first = RangeHolds(file, 0, middle, text);
  return second.get() || first;
}

}  // namespace

PreparedPackage CompondFile::Prepare(const BoundaryScan& scan) const {
  // Everything the request is made of is taken here, before the scan: a large package's scan
  // lets the loop run, and what a page does to the package meanwhile is not this request's.
  // Every file is opened and measured, every name and value converted, once.
  struct FilePart {
    std::string head;  // the part's header lines after its boundary line
    FileHandle file;
    int64_t length = 0;
  };
  PreparedPackage package;
  std::vector<FilePart> files;
  for (const auto& part : m_files) {
    FilePart taken;
    taken.head = "Content-Disposition: form-data; name=\"" + HeaderParameter(part.m_name()) +
                 "\"; filename=\"" + HeaderParameter(part.m_filename()) + "\"\r\n" +
                 "Content-Type: " + codepage::ToGbk(part.m_content_type()) + "\r\n\r\n";
    taken.file = part.OpenContents();
    taken.length = taken.file.CurrentSize();
    if (char probe = 0; taken.length == 0 && taken.file.ReadAt(0, &probe, 1) > 0) {
      Raise(err::kPathFileAccess, kLibrarySource, kSizeUnknown + part.m_filename());
    }
    files.push_back(std::move(taken));
    package.files.emplace_back(part, files.back().length);
  }
  std::vector<std::pair<std::string, std::string>> fields;  // header line, value
  for (const auto& field : m_fields) {
    fields.emplace_back("Content-Disposition: form-data; name=\"" +
                            HeaderParameter(field.DataName()) + "\"\r\n\r\n",
                        codepage::ToGbk(field.Value()));
  }

  auto contents_hold = [&](const std::string& boundary) {
    for (const auto& part : files) {
      if (FileHolds(part.file, part.length, boundary)) return true;
    }
    for (const auto& field : fields) {
      if (HoldsBytes(field.second, boundary)) return true;
    }
    return false;
  };
  auto choose = [&] {
    std::string boundary = kBoundary;
    // A random boundary is found in the contents only by one built to hold it; a few tries
    // settle it.
    for (int attempt = 0; contents_hold(boundary); ++attempt) {
      if (attempt == 8) Raise(err::kInvalidCall);
      boundary = RandomBoundary();
    }
    return boundary;
  };
  int64_t file_bytes = 0;
  for (const auto& part : files) file_bytes += part.length;
  package.boundary = scan ? scan(choose, file_bytes) : choose();

  const std::string boundary_line = "--" + package.boundary + "\r\n";
  std::string text;
  for (auto& part : files) {
    text += boundary_line;
    text += part.head;
    package.pieces.push_back({std::move(text), std::move(part.file), part.length});
    text = "\r\n";
  }
  for (auto& [head, value] : fields) {
    text += boundary_line;
    text += head;
    if (value.size() < kCopyChunk) {
      text += value;
    } else {
      // A large value (an article may run to hundreds of megabytes) goes as it is, not copied.
      package.pieces.push_back({std::move(text), {}, 0});
      package.pieces.push_back({std::move(value), {}, 0});
      text.clear();
    }
    text += "\r\n";
  }
  text += "--" + package.boundary + "--\r\n";
  package.pieces.push_back({std::move(text), {}, 0});
  for (const auto& piece : package.pieces) {
    package.length += static_cast<int64_t>(piece.text.size()) + piece.file_length;
  }
  return package;
}

std::string CompondFile::PackageToFile(const std::u16string& filename) const {
  PreparedPackage package = Prepare();
  const FileHandle out = OpenFileForWriting(filename);
  std::string buffer(kCopyChunk, '\0');
  for (const auto& piece : package.pieces) {
    out.Write(piece.text.data(), piece.text.size());
    for (int64_t offset = 0; offset < piece.file_length;) {
      const size_t want =
          static_cast<size_t>(std::min<int64_t>(piece.file_length - offset, kCopyChunk));
      const size_t n = piece.file.ReadAt(offset, buffer.data(), want);
      if (n == 0) Raise(err::kPastEndOfFile);
      out.Write(buffer.data(), n);
      offset += static_cast<int64_t>(n);
    }
  }
  return package.boundary;
}

}  // namespace velmaris
