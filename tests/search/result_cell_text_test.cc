#include "search/result_cell_text.h"

#include <gtest/gtest.h>

namespace vessiko {
namespace {

TEST(ResultCellText, SizesChangeUnitAtEachPowerOf1024) {
  EXPECT_EQ(SizeText(0), "0 B");
  EXPECT_EQ(SizeText(1023), "1023 B");
  EXPECT_EQ(SizeText(1024), "1.00 KB");
  EXPECT_EQ(SizeText(1048575), "1024.00 KB");
  EXPECT_EQ(SizeText(1048576), "1.00 MB");
  EXPECT_EQ(SizeText(1073741824), "1.00 GB");
  EXPECT_EQ(SizeText(5ULL << 40), "5120.00 GB");
}

TEST(ResultCellText, TimesWithoutPaddingOrSeconds) {
  EXPECT_EQ(TimeText({2024, 3, 5, 8, 7, 59, 0}), "2024年3月5日 8时7分");
  EXPECT_EQ(TimeText({2026, 12, 31, 23, 59, 0, 0}), "2026年12月31日 23时59分");
}

TEST(ResultCellText, AttributesAndKind) {
  EXPECT_EQ(AttributeText(0, false), "[普通]文件");
  EXPECT_EQ(AttributeText(0x20, true), "[普通]文件夹");
  EXPECT_EQ(AttributeText(0x2, false), "[隐藏]文件");
  EXPECT_EQ(AttributeText(0x4, true), "[系统]文件夹");
  EXPECT_EQ(AttributeText(0x6, false), "[隐藏,系统]文件");
}

}  // namespace
}  // namespace vessiko
