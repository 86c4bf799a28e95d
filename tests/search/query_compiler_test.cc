// Compiling the two query texts: words, patterns, their contradictions, the extension list.
#include "search/query_compiler.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/fakes/recording_messages.h"
#include "platform/utf.h"

namespace vessiko {
namespace {

struct Compiled {
  bool ok;
  NameQuery query;
  std::u16string text;
};

Compiled Compile(const std::u16string& text, bool caseSensitive = false) {
  Compiled c;
  std::vector<char16_t> buffer(text.begin(), text.end());
  buffer.push_back(0);
  c.ok = CompileNameQuery(buffer.data(), caseSensitive, c.query);
  c.text = buffer.data();
  return c;
}

std::vector<std::u16string> PlainWords(const NameQuery& q) {
  std::vector<std::u16string> out;
  for (const auto& w : q.plainWords())
    out.emplace_back(w.text, static_cast<size_t>(w.length));
  return out;
}

TEST(CompileNameQuery, EmptyAndSpacesOnly) {
  EXPECT_FALSE(Compile(u"").ok);
  EXPECT_FALSE(Compile(u"    ").ok);
  // Only U+0020 separates words: a tab is part of one.
  EXPECT_EQ(PlainWords(Compile(u"a\tb").query), std::vector<std::u16string>{u"a\tb"});
}

TEST(CompileNameQuery, PlainWordsKeepNoneInsideAnother) {
  EXPECT_EQ(PlainWords(Compile(u"abc abc").query), std::vector<std::u16string>{u"abc"});
  EXPECT_EQ(PlainWords(Compile(u"abc ab").query), std::vector<std::u16string>{u"abc"});
  EXPECT_EQ(PlainWords(Compile(u"ab abc").query), std::vector<std::u16string>{u"abc"});
  EXPECT_EQ(PlainWords(Compile(u"de abc bcde").query),
            (std::vector<std::u16string>{u"bcde", u"abc"}));
  // Equal lengths keep their order of arrival.
  EXPECT_EQ(PlainWords(Compile(u"xy ab cd").query),
            (std::vector<std::u16string>{u"xy", u"ab", u"cd"}));
}

TEST(CompileNameQuery, QuestionWordsMergeIntoOneFixedPattern) {
  const Compiled merged = Compile(u"a?c ?bc");
  ASSERT_TRUE(merged.ok);
  EXPECT_EQ(std::u16string(merged.query.fixedPattern().text), u"abc");
  EXPECT_FALSE(Compile(u"a?c ab?d").ok);
  EXPECT_FALSE(Compile(u"a?c b??").ok);
}

TEST(CompileNameQuery, PlainWordsAgainstTheFixedPattern) {
  EXPECT_FALSE(Compile(u"xy a?c").ok);
  EXPECT_TRUE(Compile(u"x a?c").ok);
  EXPECT_TRUE(Compile(u"b a?c").ok);
  const Compiled first = Compile(u"abc a?c");
  ASSERT_TRUE(first.ok);
  EXPECT_EQ(std::u16string(first.query.fixedPattern().text), u"a?c");
  const Compiled second = Compile(u"a?c abc");
  ASSERT_TRUE(second.ok);
  EXPECT_EQ(std::u16string(second.query.fixedPattern().text), u"abc");
  EXPECT_FALSE(Compile(u"a?c abcd").ok);
}

TEST(CompileNameQuery, StarPatternsCollapseRuns) {
  const Compiled loose = Compile(u"**a**b*");
  ASSERT_TRUE(loose.ok);
  ASSERT_EQ(loose.query.starPatterns().size(), 1u);
  const WildcardPattern& p = loose.query.starPatterns()[0];
  EXPECT_EQ(std::u16string(p.text), u"*a*b*");
  EXPECT_EQ(p.length, 5);
  EXPECT_EQ(p.starCount, 3);
  EXPECT_FALSE(p.anchoredStart());
  EXPECT_FALSE(p.anchoredEnd());

  const Compiled a = Compile(u"a*b");
  const WildcardPattern& tight = a.query.starPatterns()[0];
  EXPECT_EQ(tight.starCount, 1);
  EXPECT_TRUE(tight.anchoredStart());
  EXPECT_TRUE(tight.anchoredEnd());

  const Compiled stars = Compile(u"* ***");
  EXPECT_TRUE(stars.ok);
  EXPECT_FALSE(stars.query.hasStarPatterns() || stars.query.hasPlainWords());

  // Newest first.
  const Compiled two = Compile(u"a* *b");
  EXPECT_EQ(std::u16string(two.query.starPatterns()[0].text), u"*b");
}

TEST(CompileNameQuery, PatternsLongerThanTheFixedPatternContradictIt) {
  EXPECT_FALSE(Compile(u"??a* ?").ok);
  EXPECT_FALSE(Compile(u"a? abc*").ok);
  EXPECT_TRUE(Compile(u"a?? ab*").ok);
  EXPECT_EQ(Compile(u"a*?b").query.mixedPatterns().size(), 1u);
}

TEST(CompileNameQuery, CaseAndAsciiness) {
  EXPECT_EQ(Compile(u"ReadMe.TXT").text, u"readme.txt");
  EXPECT_EQ(Compile(u"ReadMe.TXT", true).text, u"ReadMe.TXT");
  EXPECT_EQ(Compile(u"Ä Ａ").text, u"Ä Ａ");
  EXPECT_EQ(Compile(u"文档 x").query.allAscii, 0);
  EXPECT_EQ(Compile(u"x?y").query.allAscii, 1);
}

TEST(NameQuery, EqualsAndAssign) {
  const Compiled a = Compile(u"abc a?c* x*y");
  const Compiled b = Compile(u"abc a?c* x*y");
  const Compiled c = Compile(u"abc a?c* x*z");
  EXPECT_TRUE(a.query.equals(b.query));
  EXPECT_FALSE(a.query.equals(c.query));
  NameQuery copy;
  copy.assign(a.query);
  EXPECT_TRUE(copy.equals(a.query));
  copy.assign(copy);
  EXPECT_TRUE(copy.equals(a.query));
  NameQuery empty;
  EXPECT_FALSE(empty.equals(a.query));
  copy.clear();
  EXPECT_TRUE(copy.equals(empty));
}

class ExtensionListTest : public ::testing::Test {
 protected:
  ExtensionListTest() { table_.seedBuiltins(); }
  int32_t intern(std::u16string text) {
    return table_.intern(text.data(), static_cast<uint32_t>(text.size()));
  }
  bool parse(const std::u16string& text, std::vector<int32_t>* indexes) {
    std::vector<char16_t> buffer(text.begin(), text.end());
    buffer.push_back(0);
    int32_t found[kMaxQueryExtensions];
    int32_t count = 0;
    const bool words =
        ParseExtensionList(buffer.data(), table_, found, kMaxQueryExtensions, &count);
    indexes->assign(found, found + count);
    return words;
  }

