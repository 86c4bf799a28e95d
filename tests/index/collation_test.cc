// The collation: case-free ASCII first, then CJK by pinyin, then everything else by code; and
// the record orders built on it.
#include "index/collation.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "index/packed_name.h"
#include "platform/utf.h"
#include "tests/support/test_index.h"

namespace vessiko {
namespace {

int Compare(const std::string& a, const std::string& b) {
  const std::u16string ua = Utf8ToUtf16(a);
  const std::u16string ub = Utf8ToUtf16(b);
  std::vector<uint8_t> pa(3 * ua.size() + 1);
  std::vector<uint8_t> pb(3 * ub.size() + 1);
  const uint32_t la = encodePackedName(pa.data(), ua.data(), static_cast<uint32_t>(ua.size()));
  const uint32_t lb = encodePackedName(pb.data(), ub.data(), static_cast<uint32_t>(ub.size()));
  const int r = Collation::loadCollationTable().compareNames(pa.data(), pa.data() + la, pb.data(),
                                                             pb.data() + lb);
  return r < 0 ? -1 : r > 0 ? 1 : 0;
}

TEST(Collation, ShippedTableIsLoaded) {
  EXPECT_TRUE(Collation::loadCollationTable().valid());
}

TEST(Collation, AsciiLettersFoldDigitsAndPunctuationByCode) {
  EXPECT_EQ(Compare("readme", "README"), 0);
  EXPECT_EQ(Compare("a", "B"), -1);
  EXPECT_EQ(Compare("B", "c"), -1);
  EXPECT_EQ(Compare("_x", "Ax"), -1);  // '_' is 95, 'a' is 97
  EXPECT_EQ(Compare("Z", "["), 1);     // 'z' (122) after '[' (91)
  EXPECT_EQ(Compare("9", "a"), -1);
}

TEST(Collation, AsciiThenCjkThenEverythingElse) {
  EXPECT_EQ(Compare("Zebra", "中文"), -1);
  EXPECT_EQ(Compare("中文", "Ω"), -1);
  EXPECT_EQ(Compare("Ω", "Zebra"), 1);
  EXPECT_EQ(Compare("é", "Ω"), -1);  // non-CJK among themselves by code unit
}

TEST(Collation, ChineseByPinyinRank) {
  EXPECT_EQ(Compare("张三", "赵四"), -1);
  EXPECT_EQ(Compare("阿", "啊"), 1);
  EXPECT_EQ(Compare("一", "人"), 1);  // yi after ren, although U+4E00 is the first code point
  EXPECT_EQ(Compare("中国", "中国人"), -1);
}

TEST(Collation, PrefixSortsFirst) {
  EXPECT_EQ(Compare("ab", "abc"), -1);
  EXPECT_EQ(Compare("abc", "ab"), 1);
  EXPECT_EQ(Compare("", ""), 0);
  EXPECT_EQ(Compare("", "a"), -1);
}

// The six characters without a reading share one rank; their code units order them, so names
// are equal only when they fold to the same units, and the order is strict: were 為b equal to
// 馗z, a list holding 為a, 為a0, 為b and 馗z could not find 為b again.
TEST(Collation, IsAStrictOrderAlsoForCharactersWithoutAReading) {
  EXPECT_EQ(Compare("\u56D7x", "\u5EFEy"), -1);
  EXPECT_EQ(Compare("為b", "馗z"), -1);
  const char* const units[] = {"a", "A", "b", "為", "馗", "囗", "中", "一", "Ω", "_"};
  std::mt19937 random(5);
  std::vector<std::string> names;
  for (int i = 0; i < 120; ++i) {
    std::string name;
    for (int n = random() % 4; n >= 0; --n)
      name += units[random() % std::size(units)];
    names.push_back(name);
  }
  const auto fold = [](std::string s) {
    for (char& c : s)
      if (c >= 'A' && c <= 'Z') c = static_cast<char>(c + 32);
    return s;
  };
  for (const std::string& a : names) {
    for (const std::string& b : names) {
      const int ab = Compare(a, b);
      ASSERT_EQ(ab, -Compare(b, a)) << a << " " << b;
      ASSERT_EQ(ab == 0, fold(a) == fold(b)) << a << " " << b;
      for (const std::string& c : names) {
        if (ab <= 0 && Compare(b, c) <= 0) {
          ASSERT_LE(Compare(a, c), 0) << a << " " << b << " " << c;
        }
      }
    }
  }
}

TEST(Collation, DamagedNameDoesNotReadPastItsEnd) {
  const uint8_t a[] = {'a', 0x81, 0x00};  // marker cut off: the unit's second byte is missing
  const uint8_t b[] = {'a', 0x81, 0x00, 0x4E};
  const Collation& c = Collation::loadCollationTable();
  EXPECT_LT(c.compareNames(a, a + 2, b, b + 4), 0);
  EXPECT_EQ(c.compareNames(a, a + 2, a, a + 2), 0);
}

TEST(RecordOrder, FilesByBaseNameThenExtension) {
  testing::TestIndex t;
  Index& index = t.index();
  index.extensions.seedBuiltins();
  const EntryKey parent = RootKey(2);
  const RecordRef report = t.makeFile(20, parent, "report");
  const RecordRef doc = t.makeFile(21, parent, "report.doc");
  const RecordRef txt = t.makeFile(22, parent, "report.txt");
  const RecordRef a = t.makeFile(23, parent, "a.txt");
  const RecordRef ab = t.makeFile(24, parent, "a b.txt");
  const FileOrder order = index.fileOrder();
  EXPECT_GT(order.compare(report, doc), 0);  // no extension after every extension
  EXPECT_LT(order.compare(doc, txt), 0);
  EXPECT_LT(order.compare(a, ab), 0);  // base "a" is a prefix of "a b"
  EXPECT_EQ(order.compare(txt, txt), 0);
  // Namesakes (letters folded) go by record number, so that each is found by a binary search.
  const RecordRef upper = t.makeFile(25, parent, "REPORT.TXT");
  EXPECT_GT(order.compare(upper, txt), 0);
  EXPECT_EQ(order.compare(upper, t.makeFile(25, RootKey(3), "report.txt")), 0);
  const DirOrder dirs = index.dirOrder();
  EXPECT_LT(dirs.compare(t.makeDir(RootKey(2) + 9, parent, "Docs"),
                         t.makeDir(RootKey(2) + 10, parent, "docs")),
            0);
}

}  // namespace
}  // namespace vessiko
