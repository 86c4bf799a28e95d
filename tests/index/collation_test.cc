// The collation: case-free ASCII first, then CJK by pinyin, then everything else by code; and
// the record orders built on it.
#include "index/collation.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "index/packed_name.h"
#include "platform/utf.h"
#include "tests/support/test_index.h"

namespace vessiko {
namespace {

int compare(const std::string& a, const std::string& b) {
  const std::u16string ua = utf8ToUtf16(a);
  const std::u16string ub = utf8ToUtf16(b);
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
  EXPECT_EQ(compare("readme", "README"), 0);
  EXPECT_EQ(compare("a", "B"), -1);
  EXPECT_EQ(compare("B", "c"), -1);
  EXPECT_EQ(compare("_x", "Ax"), -1);  // '_' is 95, 'a' is 97
  EXPECT_EQ(compare("Z", "["), 1);     // 'z' (122) after '[' (91)
  EXPECT_EQ(compare("9", "a"), -1);
}

TEST(Collation, AsciiThenCjkThenEverythingElse) {
  EXPECT_EQ(compare("Zebra", "中文"), -1);
  EXPECT_EQ(compare("中文", "Ω"), -1);
  EXPECT_EQ(compare("Ω", "Zebra"), 1);
  EXPECT_EQ(compare("é", "Ω"), -1);  // non-CJK among themselves by code unit
}

TEST(Collation, ChineseByPinyinRank) {
  EXPECT_EQ(compare("张三", "赵四"), -1);
  EXPECT_EQ(compare("阿", "啊"), 1);
  EXPECT_EQ(compare("一", "人"), 1);  // yi after ren, although U+4E00 is the first code point
  EXPECT_EQ(compare("中国", "中国人"), -1);
}

TEST(Collation, PrefixSortsFirst) {
  EXPECT_EQ(compare("ab", "abc"), -1);
  EXPECT_EQ(compare("abc", "ab"), 1);
  EXPECT_EQ(compare("", ""), 0);
  EXPECT_EQ(compare("", "a"), -1);
}

TEST(Collation, SameRankEndsTheComparisonAsEqual) {
  // U+56D7 and U+5EFE both carry the no-reading rank.
  EXPECT_EQ(compare("\u56D7x", "\u5EFEy"), 0);
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
  const EntryKey parent = rootKey(2);
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
  const RecordRef upper = t.makeFile(25, parent, "REPORT.TXT");
  EXPECT_EQ(order.compare(upper, txt), 0);
}

}  // namespace
}  // namespace vessiko