  RecordingMessages messages_;
  PrivateHeap heap_{messages_};
  ExtensionTable table_{heap_};
};

TEST_F(ExtensionListTest, KnownExtensionsOnceInOrder) {
  const int32_t txt = intern(u"txt");
  const int32_t doc = intern(u"doc");
  std::vector<int32_t> indexes;
  EXPECT_TRUE(parse(u"TXT txt  doc zzz", &indexes));
  EXPECT_EQ(indexes, (std::vector<int32_t>{txt, doc}));
  EXPECT_TRUE(parse(u"zzz", &indexes));
  EXPECT_TRUE(indexes.empty());
  EXPECT_FALSE(parse(u"", &indexes));
  EXPECT_FALSE(parse(u"   ", &indexes));
}

TEST_F(ExtensionListTest, AtMost64) {
  std::u16string text;
  std::vector<int32_t> expected;
  for (int i = 0; i < 65; ++i) {
    const std::u16string ext = Utf8ToUtf16("e" + std::to_string(i));
    const int32_t index = intern(ext);
    if (i < 64) expected.push_back(index);
    text += ext + u" ";
  }
  std::vector<int32_t> indexes;
  EXPECT_TRUE(parse(text, &indexes));
  EXPECT_EQ(indexes, expected);
}

}  // namespace
}  // namespace vessiko
