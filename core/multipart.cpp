#include "core/multipart.h"

#include <fcntl.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <random>
#include <string_view>
#include <system_error>

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

namespace {

template <typename T, typename KeyOf>
auto FindKey(std::vector<T>& items, const std::u16string& key, KeyOf key_of) {
  auto lower = LowerCase(key);
  return std::find_if(items.begin(), items.end(),
                      [&](const T& item) { return LowerCase(key_of(item)) == lower; });
}

// Writes all of `data`, raising the file error on failure.
void WriteAll(int fd, const char* data, size_t size) {
  while (size > 0) {
    ssize_t n = write(fd, data, size);
    if (n < 0) {
      if (errno == EINTR) continue;
      RaiseFileError(std::error_code(errno, std::generic_category()));
    }
    data += n;
    size -= static_cast<size_t>(n);
  }
}

class Fd {
 public:
  explicit Fd(int fd) : m_fd(fd) {}
  ~Fd() {
    if (m_fd >= 0) close(m_fd);
  }
  Fd(const Fd&) = delete;
  Fd& operator=(const Fd&) = delete;
  int get() const { return m_fd; }

 private:
  int m_fd;
};

int OpenOrRaise(std::u16string_view path, int flags, mode_t mode = 0) {
  int fd = open(ToNativePath(path).c_str(), flags | O_CLOEXEC, mode);
  if (fd < 0) RaiseFileError(std::error_code(errno, std::generic_category()));
  return fd;
}

constexpr size_t kCopyChunk = 1024 * 1024;
// UTF-16 units of a field value converted at a time.
constexpr size_t kValuePiece = 64 * 1024;

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

// Watches a stream of bytes, fed in pieces, for one text, across the seams between pieces.
class TextWatch {
 public:
  explicit TextWatch(std::string_view text) : m_text(text) {}

  void Feed(const char* data, size_t size) {
    if (m_found || size == 0) return;
    // The seam: the end of what came before, joined to the start of this piece.
    std::string seam = m_tail;
    seam.append(data, std::min(size, m_text.size() - 1));
    if (Holds(seam.data(), seam.size()) || Holds(data, size)) {
      m_found = true;
      return;
    }
    const size_t keep = m_text.size() - 1;
    if (size >= keep) {
      m_tail.assign(data + size - keep, keep);
    } else {
      m_tail.append(data, size);
      if (m_tail.size() > keep) m_tail.erase(0, m_tail.size() - keep);
    }
  }
  // A new content: the seam starts afresh, since only a boundary inside one content can cut it.
  void Restart() { m_tail.clear(); }
  bool Found() const { return m_found; }

 private:
  bool Holds(const char* data, size_t size) const {
    return memmem(data, size, m_text.data(), m_text.size()) != nullptr;
  }

  std::string_view m_text;
  std::string m_tail;
  bool m_found = false;
};

std::string RandomBoundary() {
  std::random_device random;
  std::string boundary = kBoundary;
  static constexpr char kHex[] = "0123456789abcdef";
  for (int i = 0; i < 16; ++i) boundary += kHex[random() % 16];
  return boundary;
}

}  // namespace

std::string CompondFile::PackageToFile(const std::u16string& filename) const {
  Fd out(OpenOrRaise(filename, O_WRONLY | O_CREAT, 0600));
  return PackageToFile(out.get());
}

std::string CompondFile::PackageToFile(int fd) const {
  std::string boundary = kBoundary;
  // A random boundary is found in the contents only by one built to hold it; a few tries
  // settle it.
  for (int attempt = 0;; ++attempt) {
    if (WritePackage(fd, boundary)) return boundary;
    if (attempt == 8) Raise(err::kInvalidCall);
    boundary = RandomBoundary();
    if (lseek(fd, 0, SEEK_SET) < 0 || ftruncate(fd, 0) < 0) {
      RaiseFileError(std::error_code(errno, std::generic_category()));
    }
  }
}

bool CompondFile::WritePackage(int fd, const std::string& boundary) const {
  const std::string boundary_line = "--" + boundary + "\r\n";
  TextWatch watch(boundary);
  std::string buffer;
  for (const auto& part : m_files) {
    std::string head = boundary_line;
    head += "Content-Disposition: form-data; name=\"" + HeaderParameter(part.m_name()) +
            "\"; filename=\"" + HeaderParameter(part.m_filename()) + "\"\r\n";
    head += "Content-Type: " + codepage::ToGbk(part.m_content_type()) + "\r\n\r\n";
    WriteAll(fd, head.data(), head.size());

    // Only a regular file: a device or a pipe could feed the package without end.
    Fd in(part.Source().empty() ? OpenRegularFile(part.m_filename())
                                : OpenRegularNativeFile(part.Source()));
    buffer.resize(kCopyChunk);
    watch.Restart();
    for (;;) {
      ssize_t n = read(in.get(), buffer.data(), buffer.size());
      if (n < 0) {
        if (errno == EINTR) continue;
        RaiseFileError(std::error_code(errno, std::generic_category()));
      }
      if (n == 0) break;
      watch.Feed(buffer.data(), static_cast<size_t>(n));
      if (watch.Found()) return false;
      WriteAll(fd, buffer.data(), static_cast<size_t>(n));
    }
    WriteAll(fd, "\r\n", 2);
  }
  for (const auto& field : m_fields) {
    std::string text = boundary_line;
    text += "Content-Disposition: form-data; name=\"" + HeaderParameter(field.DataName()) +
            "\"\r\n\r\n";
    // The value is converted a piece at a time and written in bounded chunks: an article's
    // content may be hundreds of megabytes, and is not copied whole.
    watch.Restart();
    std::u16string_view value = field.Value();
    while (!value.empty()) {
      size_t units = std::min(kValuePiece, value.size());
      // A surrogate pair stays in one piece, so the bytes are those of converting it whole.
      if (units < value.size() && value[units - 1] >= 0xD800 && value[units - 1] <= 0xDBFF) {
        --units;
      }
      const std::string piece = codepage::ToGbk(value.substr(0, units));
      value.remove_prefix(units);
      watch.Feed(piece.data(), piece.size());
      if (watch.Found()) return false;
      text += piece;
      if (text.size() >= kCopyChunk) {
        WriteAll(fd, text.data(), text.size());
        text.clear();
      }
    }
    text += "\r\n";
    WriteAll(fd, text.data(), text.size());
  }
  std::string closing = "--" + boundary + "--\r\n";
  WriteAll(fd, closing.data(), closing.size());
  return true;
}

}  // namespace velmaris
