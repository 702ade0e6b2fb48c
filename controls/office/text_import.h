// Plain text as an article: an optional title line and author line at the top, the rest one page
// of simple markup. The text is not escaped: "<" and "&" reach the server as markup.
#pragma once

#include <string>
#include <string_view>

namespace velmaris {

// The title of a text that names none.
inline constexpr char16_t kUntitled[] = u"尚未设置";

struct TextArticle {
  std::u16string title;
  // The body lines joined by "<br>", blanks written as "&nbsp;", followed by the page separator.
  std::u16string content;
};

// Lines are split at CR LF only. Up to the first body line, blank lines are dropped; the first
// line is the title when it starts with "标题" or "title" (any case) or is shorter than 30
// characters; the line after a title is dropped as the author line when it starts with "作者" or
// "author" (any case) or is shorter than 5 characters.
TextArticle MarkUpText(std::u16string_view text);

}  // namespace velmaris
