#include <gtest/gtest.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <initializer_list>
#include <span>
#include <string>
#include <vector>

#include "index/rank_table_data.h"

namespace vessiko {
namespace {

constexpr char32_t kFirst = 0x4E00;
constexpr size_t kEntries = 0x9FA5 - kFirst + 1;
constexpr uint16_t kNoRank = 0xFFFF;

uint16_t RankOf(char32_t cp) {
  const std::span<const uint8_t> bytes = RankTableBytes();
  const size_t at = 2 * (cp - kFirst);
  if (at + 1 >= bytes.size()) {
    ADD_FAILURE() << "no entry for " << std::hex << static_cast<unsigned>(cp);
    return kNoRank;
  }
  return static_cast<uint16_t>(bytes[at] | (bytes[at + 1] << 8));
}

std::string Name(char32_t cp) {
  char buffer[16];
  std::snprintf(buffer, sizeof buffer, "U+%04X", static_cast<unsigned>(cp));
  return buffer;
}

// Each character must rank strictly before the next.
void ExpectAscending(std::initializer_list<char32_t> chars) {
  const char32_t* previous = nullptr;
  for (const char32_t& cp : chars) {
    ASSERT_NE(RankOf(cp), kNoRank) << Name(cp);
    if (previous) {
      EXPECT_LT(RankOf(*previous), RankOf(cp))
          << Name(*previous) << " should sort before " << Name(cp);
    }
    previous = &cp;
  }
}

TEST(RankTable, HasOneEntryPerIdeograph) {
  EXPECT_EQ(RankTableBytes().size(), 2 * kEntries);
}

TEST(RankTable, KnownCharactersHaveTheirRanks) {
  const struct {
    char32_t cp;
    uint16_t rank;
  } known[] = {
      {U'啊', 0},     {U'阿', 1},     {U'吖', 2},     {U'安', 95},
      {U'八', 249},   {U'不', 1186},  {U'的', 3193},  {U'国', 5664},
      {U'人', 13574}, {U'是', 14343}, {U'我', 16394}, {U'一', 18273},
      {U'在', 19488}, {U'张', 19794}, {U'赵', 19852}, {U'中', 20279},
  };
  for (const auto& k : known)
    EXPECT_EQ(RankOf(k.cp), k.rank) << Name(k.cp);
}

TEST(RankTable, ExactlySixIdeographsAreUnranked) {
  const std::vector<char32_t> unranked = {0x56D7, 0x5EFE, 0x70BA, 0x864D, 0x9997, 0x9F6A};
  for (char32_t cp : unranked)
    EXPECT_EQ(RankOf(cp), kNoRank) << Name(cp);
  size_t count = 0;
  for (size_t i = 0; i < kEntries; ++i) {
    if (RankOf(kFirst + static_cast<char32_t>(i)) == kNoRank) ++count;
  }
  EXPECT_EQ(count, unranked.size());
}

TEST(RankTable, RanksArePermutation) {
  const size_t ranked = kEntries - 6;
  std::vector<int> uses(ranked, 0);
  for (size_t i = 0; i < kEntries; ++i) {
    const uint16_t rank = RankOf(kFirst + static_cast<char32_t>(i));
    if (rank == kNoRank) continue;
    ASSERT_LT(rank, ranked) << Name(kFirst + static_cast<char32_t>(i));
    ++uses[rank];
  }
  for (size_t r = 0; r < ranked; ++r)
    EXPECT_EQ(uses[r], 1) << "rank " << r;
}

TEST(RankTable, SyllablesSortAlphabetically) {
  // Code-point order would give 北 八 本 班 白.
  ExpectAscending({U'八', U'白', U'班', U'北', U'本'});
}

TEST(RankTable, TonesDoNotTakePartInSyllableOrder) {
  // Compared with their tone marks, "mán" would precede "mǎ" and "liú" "lì".
  ExpectAscending({U'马', U'满'});
  ExpectAscending({U'立', U'刘'});
}

TEST(RankTable, UUmlautSortsAfterU) {
  // 驴 lü and 略 lüe follow every lu- syllable, and precede ma.
  ExpectAscending({U'卵', U'论', U'罗', U'驴', U'略', U'妈'});
}

TEST(RankTable, LevelOneCharactersSortUnderTheReadingTheirGbPositionGives) {
  // kMandarin gives 地 "de" first, Unihan lists only zhang for 长 and only
  // shei for 谁; GB2312 files them under di, chang and shui.
  ExpectAscending({U'灯', U'地'});
  ExpectAscending({U'场', U'长', U'超'});
  ExpectAscending({U'双', U'谁', U'水'});
}

TEST(RankTable, GbCharactersComeFirstWithinASyllable) {
  // 黯 (GB2312 level 2, U+9EEF) before 侒 (not in GB2312, U+4F92).
  ExpectAscending({U'黯', U'侒'});
  // Level 2 goes by GB2312 code (谙 5847 < 桉 7281), not code point.
  ExpectAscending({U'谙', U'桉'});
  // Characters outside GB2312 go by code point.
  ExpectAscending({U'丷', U'仈'});
}

TEST(RankTable, CharactersWithoutUnihanReadingsAreRanked) {
  // 兡 (hectogram, bǎikè) files under bai, 兙 (decagram, shíkè) under shi.
  ExpectAscending({U'白', U'兡', U'班'});
  ExpectAscending({U'是', U'兙', U'收'});
}

}  // namespace
}  // namespace vessiko
