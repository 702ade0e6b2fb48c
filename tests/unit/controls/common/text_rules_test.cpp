#include <gtest/gtest.h>

#include "base/codepage.h"
#include "base/text.h"
#include "controls/common/file_list.h"
#include "controls/common/plain_text.h"
#include "controls/office/text_import.h"

namespace velmaris {
namespace {

constexpr char16_t kSep[] = u"----abcdefghijklmnopqrstuvwxyz----";

TEST(TextRules, SizeBoxNumbers) {
  const struct {
    std::u16string text;
    bool numeric;
  } cases[] = {
      {u"800", true},  {u" 600 ", true}, {u"-1.5", true},  {u"+.5", true},
      {u"1e3", true},  {u"2.E-2", true}, {u"\t7\t", true}, {u"", false},
      {u" ", false},   {u".", false},    {u"1e", false},   {u"1 2", false},
      {u"abc", false}, {u"12px", false}, {u"--1", false},  {u"８００", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(IsNumericText(c.text), c.numeric) << codepage::ToUtf8(c.text);
  }
  EXPECT_EQ(TrimSpaces(u" \t a b \t "), u"\t a b \t");
  EXPECT_EQ(TrimSpaces(u"   "), u"");
}

TEST(TextRules, ReplaceAllInOnePass) {
  const struct {
    std::u16string text;
    std::u16string from;
    std::u16string to;
    std::u16string replaced;
  } cases[] = {
      {u"<p><span> </span></p>x<span> </span>", u"<span> </span>", u"", u"<p></p>x"},
      {u"<p<p></p>></p>", u"<p></p>", u"", u"<p></p>"},  // what a removal joins stays
      {u"Click Click", u"Click", u"点击看大图", u"点击看大图 点击看大图"},
      {u"aaa", u"a", u"aa", u"aaaaaa"},
      {u"abc", u"", u"x", u"abc"},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ReplaceAll(c.text, c.from, c.to), c.replaced) << codepage::ToUtf8(c.text);
  }
}

TEST(TextRules, ChosenFilesOfADialogAnswer) {
  using namespace std::string_literals;
  using Paths = std::vector<std::u16string>;
  const struct {
    std::u16string answer;
    Paths paths;
  } cases[] = {
      {u"C:\\pics\\a.jpg", {u"C:\\pics\\a.jpg"}},
      {u"C:\\pics\0a.jpg\0b.gif\0"s, {u"C:\\pics\\a.jpg", u"C:\\pics\\b.gif"}},
      {u"/home/e\0a.jpg"s, {u"/home/e/a.jpg"}},  // a POSIX folder gets "/"
      {u"/home/e/\0\0a.jpg"s, {u"/home/e/a.jpg"}},
      {u"C:\\\0"s, {}},
  };
  for (const auto& c : cases) EXPECT_EQ(ChosenFiles(c.answer), c.paths) << c.paths.size();
}

TEST(TextRules, TextAsArticle) {
  const struct {
    const char* what;
    std::u16string text;
    std::u16string title;
    std::u16string content;
  } cases[] = {
      {"title, author, blank line, body", u"标题：春季报告\r\n作者：编辑部\r\n\r\na b\r\nc\r\n",
       u"春季报告", std::u16string(u"a&nbsp;b<br>c<br>") + kSep},
      {"latin keyword, any case", u"TITLE: Annual Report\r\nAuthor: Editor\r\nbody",
       u"Annual Report", std::u16string(u"body") + kSep},
      {"keyword is the first five letters only", u"Titles and honours", u"s and honours", kSep},
      {"only one colon goes", u"标题 ：: x", u": x", kSep},
      {"long first line is body",
       u"这一行足足有三十个字这一行足足有三十个字这一行足足有三十个字\r\n短", u"尚未设置",
       std::u16string(u"这一行足足有三十个字这一行足足有三十个字这一行足足有三十个字<br>短") +
           kSep},
      {"short second line is the author", u"题目\r\n张三\r\n正文", u"题目",
       std::u16string(u"正文") + kSep},
      {"long second line is body", u"题目\r\n第一段正文\r\n\r\n二", u"题目",
       std::u16string(u"第一段正文<br><br>二") + kSep},
      {"empty text", u"", u"尚未设置", kSep},
      {"lf alone does not split", u"a\nb\nc", u"a\nb\nc", kSep},
      {"markup passes, only blanks change", u"t\r\nauthor\r\n1 < 2 & 3\t\u3000x", u"t",
       std::u16string(u"1&nbsp;<&nbsp;2&nbsp;&&nbsp;3\t\u3000x") + kSep},
      {"body keeps its blanks and blank lines", u"t\r\na\r\n  x  \r\n\r\n", u"t",
       std::u16string(u"&nbsp;&nbsp;x&nbsp;&nbsp;<br><br>") + kSep},
      {"lines of blanks in the body, lone CRs kept", u"t\r\n作者\r\nx\r\n   \r\r\n  \r", u"t",
       std::u16string(u"x<br>&nbsp;&nbsp;&nbsp;\r<br>&nbsp;&nbsp;\r") + kSep},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    TextArticle article = MarkUpText(c.text);
    EXPECT_EQ(article.title, c.title) << codepage::ToUtf8(article.title);
    EXPECT_EQ(article.content, c.content) << codepage::ToUtf8(article.content);
  }
}

}  // namespace
}  // namespace velmaris
