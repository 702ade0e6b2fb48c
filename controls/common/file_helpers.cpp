#include "controls/common/file_helpers.h"

#include <random>
#include <vector>

#include "base/codepage.h"
#include "base/error.h"
#include "base/text.h"
#include "controls/common/plain_text.h"
#include "platform/filesystem.h"

namespace velmaris {

namespace {

std::vector<std::u16string> SplitAt(std::u16string_view text, char16_t separator) {
  std::vector<std::u16string> pieces;
  size_t start = 0;
  for (;;) {
    size_t at = text.find(separator, start);
    pieces.emplace_back(text.substr(start, at == std::u16string_view::npos ? at : at - start));
    if (at == std::u16string_view::npos) return pieces;
    start = at + 1;
  }
}

// Decodes UTF-16 in the given byte order; an odd last byte becomes U+FFFD.
std::u16string FromUtf16(std::string_view bytes, bool big_endian) {
  std::u16string text;
  text.reserve(bytes.size() / 2 + 1);
  for (size_t i = 0; i + 1 < bytes.size(); i += 2) {
    auto first = static_cast<unsigned char>(bytes[i]);
    auto second = static_cast<unsigned char>(bytes[i + 1]);
    text.push_back(
        static_cast<char16_t>(big_endian ? (first << 8) | second : (second << 8) | first));
  }
  if (bytes.size() % 2 != 0) text.push_back(u'\uFFFD');
  return text;
}

bool StartsWith(std::string_view bytes, std::string_view prefix) {
  return bytes.substr(0, prefix.size()) == prefix;
}

std::u16string Hex4(unsigned number) {
  static constexpr char16_t kDigits[] = u"0123456789abcdef";
  std::u16string text(4, u'0');
  for (int i = 3; i >= 0; --i, number >>= 4) text[static_cast<size_t>(i)] = kDigits[number & 0xF];
  return text;
}

}  // namespace

std::u16string GetTempFolder() {
  return TempFolderPath();
}

std::u16string ToBackslashes(std::u16string_view path) {
  std::u16string text(path);
  for (auto& c : text) {
    if (c == u'/') c = u'\\';
  }
  return text;
}

std::u16string GetFileName(std::u16string_view path) {
  std::u16string p = TrimSpaces(ToBackslashes(path));
  size_t last = p.rfind(u'\\');
  return last == std::u16string::npos ? p : p.substr(last + 1);
}

std::u16string GetFileExtension(std::u16string_view path) {
  size_t dot = path.rfind(u'.');
  return dot == std::u16string_view::npos ? std::u16string() : std::u16string(path.substr(dot + 1));
}

void CreateFolderPath(std::u16string_view path) {
  const std::u16string p = ToBackslashes(path);
  const std::vector<std::u16string> pieces = SplitAt(p, u'\\');
  FileSystemObject fso;

  std::u16string current;
  size_t next = 1;
  if (p.size() >= 3 && p[1] == u':' && p[2] == u'\\') {
    current = pieces[0] + u"\\" + pieces[1];
    next = 2;
  } else if (!p.empty() && p[0] == u'\\' && (p.size() == 1 || p[1] != u'\\')) {
    // Absolute paths start at the root, which always exists.
    current = u"\\" + pieces[1];
    next = 2;
  } else {
    current = pieces[0];
  }
  if (!fso.FolderExists(current)) fso.CreateFolder(current);
  for (size_t i = next; i < pieces.size(); ++i) {
    if (pieces[i].empty()) continue;
    current += u"\\" + pieces[i];
    if (!fso.FolderExists(current)) fso.CreateFolder(current);
  }
}

void DeleteFolderTree(std::u16string_view path) {
  if (!path.empty() && IsPathSeparator(path.back())) path.remove_suffix(1);
  FileSystemObject().DeleteFolder(path, true);
}

namespace {

// Tries the names "<first three of prefix><hex>.tmp" from a random start until `create` makes
// one (true) or fails otherwise (raises); "" when every name is taken or creation failed.
template <class Create>
std::u16string FirstFreeTempName(std::u16string_view prefix, Create create) {
  // Start at a random number so that two callers rarely try the same names, then walk on.
  std::random_device random;
  const unsigned start = random() % 0xFFFF;
  for (unsigned tries = 0; tries < 0xFFFF; ++tries) {
    std::u16string name =
        std::u16string(prefix.substr(0, 3)) + Hex4((start + tries) % 0xFFFF + 1) + u".tmp";
    try {
      if (create(name)) return name;
    } catch (const VbError&) {
      return {};
    }
  }
  return {};
}

}  // namespace

std::u16string MakeTempFileName(std::u16string_view folder, std::u16string_view prefix) {
  if (folder.empty()) return {};
  std::u16string base(folder);
  if (!IsPathSeparator(base.back())) base += u'\\';
  const std::u16string name = FirstFreeTempName(prefix, [&](const std::u16string& candidate) {
    try {
      CreateNewFile(base + candidate);
      return true;
    } catch (const VbError& error) {
      if (error.Number() != err::kFileExists) throw;
      return false;
    }
  });
  return name.empty() ? name : base + name;
}

std::u16string MakeTempFileName(const PrivateFolder& folder, std::u16string_view prefix) {
  return FirstFreeTempName(prefix,
                           [&](const std::u16string& name) { return folder.CreateNewFile(name); });
}

std::u16string DecodeTextBytes(std::string_view bytes) {
  if (StartsWith(bytes, "\xEF\xBB\xBF")) return codepage::FromUtf8(bytes.substr(3));
  if (StartsWith(bytes, "\xFF\xFE")) return FromUtf16(bytes.substr(2), false);
  if (StartsWith(bytes, "\xFE\xFF")) return FromUtf16(bytes.substr(2), true);
  if (codepage::IsValidUtf8(bytes)) return codepage::FromUtf8(bytes);
  return codepage::FromGbk(bytes);
}

std::u16string ReadTextFileOrRaise(std::u16string_view path) {
  std::u16string text = DecodeTextBytes(FileSystemObject().ReadAllBytes(path));
  // CR LF, LF or CR ends a line, and every line is ended by CR LF, the last one included. The
  // lone ends are widened in place, from the back, so the text is never held twice.
  auto is_pair = [&](size_t cr) { return text.compare(cr, 2, u"\r\n") == 0; };
  size_t added = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    if (is_pair(i)) {
      ++i;
    } else if (text[i] == u'\r' || text[i] == u'\n') {
      ++added;
    }
  }
  const bool open_end = !text.empty() && text.back() != u'\r' && text.back() != u'\n';
  if (open_end) added += 2;
  if (added == 0) return text;

  size_t from = text.size();
  text.resize(text.size() + added);
  size_t to = text.size();
  auto put_end = [&] {
    text[--to] = u'\n';
    text[--to] = u'\r';
  };
  if (open_end) put_end();
  while (from > 0) {
    const char16_t c = text[--from];
    if (c == u'\n' && from > 0 && is_pair(from - 1)) {
      --from;
      put_end();
    } else if (c == u'\r' || c == u'\n') {
      put_end();
    } else {
      text[--to] = c;
    }
  }
  return text;
}

std::u16string ReadTextFile(std::u16string_view path) {
  try {
    return ReadTextFileOrRaise(path);
  } catch (const std::exception&) {
    return {};
  }
}

}  // namespace velmaris
