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

void CompondFile::addFormData(std::u16string name, std::u16string value) {
  if (FindKey(m_fields, name, [](const FormData& f) { return f.DataName(); }) != m_fields.end()) {
    Raise(err::kDuplicateKey);
  }
  FormData field;
  field.SetDataName(std::move(name));
  field.SetDataValue(std::move(value));
  m_fields.push_back(std::move(field));
}

void CompondFile::RemoveFormData(const std::u16string& name) {
  auto it = FindKey(m_fields, name, [](const FormData& f) { return f.DataName(); });
  if (it == m_fields.end()) Raise(err::kInvalidCall);
  m_fields.erase(it);
}

void CompondFile::AddUploadFile(const std::u16string& name, const std::u16string& filename) {
  AddUploadFile(name, filename, {});
}

void CompondFile::AddUploadFile(const std::u16string& name, const std::u16string& filename,
                                std::filesystem::path source) {
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
  auto it = FindKey(m_files, filename, [](const UploadFile& f) { return f.m_filename(); });
  if (it == m_files.end()) Raise(err::kInvalidCall);
  m_files.erase(it);
}

void CompondFile::RemoveAll() {
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
  // Every file is opened and measured, every value converted, once.
  std::vector<FileHandle> files;
  std::vector<int64_t> lengths;
  for (const auto& part : m_files) {
    files.push_back(part.OpenContents());
    lengths.push_back(files.back().CurrentSize());
  }
  std::vector<std::string> values;
  for (const auto& field : m_fields) values.push_back(codepage::ToGbk(field.Value()));

  auto contents_hold = [&](const std::string& boundary) {
    for (size_t i = 0; i < files.size(); ++i) {
      if (FileHolds(files[i], lengths[i], boundary)) return true;
    }
    for (const auto& value : values) {
      if (HoldsBytes(value, boundary)) return true;
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
  for (const int64_t length : lengths) file_bytes += length;
  PreparedPackage package;
  package.boundary = scan ? scan(choose, file_bytes) : choose();

  const std::string boundary_line = "--" + package.boundary + "\r\n";
  std::string text;
  for (size_t i = 0; i < m_files.size(); ++i) {
    const UploadFile& part = m_files[i];
    text += boundary_line;
    text += "Content-Disposition: form-data; name=\"" + HeaderParameter(part.m_name()) +
            "\"; filename=\"" + HeaderParameter(part.m_filename()) + "\"\r\n";
    text += "Content-Type: " + codepage::ToGbk(part.m_content_type()) + "\r\n\r\n";
    package.pieces.push_back({std::move(text), std::move(files[i]), lengths[i]});
    text = "\r\n";
  }
  for (size_t i = 0; i < m_fields.size(); ++i) {
    text += boundary_line;
    text += "Content-Disposition: form-data; name=\"" + HeaderParameter(m_fields[i].DataName()) +
            "\"\r\n\r\n";
    if (values[i].size() < kCopyChunk) {
      text += values[i];
    } else {
      // A large value (an article may run to hundreds of megabytes) goes as it is, not copied.
      package.pieces.push_back({std::move(text), {}, 0});
      package.pieces.push_back({std::move(values[i]), {}, 0});
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
