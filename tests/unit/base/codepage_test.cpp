#include "base/codepage.h"

#include <gtest/gtest.h>

namespace velmaris {
namespace {

// Long ASCII runs are copied past the converter: what is around them must not notice.
const std::string kRun(20, 'a');
const std::u16string kRun16(20, u'a');

TEST(CodepageTest, GbkBothWays) {
  const struct {
    std::u16string text;
    std::string gbk;
    bool round_trips;
  } cases[] = {
      {u"", "", true},
      {u"abc 123", "abc 123", true},
      {u"中文", "\xD6\xD0\xCE\xC4", true},
      {u"点击看大图", "\xB5\xE3\xBB\xF7\xBF\xB4\xB4\xF3\xCD\xBC", true},
      {u"€", "\x80", true},  // code page 936 has the euro sign at 0x80
      {u"　×", "\xA1\xA1\xA1\xC1", true},
      {u"a☃b", "a&#9731;b", false},         // not in GBK: a decimal reference
      {u"\U0001F600", "&#128512;", false},  // beyond the BMP: one reference for the pair
      {u"x\xD800y", "x&#55296;y", false},   // an unpaired surrogate cannot be lost silently
      {u"中" + kRun16 + u"☃" + kRun16 + u"\U0001F600€",
       "\xD6\xD0" + kRun + "&#9731;" + kRun + "&#128512;\x80", false},
      {kRun16 + u"中" + kRun16, kRun + "\xD6\xD0" + kRun, true},
      // User-defined characters (private use) where code page 936 puts them, on either system.
      {u"\uE000\uE233\uE234", "\xAA\xA1\xAF\xFE\xF8\xA1", true},
      {u"\uE4C6\uE4C7\uE504\uE505\uE766\uE864", "\xA1\x40\xA1\x41\xA1\x7E\xA1\x80\xA2\xAB\xFE\xA0",
       true},
      {u"\uF8F5", "&#63733;", false},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(codepage::ToGbk(c.text), c.gbk) << codepage::ToUtf8(c.text);
    if (c.round_trips) {
      EXPECT_EQ(codepage::FromGbk(c.gbk), c.text);
    }
  }
}

TEST(CodepageTest, BadGbkBytesBecomeReplacementCharacters) {
  EXPECT_EQ(codepage::FromGbk("a\xFF"
                              "b"),
            u"a\uFFFDb");
  EXPECT_EQ(codepage::FromGbk("\xD6"), u"\uFFFD");  // a lead byte cut short
  EXPECT_EQ(codepage::FromGbk(std::string("a\0b", 3)), std::u16string(u"a\0b", 3));
  // Before a long ASCII run: a second byte in the ASCII range still pairs with its first, a bad
  // pair still gives one U+FFFD and keeps its second byte.
  EXPECT_EQ(codepage::FromGbk("\x81\x40" + kRun), u"\u4E02" + kRun16);
  EXPECT_EQ(codepage::FromGbk("\x81 " + kRun), u"\uFFFD " + kRun16);
  EXPECT_EQ(codepage::FromGbk("\xFF" + kRun + "\xD6"), u"\uFFFD" + kRun16 + u"\uFFFD");
}

TEST(CodepageTest, Utf8BothWays) {
  EXPECT_EQ(codepage::ToUtf8(u"中文 \U0001F600"), "中文 \xF0\x9F\x98\x80");
  EXPECT_EQ(codepage::FromUtf8("中文 \xF0\x9F\x98\x80"), u"中文 \U0001F600");
  const struct {
    std::string bytes;
    bool valid;
    std::u16string decoded;
  } cases[] = {
      {"plain", true, u"plain"},
      {"\xEF\xBF\xBD", true, u"\uFFFD"},
      {"\xC0\xAF", false, u"\uFFFD\uFFFD"},                      // overlong
      {"\xED\xA0\x80", false, u"\uFFFD\uFFFD\uFFFD"},            // encoded surrogate
      {"\xE4\xB8", false, u"\uFFFD\uFFFD"},                      // cut short
      {"\xD6\xD0\xCE\xC4", false, u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // GBK is not UTF-8
  };
  for (const auto& c : cases) {
    EXPECT_EQ(codepage::IsValidUtf8(c.bytes), c.valid);
    EXPECT_EQ(codepage::FromUtf8(c.bytes), c.decoded);
  }
}

}  // namespace
}  // namespace velmaris
