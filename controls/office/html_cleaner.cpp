#include "controls/office/html_cleaner.h"

#include <limits>
#include <utility>

#include "base/error.h"
#include "base/text.h"

namespace velmaris {

namespace {

bool IsAsciiSpace(char16_t c) {
  return c == u' ' || c == u'\t' || c == u'\r' || c == u'\n' || c == u'\f';
}

// A character of a script written without spaces between words: Chinese and the other East Asian
// scripts with their punctuation and full-width forms, and the scripts of South-East Asia. A
// high surrogate stands for its pair: the ideographs of the second and the third plane.
bool IsWrittenWithoutSpaces(char16_t c) {
  return (c >= 0x0E00 && c <= 0x0EFF) || (c >= 0x1000 && c <= 0x109F) ||
         (c >= 0x1780 && c <= 0x17FF) || (c >= 0x2E80 && c <= 0x312F) ||
         (c >= 0x31A0 && c <= 0x31FF) || (c >= 0x3400 && c <= 0x4DBF) ||
         (c >= 0x4E00 && c <= 0x9FFF) || (c >= 0xF900 && c <= 0xFAFF) ||
         (c >= 0xFE30 && c <= 0xFE4F) || (c >= 0xFF00 && c <= 0xFFEF) ||
         (c >= 0xD840 && c <= 0xD8BF);
}

// Whether a blank between these two characters must stay one space: between words of a language
// that separates them, or where one side is not Chinese-like. Nothing on a side (0): no.
bool KeepsSpace(char16_t before, char16_t after) {
  if (before == 0 || after == 0) return false;
  return !(IsWrittenWithoutSpaces(before) && IsWrittenWithoutSpaces(after));
}

std::u16string_view TrimWhiteSpace(std::u16string_view text) {
  while (!text.empty() && IsAsciiSpace(text.front())) text.remove_prefix(1);
  while (!text.empty() && IsAsciiSpace(text.back())) text.remove_suffix(1);
  return text;
}

bool ContainsIgnoreAsciiCase(std::u16string_view text, std::u16string_view lower_needle) {
  for (size_t at = 0; at + lower_needle.size() <= text.size(); ++at) {
    size_t i = 0;
    while (i < lower_needle.size()) {
      char16_t c = text[at + i];
      if (c >= u'A' && c <= u'Z') c = static_cast<char16_t>(c - u'A' + u'a');
      if (c != lower_needle[i]) break;
      ++i;
    }
    if (i == lower_needle.size()) return true;
  }
  return false;
}

// Every "./" removed in one pass from the left, then "/" turned into "\".
std::u16string PicturePath(std::u16string_view src) {
  std::u16string path;
  path.reserve(src.size());
  for (size_t i = 0; i < src.size(); ++i) {
    if (src[i] == u'.' && i + 1 < src.size() && src[i + 1] == u'/') {
      ++i;
      continue;
    }
    path += src[i] == u'/' ? u'\\' : src[i];
  }
  return path;
}

// The skip list holds elements whose content is not text for the article.
bool IsSkippedOutsideBody(std::u16string_view name) {
  return name == u"style" || name == u"script" || name == u"iframe" || name == u"textarea" ||
         name == u"select";
}

// Office vocabulary (namespaced elements), comments, declarations, conditional markers and
// processing instructions have no place in an article. A picture's v:imagedata stays.
bool IsDroppedInBody(std::u16string_view name) {
  if (name.find(u':') != std::u16string_view::npos && name != u"v:imagedata") return true;
  return name == u"!--" || name == u"?xml" || (!name.empty() && name.front() == u'!');
}

void AppendAttribute(std::u16string& out, std::u16string_view key, std::u16string_view value) {
  out += u' ';
  out += key;
  out += u"=\"";
  out += value;
  out += u'"';
}

// Positions count UTF-16 units from 1, as the scan's rules are written.
char16_t At(std::u16string_view source, int32_t pos) {
  return source[static_cast<size_t>(pos) - 1];
}

// The source from `first` to `last` inclusive; empty when last < first.
std::u16string_view Mid(std::u16string_view source, int32_t first, int32_t last) {
  if (last < first) return {};
  return source.substr(static_cast<size_t>(first) - 1, static_cast<size_t>(last - first) + 1);
}

// The style attribute as it is kept when cleaning is off; empty drops it.
std::u16string KeptStyle(std::u16string_view style) {
  std::u16string kept;
  while (!style.empty()) {
    size_t end = style.find(u';');
    std::u16string_view declaration = TrimWhiteSpace(style.substr(0, end));
    style.remove_prefix(end == std::u16string_view::npos ? style.size() : end + 1);
    if (declaration.empty() || ContainsIgnoreAsciiCase(declaration, u"mso-")) continue;
    // The office application wraps long values with line breaks; a declaration comes out on one
    // line. A double quote (font names) would end the attribute we write, so it is escaped.
    bool in_space = false;
    for (char16_t c : declaration) {
      if (IsAsciiSpace(c)) {
        if (!in_space) kept += u' ';
        in_space = true;
        continue;
      }
      in_space = false;
      if (c == u'"') {
        kept += u"&quot;";
      } else {
        kept += c;
      }
    }
    kept += u';';
  }
  return kept;
}

// One span of a tag, from span_start to before span_end: the tag's name when none is taken yet,
// else one attribute.
void ParseAttributeSpan(std::u16string_view source, Tag& tag, int32_t& span_start, int32_t span_end,
                        int32_t quote_start, bool& name_taken) {
  const int32_t s = span_start;
  const int32_t e = span_end;
  span_start = e + 1;
  const std::u16string_view t = TrimSpacesView(Mid(source, s, e - 1));
  if (t.empty()) return;
  if (!name_taken) {
    tag.TagName(t);
    name_taken = true;
    return;
  }

  // The first "=" of the span; only one before the opening quote (quoted) or inside the span
  // (unquoted) can split it, so the search stops there and long tags stay linear.
  const int32_t limit = quote_start >= 1 ? quote_start : e;
  int32_t d = 0;
  for (int32_t at = s; at < limit; ++at) {
    if (At(source, at) == u'=') {
      d = at;
      break;
    }
  }

  std::u16string_view name = t;
  std::u16string_view value;
  if (d >= 1) {
    name = Mid(source, s, d - 1);
    if (quote_start >= 1) {
      value = Mid(source, quote_start + 1, e - 1);
      if (!value.empty() && value.front() == u'"') value.remove_prefix(1);
    } else {
      value = Mid(source, d + 1, e - 1);
    }
  }
  tag.SetAttribute(TrimSpacesView(name), TrimSpacesView(value));
}

// One clean: the scan's state and what it has written so far.
class CleanPass {
 public:
  CleanPass(const HtmlCleaner& cleaner, std::u16string_view source, CleanerSettings settings)
      : m_cleaner(cleaner),
        m_source(source),
        m_settings(std::move(settings)),
        m_source_lower(LowerCase(source)),
        m_source_length(static_cast<int32_t>(source.size())) {
    m_result.title = m_settings.prior_title;
  }

