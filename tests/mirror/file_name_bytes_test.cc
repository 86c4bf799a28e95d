#include "mirror/file_name_bytes.h"

#include <gtest/gtest.h>

#include <random>
#include <string>

namespace vessiko {
namespace {

std::u16string Decoded(std::string_view bytes) {
  std::u16string out;
  DecodeFileName(bytes, &out);
  return out;
}

std::string Encoded(std::u16string_view name) {
  std::string out;
  AppendFileNameBytes(name, &out);
  return out;
}

TEST(FileNameBytes, ValidUtf8BecomesTheSameCharacters) {
  EXPECT_EQ(Decoded("notes.txt"), u"notes.txt");
  EXPECT_EQ(Decoded("报告.doc"), u"报告.doc");
  EXPECT_EQ(Decoded("\xF0\x9F\x98\x80"), std::u16string({0xD83D, 0xDE00}));
  EXPECT_EQ(Encoded(u"报告.doc"), "报告.doc");
  EXPECT_EQ(Encoded(std::u16string({0xD83D, 0xDE00})), "\xF0\x9F\x98\x80");
}

TEST(FileNameBytes, EachInvalidByteBecomesItsOwnEscapeUnit) {
  // A stray byte, a cut sequence, an overlong form, an encoded surrogate, a value past U+10FFFF.
  EXPECT_EQ(Decoded("a\xFF"), std::u16string({u'a', 0xDCFF}));
  EXPECT_EQ(Decoded("a\xE4\xB8"), std::u16string({u'a', 0xDCE4, 0xDCB8}));
  EXPECT_EQ(Decoded("\xC0\xAF"), std::u16string({0xDCC0, 0xDCAF}));
  EXPECT_EQ(Decoded("\xED\xA0\x80"), std::u16string({0xDCED, 0xDCA0, 0xDC80}));
  EXPECT_EQ(Decoded("\xF4\x90\x80\x80"), std::u16string({0xDCF4, 0xDC90, 0xDC80, 0xDC80}));
  // The valid character after an invalid byte is kept whole.
  EXPECT_EQ(Decoded("\x80报"), std::u16string({0xDC80, u'报'}));
}

TEST(FileNameBytes, EveryByteStringRoundTrips) {
  std::mt19937 random(7);
  std::uniform_int_distribution<int> length(1, 40);
  // Bytes drawn to hit ASCII, lead and continuation bytes and the invalid ones alike.
  const std::string alphabet = "ab.\x80\xBF\xC2\xC3\xDF\xE0\xE4\xED\xEF\xF0\xF4\xF5\xFF\xA0\x9F";
  std::uniform_int_distribution<size_t> pick(0, alphabet.size() - 1);
  for (int i = 0; i < 5000; ++i) {
    std::string bytes;
    for (int n = length(random); n > 0; --n)
      bytes.push_back(alphabet[pick(random)]);
    ASSERT_EQ(Encoded(Decoded(bytes)), bytes);
  }
}

TEST(FileNameBytes, ShowingANameReplacesEscapedBytes) {
  std::string shown;
  AppendDisplayText(Decoded("a\xFF报"), &shown);
  EXPECT_EQ(shown, "a\xEF\xBF\xBD报");
  // A lone surrogate that no decoding makes is no byte: it cannot be written back as one.
  EXPECT_EQ(Encoded(std::u16string({u'x', 0xD800})), "x\xEF\xBF\xBD");
}

}  // namespace
}  // namespace vessiko
