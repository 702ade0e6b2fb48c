#include "host/text.h"

#include <gtest/gtest.h>

#include <string>

namespace velmaris::host {
namespace {

using namespace std::string_literals;

TEST(HostText, EngineKeepsUnitsAndUtf8JoinsPairs) {
  struct Case {
    std::u16string text;
    std::string cesu;
    std::string utf8;
  };
  const Case cases[] = {
      {u"", "", ""},
      {u"abc", "abc", "abc"},
      {u"a\0b"s, "a\0b"s, "a\0b"s},
      {u"错误的URL", "\xE9\x94\x99\xE8\xAF\xAF\xE7\x9A\x84URL",
       "\xE9\x94\x99\xE8\xAF\xAF\xE7\x9A\x84URL"},
      {u"\u00E9", "\xC3\xA9", "\xC3\xA9"},
      {u"\U0001F600", "\xED\xA0\xBD\xED\xB8\x80", "\xF0\x9F\x98\x80"},
      {u"x\U00020BB7\0y"s, "x\xED\xA1\x82\xED\xBE\xB7\0y"s, "x\xF0\xA0\xAE\xB7\0y"s},
      // An unpaired surrogate survives in the engine but not in UTF-8.
      {u"\xD83Dx", "\xED\xA0\xBDx", "\xEF\xBF\xBDx"},
      {u"x\xDE00", "x\xED\xB8\x80", "x\xEF\xBF\xBD"},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.cesu);
    EXPECT_EQ(EncodeCesu8(c.text), c.cesu);
    EXPECT_EQ(EncodeUtf8(c.text), c.utf8);
    EXPECT_EQ(DecodeUtf8(c.cesu), c.text);
    if (c.utf8.find("\xEF\xBF\xBD") == std::string::npos) {
      EXPECT_EQ(DecodeUtf8(c.utf8), c.text);
    }
  }
}

TEST(HostText, MalformedBytesBecomeOneReplacementEach) {
  struct Case {
    std::string bytes;
    std::u16string text;
  };
  const Case cases[] = {
      {"\xFF", u"\uFFFD"},
      {"a\x80z", u"a\uFFFDz"},
      {"\xE9\x94", u"\uFFFD\uFFFD"},                      // cut off at the end
      {"\xE9\x94z", u"\uFFFD\uFFFDz"},                    // cut off by an ASCII byte
      {"\xC0\x80", u"\uFFFD\uFFFD"},                      // overlong NUL
      {"\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD"},  // beyond U+10FFFF
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.bytes);
    EXPECT_EQ(DecodeUtf8(c.bytes), c.text);
  }
}

}  // namespace
}  // namespace velmaris::host