  // Runs to the end of the source, yielding after every token.
  void Run(const HtmlCleaner::Yield& yield);
  CleanResult& Result() { return m_result; }

 private:
  // Text between the last consumed character and the current tag, trimmed of blanks.
  std::u16string_view PendingText() const {
    return TrimSpacesView(Mid(m_source, m_emit_pos, m_scan_pos - 1));
  }
  // The same for the body: blanks next to a tag go where the text on both sides is written
  // without spaces (a line break there too, or it would show as a space); elsewhere one space
  // stays, so words do not run together across a tag. `tag_end` is where the tag ends.
  std::u16string BodyText(int32_t tag_end);
  // A run of white space next to a tag, `kept` what is left of it once its blanks at the tag are
  // trimmed, between the characters `before` and `after` (0: none): dropped between two
  // characters written without spaces, else what is kept, or one space where nothing else
  // separates the words.
  void AppendBlanks(std::u16string& out, std::u16string_view kept, char16_t before, char16_t after);
  // The first character of text after `from` (1-based), tags and white space passed over; 0
  // when none comes within a short look.
  char16_t NextTextChar(int32_t from) const;
  // Moves past the current tag of length `len` and marks everything before as consumed.
  void Consume(int32_t len) {
    m_scan_pos += len;
    m_emit_pos = m_scan_pos;
  }
  void CleanBodyTag(Tag& tag, const std::u16string& name, int32_t len);
  void SkipElement(const Tag& tag);
  std::u16string RebuildTag(Tag& tag) const;

