#include "search/matchers.h"

#include <gtest/gtest.h>

#include <string>

#include "tests/support/search_fixture.h"

namespace vessiko {
namespace {

bool Star(const std::u16string& pattern, const std::u16string& name) {
  const WildcardPattern p =
      MakeWildcardPattern(pattern.data(), static_cast<int32_t>(pattern.size()));
  return matchStarPattern(p, name.data(), static_cast<int32_t>(name.size()));
}

bool Mixed(const std::u16string& pattern, const std::u16string& name) {
  const WildcardPattern p =
      MakeWildcardPattern(pattern.data(), static_cast<int32_t>(pattern.size()));
  return matchMixedPattern(p, name.data(), static_cast<int32_t>(name.size()));
}

TEST(Matchers, StarPatterns) {
  EXPECT_TRUE(Star(u"a*c", u"ac"));
  EXPECT_TRUE(Star(u"a*c", u"abc"));
  EXPECT_TRUE(Star(u"a*c", u"abbc"));
  EXPECT_FALSE(Star(u"a*c", u"abcd"));
  EXPECT_TRUE(Star(u"*a*a*", u"xaya"));
  EXPECT_TRUE(Star(u"*a*a*", u"aa"));
  EXPECT_FALSE(Star(u"*a*a*", u"xa"));
  EXPECT_TRUE(Star(u"*.txt", u"x.txt"));
  EXPECT_FALSE(Star(u"*.txt", u"x.txt.gz"));
  EXPECT_FALSE(Star(u"ab*ba", u"aba"));  // front and back may not share units
  EXPECT_TRUE(Star(u"ab*ba", u"abba"));
  EXPECT_FALSE(Star(u"a?c*", u"abc"));  // '?' is a plain unit in the star form
}

TEST(Matchers, MixedPatternsLetQuestionMarksAgreeWithAnything) {
  EXPECT_TRUE(Mixed(u"a?c*", u"abcdef"));
  EXPECT_TRUE(Mixed(u"*?b?*", u"xbx"));
  EXPECT_FALSE(Mixed(u"*?b?*", u"bx"));
  EXPECT_TRUE(Mixed(u"*a?c*e", u"zzabcde"));
}

TEST(Matchers, ContainsAndFixed) {
  const std::u16string name = u"abcd";
  EXPECT_TRUE(containsWord(name.data(), 4, u"bc", 2));
  EXPECT_FALSE(containsWord(name.data(), 4, u"abcde", 5));
  EXPECT_TRUE(matchFixedPattern(u"abc", u"a?c", 3));
  EXPECT_TRUE(matchFixedPattern(u"a c", u"a?c", 3));
  EXPECT_FALSE(matchFixedPattern(u"abd", u"a?c", 3));
}

TEST(Matchers, InScopeDirectlyOrBelow) {
  testing::SearchFixture f;
  const RecordRef d = f.addDir(f.root('C'), "D");
  const RecordRef sub = f.addDir(d, "sub");
  const RecordRef other = f.addDir(f.root('C'), "other");
  const RecordRef dirs[] = {d};
  const uint32_t direct[] = {0};
  const uint32_t below[] = {1};
  const Index& index = f.t.index();
  EXPECT_TRUE(inScope(index, d, dirs, direct, 1));
  EXPECT_FALSE(inScope(index, sub, dirs, direct, 1));
  EXPECT_TRUE(inScope(index, sub, dirs, below, 1));
  EXPECT_FALSE(inScope(index, other, dirs, below, 1));
  // D's own entry has the root as parent: a chosen folder is not in its own scope.
  EXPECT_FALSE(inScope(index, f.root('C'), dirs, below, 1));
}

}  // namespace
}  // namespace vessiko
