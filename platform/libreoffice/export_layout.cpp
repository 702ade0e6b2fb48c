#include "platform/libreoffice/export_layout.h"

#include <stdlib.h>

#include <cerrno>
#include <fstream>
#include <iterator>
#include <set>
#include <system_error>

#include "platform/filesystem.h"

namespace velmaris::libreoffice {

namespace fs = std::filesystem;

namespace {

bool IsUnreserved(unsigned char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' ||
         c == '.' || c == '_' || c == '~';
}

int HexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::string PercentDecode(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      const int high = HexValue(text[i + 1]);
      const int low = HexValue(text[i + 2]);
      if (high >= 0 && low >= 0) {
        out.push_back(static_cast<char>(high * 16 + low));
        i += 2;
        continue;
      }
    }
    out.push_back(text[i]);
  }
  return out;
}

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string ReadAll(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) RaiseFileError(std::make_error_code(std::errc::no_such_file_or_directory));
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

void WriteAll(const fs::path& path, const std::string& bytes) {
  std::ofstream out(path, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (!out) RaiseFileError(std::make_error_code(std::errc::io_error));
}

}  // namespace

fs::path PictureFolderFor(const fs::path& file) {
  fs::path folder = file;
  folder.replace_extension(".files");
  return folder;
}

std::string PercentEncode(std::string_view utf8, bool keep_slash) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  out.reserve(utf8.size());
  for (const char ch : utf8) {
    const auto c = static_cast<unsigned char>(ch);
    if (IsUnreserved(c) || (keep_slash && c == '/')) {
      out.push_back(ch);
    } else {
      out.push_back('%');
      out.push_back(kHex[c >> 4]);
      out.push_back(kHex[c & 15]);
    }
  }
  return out;
}

std::string FileUrl(const fs::path& path) {
  return "file://" + PercentEncode(fs::absolute(path).lexically_normal().string(), true);
}

std::string RewriteReferences(std::string_view html, const std::vector<std::string>& names,
                              std::string_view prefix) {
  const std::set<std::string, std::less<>> known(names.begin(), names.end());
  auto replacement = [&](std::string_view value) -> const std::string* {
    if (auto it = known.find(value); it != known.end()) return &*it;
    if (auto it = known.find(PercentDecode(value)); it != known.end()) return &*it;
    return nullptr;
  };

  std::string out;
  out.reserve(html.size() + 64);
  size_t copied = 0;
  auto replace = [&](size_t begin, size_t end) {
    const std::string* name = replacement(html.substr(begin, end - begin));
    if (!name) return false;
    out.append(html.substr(copied, begin - copied));
    out.append(prefix);
    out.append(*name);
    copied = end;
    return true;
  };

  for (size_t i = 0; i < html.size(); ++i) {
    // An attribute value: "=" then optional blanks then a quoted value.
    if (html[i] == '=') {
      size_t j = i + 1;
      while (j < html.size() && IsSpace(html[j])) ++j;
      if (j < html.size() && (html[j] == '"' || html[j] == '\'')) {
        const size_t close = html.find(html[j], j + 1);
        if (close == std::string_view::npos) break;
        // A value that is no reference may hold one, as a style's url(...).
        i = replace(j + 1, close) ? close : j;
      }
      continue;
    }
    // A style sheet's url(...), quoted or not.
    if (html.compare(i, 4, "url(") == 0) {
      size_t begin = i + 4;
      const size_t close = html.find(')', begin);
      if (close == std::string_view::npos) break;
      size_t end = close;
      if (begin < end && (html[begin] == '"' || html[begin] == '\'') &&
          html[end - 1] == html[begin])
        ++begin, --end;
      replace(begin, end);
      i = close;
    }
  }
  out.append(html.substr(copied));
  return out;
}

StagingFolder::StagingFolder(const fs::path& target) {
  std::string pattern =
      (target.parent_path() / ("." + target.filename().string() + ".export-XXXXXX")).string();
  if (!mkdtemp(pattern.data()))
    RaiseFileError(std::error_code(errno, std::generic_category()), true);
  m_path = pattern;
}

StagingFolder::StagingFolder(PrivateFolder home) : m_home(std::move(home)) {
  std::string pattern = (ToNativePath(m_home->Path()) / "export-XXXXXX").string();
  if (!mkdtemp(pattern.data()))
    RaiseFileError(std::error_code(errno, std::generic_category()), true);
  m_path = pattern;
}

StagingFolder::~StagingFolder() {
  std::error_code ignored;
  fs::remove_all(m_path, ignored);
}

void PlaceExport(const fs::path& exported, const fs::path& target, const fs::path& picture_folder,
                 std::string_view prefix, HtmlAdaption adapt) {
  std::string html = ReadAll(exported);

  std::vector<std::string> moved;
  std::error_code error;
  for (const auto& entry : fs::directory_iterator(exported.parent_path())) {
    if (entry.path() == exported) continue;
    if (moved.empty()) {
      fs::create_directories(picture_folder, error);
      if (error) RaiseFileError(error, true);
      // The pictures are the user's alone, as the office wrote them.
      fs::permissions(picture_folder, fs::perms::owner_all, error);
    }
    const fs::path name = entry.path().filename();
    fs::rename(entry.path(), picture_folder / name, error);
    if (error) RaiseFileError(error);
    moved.push_back(name.string());
  }

  if (!moved.empty()) html = RewriteReferences(html, moved, prefix);
  if (adapt) html = adapt(html);
  if (!moved.empty() || adapt) WriteAll(exported, html);
  fs::rename(exported, target, error);
  if (error) RaiseFileError(error);
}

}  // namespace velmaris::libreoffice
