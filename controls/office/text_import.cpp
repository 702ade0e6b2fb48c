#include "controls/office/text_import.h"

#include "controls/office/article_post.h"
#include "controls/office/plain_text.h"
#include "core/text.h"

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

void ReplaceBlanks(std::u16string& text) {
  std::u16string out;
  out.reserve(text.size());
  for (char16_t c : text) {
    if (c == u' ') {
      out += u"&nbsp;";
    } else {
      out += c;
    }
  }
  text = std::move(out);
}

}  // namespace

TextArticle MarkUpText(std::u16string_view text) {
  enum class State { kTitle, kAuthor, kBodyStart, kInBody };
  State state = State::kTitle;
  TextArticle article;
  std::u16string body;

  size_t start = 0;
  for (bool last = false; !last;) {
    size_t end = text.find(u"\r\n", start);
    last = end == std::u16string_view::npos;
    const std::u16string_view line = text.substr(start, last ? text.size() - start : end - start);
    start = end + 2;

    if (state == State::kInBody) {
      body += u"<br>";
      body += line;
      continue;
    }
    const std::u16string trimmed = TrimSpaces(line);
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
          body = line;
          state = State::kInBody;
        }
        break;
      case State::kAuthor:
        if (StartsWith(trimmed, kAuthorWord) || StartsWithIgnoringCase(trimmed, kAuthorWordLatin) ||
            trimmed.size() < kAuthorLimit) {
          state = State::kBodyStart;  // the author line itself is not used
        } else {
          body = line;
          state = State::kInBody;
        }
        break;
      case State::kBodyStart:
        body = line;
        state = State::kInBody;
        break;
      case State::kInBody:
        break;
    }
  }

  if (article.title.empty()) article.title = kUntitled;
  ReplaceBlanks(body);
  article.content = JoinPages({body});
  return article;
}

}  // namespace velmaris