  const HtmlCleaner& m_cleaner;
  const std::u16string_view m_source;
  // A copy: an import started from a yield may change the importer's settings meanwhile.
  const CleanerSettings m_settings;
  const std::u16string m_source_lower;  // only for finding closing tags of skipped elements
  const int32_t m_source_length;
  int32_t m_scan_pos = 1;  // where the next scan starts; on a returned tag's "<"
  int32_t m_emit_pos = 1;  // first source character not yet consumed
  bool m_in_body = false;
  bool m_in_title = false;
  bool m_title_found = false;
  CleanResult m_result;
  char16_t m_last_text = 0;         // the body's last character of text, white space aside
  bool m_space_after_text = false;  // white space has been written since
};

void CleanPass::Run(const HtmlCleaner::Yield& yield) {
  for (;;) {
    Tag tag = NextTag(m_source, m_scan_pos);
    if (tag.SourceHTML.empty()) {
      // The source ended: body text up to an unterminated "<" still counts.
      if (m_in_body) m_result.body += Mid(m_source, m_emit_pos, m_scan_pos - 1);
      return;
    }
    const std::u16string name = tag.TagName();
    const auto len = static_cast<int32_t>(tag.SourceHTML.size());

    if (m_in_title) {
      if (name == u"/title") {
        // The whole span since the title tag, inner tags included.
        m_result.title += PendingText();
        m_title_found = true;
        m_in_title = false;
        Consume(len);
      } else {
        m_scan_pos += len;
      }
    } else if (m_in_body) {
      CleanBodyTag(tag, name, len);
    } else if (IsSkippedOutsideBody(name)) {
      m_scan_pos += len;
      SkipElement(tag);
      m_emit_pos = m_scan_pos;
    } else if (name == u"body") {
      m_in_body = true;
      Consume(len);
    } else if (name == u"title") {
      m_in_title = true;
      Consume(len);
    } else {
      Consume(len);
    }

    if (yield) yield(CleanProgress{m_scan_pos, m_result.body});
  }
}

void CleanPass::CleanBodyTag(Tag& tag, const std::u16string& name, int32_t len) {
  // The first words of a document without a title element name it.
  std::u16string_view text = PendingText();
  if (!text.empty() && !m_title_found) {
    m_result.title = text;
    m_title_found = true;
  } else {
    m_result.body += BodyText(m_scan_pos + len);
  }

  if (IsDroppedInBody(name)) {
    Consume(len);
  } else if (name == u"/body") {
    m_in_body = false;
    Consume(len);
  } else {
    // Consumed first: an upload error leaves the body as it was before this tag.
    Consume(len);
    m_result.body += RebuildTag(tag);
  }
}

std::u16string CleanPass::BodyText(int32_t tag_end) {
  const std::u16string_view raw = Mid(m_source, m_emit_pos, m_scan_pos - 1);
  std::u16string out;
  if (raw.empty()) return out;
  size_t first = 0;
  size_t last = raw.size();
  while (first < last && IsAsciiSpace(raw[first])) ++first;
  while (last > first && IsAsciiSpace(raw[last - 1])) --last;
  const std::u16string_view trimmed = TrimSpacesView(raw);  // blanks trimmed as ever
  if (first == last) {
    // White space alone between two tags.
    AppendBlanks(out, trimmed, m_last_text, NextTextChar(tag_end));
    return out;
  }
  const size_t cut = static_cast<size_t>(trimmed.data() - raw.data());
  const std::u16string_view words = raw.substr(first, last - first);
  if (first > 0) AppendBlanks(out, trimmed.substr(0, first - cut), m_last_text, words.front());
  out += words;
  const char16_t last_char = words.back();
  m_last_text = last_char >= 0xDC00 && last_char <= 0xDFFF && words.size() > 1
                    ? words[words.size() - 2]
                    : last_char;
  m_space_after_text = false;
  if (last < raw.size())
    AppendBlanks(out, trimmed.substr(last - cut), m_last_text, NextTextChar(tag_end));
  return out;
}

void CleanPass::AppendBlanks(std::u16string& out, std::u16string_view kept, char16_t before,
                             char16_t after) {
  if (before != 0 && after != 0 && !KeepsSpace(before, after)) return;
  if (kept.empty() && !m_space_after_text && KeepsSpace(before, after)) kept = u" ";
  if (kept.empty()) return;
  out += kept;
  m_space_after_text = true;
}

char16_t CleanPass::NextTextChar(int32_t from) const {
  constexpr int32_t kLook = 4096;
  const int32_t end = std::min(m_source_length, from + kLook);
  for (int32_t at = from; at <= end;) {
    const char16_t c = m_source[static_cast<size_t>(at) - 1];
    if (c == u'<') {
      // Within the look only: a long tag further on must not be read once per tag before it.
      const size_t close =
          m_source.substr(0, static_cast<size_t>(end)).find(u'>', static_cast<size_t>(at));
      if (close == std::u16string_view::npos) return 0;
      at = static_cast<int32_t>(close) + 2;
    } else if (IsAsciiSpace(c)) {
      ++at;
    } else {
      return c;
    }
  }
  return 0;
}

void CleanPass::SkipElement(const Tag& tag) {
  const std::u16string name = tag.TagName();
  const std::u16string closing = u"</" + name;
  // From here on only: a document full of skipped elements stays one pass.
  size_t found = m_source_lower.find(closing, static_cast<size_t>(m_scan_pos) - 1);
  m_scan_pos =
      found == std::u16string::npos ? m_source_length + 1 : static_cast<int32_t>(found) + 1;

  const std::u16string end_name = u"/" + name;
  for (;;) {
    Tag next = NextTag(m_source, m_scan_pos);
    m_scan_pos += static_cast<int32_t>(next.SourceHTML.size());
    const std::u16string next_name = next.TagName();
    // A tag the source ends inside comes back named but without its text: nothing follows.
    if (next_name == end_name || next_name.empty() || next.SourceHTML.empty()) return;
  }
}

std::u16string CleanPass::RebuildTag(Tag& tag) const {
  const std::u16string name = tag.TagName();
  std::u16string out = u"<" + name;
  const bool is_picture = name == u"img" || name == u"v:imagedata";
  // By index: the dictionary may grow while we read it (GetAttribute adds what it misses).
  for (size_t k = 0; k < tag.dicAtt.Count(); ++k) {
    const std::u16string key = tag.dicAtt.At(k).first;
    if (key == u"class" || key == u"lang" || key.find(u':') != std::u16string::npos) continue;
    if (key == u"style") {
      if (!m_settings.clean_html) {
        std::u16string kept = KeptStyle(tag.GetAttribute(key));
        if (!kept.empty()) AppendAttribute(out, key, kept);
      }
      continue;
    }
    if (key == u"src" && is_picture) {
      AppendAttribute(out, key, m_cleaner.UploadPicture(tag.GetAttribute(key), m_settings));
    } else {
      AppendAttribute(out, key, tag.GetAttribute(key));
    }
  }
  out += u'>';
  return out;
}

}  // namespace

bool StaysInsideFolder(std::u16string_view work_dir, std::u16string_view path) {
  // A colon is a drive ("C:") or a scheme ("http:", "file:", "data:"); NUL would cut the path.
  if (path.find_first_of(std::u16string_view(u":\0", 2)) != std::u16string_view::npos) {
    return false;
  }
  // Folder and path meet at exactly one separator: a doubled one starts an absolute or network
  // path, a missing one glues the first name onto the folder's own name.
  const bool folder_ends = !work_dir.empty() && IsPathSeparator(work_dir.back());
  const bool path_starts = !path.empty() && IsPathSeparator(path.front());
  if (work_dir.empty() || folder_ends) {
    if (path_starts) return false;
  } else {
    if (!path_starts) return false;
    path.remove_prefix(1);
    if (!path.empty() && IsPathSeparator(path.front())) return false;
  }
  // Walk the names: ".." may climb only as far as it went down, and something must be named.
  int64_t depth = 0;
  while (!path.empty()) {
    size_t end = 0;
    while (end < path.size() && !IsPathSeparator(path[end])) ++end;
    std::u16string_view name = path.substr(0, end);
    path.remove_prefix(end < path.size() ? end + 1 : end);
    if (name.empty() || name == u".") continue;
    if (name == u"..") {
      if (--depth < 0) return false;
    } else {
      ++depth;
    }
  }
  return depth > 0;
}

HtmlCleaner::HtmlCleaner(PictureUpload upload_picture, Yield yield)
    : m_upload_picture(std::move(upload_picture)), m_yield(std::move(yield)) {}

CleanResult HtmlCleaner::Clean(std::u16string_view source, const CleanerSettings& settings) const {
  // Positions are 32-bit, and one past the end must still fit.
  if (source.size() >= static_cast<size_t>(std::numeric_limits<int32_t>::max())) {
    Raise(err::kOverflow);
  }
  CleanPass pass(*this, source, settings);
  try {
    pass.Run(m_yield);
  } catch (const VbError& error) {
    throw CleanFailure(error, std::move(pass.Result()));
  }
  return std::move(pass.Result());
}

std::u16string HtmlCleaner::UploadPicture(std::u16string_view src,
                                          const CleanerSettings& settings) const {
  const std::u16string path = PicturePath(src);
  // Only pictures the office application saved beside the document: a document must not make
  // the import send arbitrary local files to the server.
  if (!StaysInsideFolder(settings.work_dir, path)) Raise(err::kFileNotFound);
  if (!m_upload_picture) Raise(err::kObjectNotSet);
  return m_upload_picture(settings.work_dir + path, settings.picture_contentid);
}

Tag NextTag(std::u16string_view source, int32_t& scan_pos) {
  const auto source_length = static_cast<int32_t>(source.size());
  Tag tag;
  int32_t i = scan_pos;
  int32_t tag_start = i;
  int32_t span_start = i;
  bool in_tag = false;
  bool in_quote = false;
  char16_t quote_char = 0;
  int32_t quote_start = -1;
  bool name_taken = false;

  while (i <= source_length) {
    const char16_t c = At(source, i);
    if (!in_tag) {
      if (c == u'<') {
        tag_start = i;
        span_start = i + 1;
        in_tag = true;
      } else {
        // Text between tags is skipped wholesale.
        size_t next = source.find(u'<', static_cast<size_t>(i));
        i = next == std::u16string_view::npos ? source_length + 1 : static_cast<int32_t>(next) + 1;
        continue;
      }
    } else if (i - tag_start == 3 && Mid(source, tag_start, i) == u"<!--") {
      // A comment is recognised on its fourth character, before quotes or ">" count; the test
      // cannot first hold any later, since the tag start stays put while in a tag.
      tag.TagName(u"!--");
      size_t end = source.find(u"-->", static_cast<size_t>(i));
      tag.SourceHTML = end == std::u16string_view::npos
                           ? std::u16string(Mid(source, tag_start, source_length))
                           : std::u16string(Mid(source, tag_start, static_cast<int32_t>(end) + 3));
      scan_pos = tag_start;
      return tag;
    } else if (in_quote) {
      // Anything, ">" included, belongs to the quoted value until its closing quote.
      if (c == quote_char) {
        in_quote = false;
        ParseAttributeSpan(source, tag, span_start, i, quote_start, name_taken);
        quote_start = -1;
      }
    } else if (c == u'"' || c == u'\'') {
      in_quote = true;
      quote_start = i;
      quote_char = c;
    } else if (c == u'>') {
      ParseAttributeSpan(source, tag, span_start, i, quote_start, name_taken);
      tag.SourceHTML = Mid(source, tag_start, i);
      break;
    } else if (c == u'<') {
      // A stray "<" inside a tag: the next span names the tag again.
      name_taken = false;
    } else if (c == u' ' || c == u'\t' || c == u'\r' || c == u'\n') {
      ParseAttributeSpan(source, tag, span_start, i, quote_start, name_taken);
    }
    ++i;
  }
  scan_pos = tag_start;
  return tag;
}

}  // namespace velmaris
