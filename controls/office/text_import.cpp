#include "controls/office/text_import.h"

#include <algorithm>

#include "base/text.h"
#include "controls/common/article_post.h"
#include "controls/common/plain_text.h"

namespace velmaris {

namespace {

constexpr char16_t kTitleWord[] = u"标题";
constexpr char16_t kTitleWordLatin[] = u"title";
constexpr char16_t kAuthorWord[] = u"作者";
constexpr char16_t kAuthorWordLatin[] = u"author";
// A line without a keyword is taken as title or author only when it is this short.
constexpr size_t kTitleLimit = 30;
constexpr size_t kAuthorLimit = 5;

bool StartsWith(std::u16string_view text, std::u16string_view word) {
  return text.substr(0, word.size()) == word;
}

bool StartsWithIgnoringCase(std::u16string_view text, std::u16string_view word) {
  return text.size() >= word.size() && EqualsIgnoreCase(text.substr(0, word.size()), word);
}

// The title after its keyword: trimmed, one leading colon (full-width or not) removed.
std::u16string TitleAfter(std::u16string_view line, size_t keyword_length) {
  std::u16string title = TrimSpaces(line.substr(keyword_length));
  if (!title.empty() && (title[0] == u'：' || title[0] == u':'))
    title = TrimSpaces(title.substr(1));
  return title;
}

constexpr char16_t kLineBreak[] = u"<br>";
constexpr char16_t kBlank[] = u"&nbsp;";

// Hands `put` the pieces of the marked-up body in order: every CR LF becomes "<br>" and every
// blank "&nbsp;".
template <typename Put>
void MarkUpPieces(std::u16string_view body, Put put) {
  size_t start = 0;
  for (size_t i = 0; i < body.size(); ++i) {
    const bool blank = body[i] == u' ';
    if (!blank && body.substr(i, 2) != u"\r\n") continue;
    if (i > start) put(body.substr(start, i - start));
    put(std::u16string_view(blank ? kBlank : kLineBreak));
    if (!blank) ++i;
    start = i + 1;
  }
  put(body.substr(start));
}

// The body from its first line to the end of the text, marked up and followed by the page
// separator. Sized before it is written, so the content (six times the text for a text of
// blanks) is allocated once and never copied.
std::u16string MarkUpBody(std::u16string_view body) {
  size_t size = std::u16string_view(kPageSeparator).size();
  MarkUpPieces(body, [&](std::u16string_view piece) { size += piece.size(); });
  std::u16string content(size, u'\0');
  char16_t* out = content.data();
  auto put = [&](std::u16string_view piece) { out = std::copy(piece.begin(), piece.end(), out); };
  MarkUpPieces(body, put);
  put(kPageSeparator);
  return content;
}

}  // namespace

TextArticle MarkUpText(std::u16string_view text) {
  enum class State { kTitle, kAuthor, kBodyStart };
  State state = State::kTitle;
  TextArticle article;

  // Up to the first body line the text is read line by line; from there on all of it is body.
  size_t body_start = std::u16string_view::npos;
  size_t start = 0;
  for (bool last = false; !last && body_start == std::u16string_view::npos;) {
    const size_t line_start = start;
    size_t end = text.find(u"\r\n", start);
    last = end == std::u16string_view::npos;
    const std::u16string_view line = text.substr(start, last ? text.size() - start : end - start);
    start = end + 2;

    // Trimmed as a view: a long first line is not copied to be looked at.
    const std::u16string_view trimmed = TrimSpacesView(line);
    if (trimmed.empty()) continue;
    switch (state) {
      case State::kTitle:
        if (StartsWith(trimmed, kTitleWord)) {
          article.title = TitleAfter(trimmed, std::u16string_view(kTitleWord).size());
          state = State::kAuthor;
        } else if (StartsWithIgnoringCase(trimmed, kTitleWordLatin)) {
          article.title = TitleAfter(trimmed, std::u16string_view(kTitleWordLatin).size());
          state = State::kAuthor;
        } else if (trimmed.size() < kTitleLimit) {
          article.title = trimmed;
          state = State::kAuthor;
        } else {
          body_start = line_start;
        }
        break;
      case State::kAuthor:
        if (StartsWith(trimmed, kAuthorWord) || StartsWithIgnoringCase(trimmed, kAuthorWordLatin) ||
            trimmed.size() < kAuthorLimit) {
          state = State::kBodyStart;  // the author line itself is not used
        } else {
          body_start = line_start;
        }
        break;
      case State::kBodyStart:
        body_start = line_start;
        break;
    }
  }

  if (article.title.empty()) article.title = kUntitled;
  article.content = body_start == std::u16string_view::npos ? std::u16string(kPageSeparator)
                                                            : MarkUpBody(text.substr(body_start));
  return article;
}

}  // namespace velmaris
