#include "server/json.h"

#include <cmath>
#include <cstdio>

#include "base/text.h"

namespace velmaris::server {

void JsonWriter::Separate() {
  if (m_after_key) {
    m_after_key = false;
    return;
  }
  if (!m_first.empty()) {
    if (!m_first.back()) m_text += u',';
    m_first.back() = false;
  }
}

JsonWriter& JsonWriter::Open(char16_t bracket) {
  Separate();
  m_text += bracket;
  m_first.push_back(true);
  return *this;
}

JsonWriter& JsonWriter::Close(char16_t bracket) {
  m_text += bracket;
  m_first.pop_back();
  return *this;
}

JsonWriter& JsonWriter::Key(std::string_view name) {
  String(AsciiToU16(name));
  m_text += u':';
  m_after_key = true;
  return *this;
}

JsonWriter& JsonWriter::String(std::u16string_view text) {
  Separate();
  m_text += u'"';
  for (char16_t c : text) {
    switch (c) {
      case u'"':
        m_text += u"\\\"";
        break;
      case u'\\':
        m_text += u"\\\\";
        break;
      case u'\n':
        m_text += u"\\n";
        break;
      case u'\r':
        m_text += u"\\r";
        break;
      case u'\t':
        m_text += u"\\t";
        break;
      case u'\b':
        m_text += u"\\b";
        break;
      case u'\f':
        m_text += u"\\f";
        break;
      default:
        if (c < 0x20) {
          char escaped[8];
          std::snprintf(escaped, sizeof escaped, "\\u%04x", static_cast<unsigned>(c));
          m_text += AsciiToU16(escaped);
        } else {
          m_text += c;
        }
    }
  }
  m_text += u'"';
  return *this;
}

JsonWriter& JsonWriter::Number(double value) {
  Separate();
  if (!std::isfinite(value)) value = 0;  // JSON has no infinities
  char text[32];
  if (value == std::floor(value) && std::fabs(value) < 1e15) {
    std::snprintf(text, sizeof text, "%.0f", value);
  } else {
    std::snprintf(text, sizeof text, "%.17g", value);
  }
  m_text += AsciiToU16(text);
  return *this;
}

JsonWriter& JsonWriter::Bool(bool value) {
  Separate();
  m_text += value ? u"true" : u"false";
  return *this;
}

namespace {

class Reader {
 public:
  explicit Reader(std::u16string_view text) : m_text(text) {}

  void SkipBlanks() {
    while (m_at < m_text.size() && (m_text[m_at] == u' ' || m_text[m_at] == u'\t' ||
                                    m_text[m_at] == u'\r' || m_text[m_at] == u'\n')) {
      ++m_at;
    }
  }
  bool Take(char16_t c) {
    SkipBlanks();
    if (m_at < m_text.size() && m_text[m_at] == c) {
      ++m_at;
      return true;
    }
    return false;
  }
  bool AtEnd() {
    SkipBlanks();
    return m_at == m_text.size();
  }

  std::optional<std::u16string> ReadString() {
    if (!Take(u'"')) return std::nullopt;
    std::u16string out;
    while (m_at < m_text.size()) {
      char16_t c = m_text[m_at++];
      if (c == u'"') return out;
      if (c < 0x20) return std::nullopt;
      if (c != u'\\') {
        out += c;
        continue;
      }
      if (m_at >= m_text.size()) return std::nullopt;
      switch (char16_t e = m_text[m_at++]) {
        case u'"':
        case u'\\':
        case u'/':
          out += e;
          break;
        case u'b':
          out += u'\b';
          break;
        case u'f':
          out += u'\f';
          break;
        case u'n':
          out += u'\n';
          break;
        case u'r':
          out += u'\r';
          break;
        case u't':
          out += u'\t';
          break;
        case u'u': {
          if (m_at + 4 > m_text.size()) return std::nullopt;
          char16_t unit = 0;
          for (int i = 0; i < 4; ++i) {
            char16_t h = m_text[m_at++];
            int digit = h >= u'0' && h <= u'9'   ? h - u'0'
                        : h >= u'a' && h <= u'f' ? h - u'a' + 10
                        : h >= u'A' && h <= u'F' ? h - u'A' + 10
                                                 : -1;
            if (digit < 0) return std::nullopt;
            unit = static_cast<char16_t>(unit * 16 + digit);
          }
          out += unit;  // surrogate halves pair up by themselves in UTF-16
          break;
        }
        default:
          return std::nullopt;
      }
    }
    return std::nullopt;
  }

 private:
  std::u16string_view m_text;
  size_t m_at = 0;
};

}  // namespace

std::optional<std::vector<std::u16string>> ParseStringArray(std::u16string_view text) {
  Reader reader(text);
  if (!reader.Take(u'[')) return std::nullopt;
  std::vector<std::u16string> items;
  if (!reader.Take(u']')) {
    do {
      auto item = reader.ReadString();
      if (!item) return std::nullopt;
      items.push_back(std::move(*item));
    } while (reader.Take(u','));
    if (!reader.Take(u']')) return std::nullopt;
  }
  if (!reader.AtEnd()) return std::nullopt;
  return items;
}

}  // namespace velmaris::server
