#include "platform/utf.h"

#include <gtest/gtest.h>

namespace vessiko {
namespace {

TEST(Utf, RoundTripsAcrossThePlanes) {
  const std::string text = "a é 中文 😀 \xF4\x8F\xBF\xBF";
  const std::u16string units = Utf8ToUtf16(text);
  EXPECT_EQ(units, u"a é 中文 😀 \U0010FFFF");
  EXPECT_EQ(Utf16ToUtf8(units), text);
}

TEST(Utf, InvalidBytesBecomeReplacementCharactersOneByOne) {
  EXPECT_EQ(Utf8ToUtf16("a\xFF"
                        "b"),
            u"a\uFFFDb");
  EXPECT_EQ(Utf8ToUtf16("\xE4\xB8"), u"\uFFFD\uFFFD");            // cut sequence
  EXPECT_EQ(Utf8ToUtf16("\xC0\xAF"), u"\uFFFD\uFFFD");            // overlong
  EXPECT_EQ(Utf8ToUtf16("\xED\xA0\x80"), u"\uFFFD\uFFFD\uFFFD");  // encoded surrogate
}

TEST(Utf, UnpairedSurrogatesBecomeReplacementCharacters) {
  const char16_t lone[] = {u'x', 0xD800, u'y', 0xDC00, 0};
  EXPECT_EQ(Utf16ToUtf8(lone), "x\xEF\xBF\xBDy\xEF\xBF\xBD");
}

}  // namespace
}  // namespace vessiko
