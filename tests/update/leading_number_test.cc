#include "update/leading_number.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

namespace vessiko {
namespace {

TEST(LeadingNumber, ReadsLikeAtoi) {
  EXPECT_EQ(LeadingNumber("101"), 101);
  EXPECT_EQ(LeadingNumber("101\r\n"), 101);
  EXPECT_EQ(LeadingNumber(" \t\r\n 42abc"), 42);
  EXPECT_EQ(LeadingNumber("+7"), 7);
  EXPECT_EQ(LeadingNumber("-12 "), -12);
  EXPECT_EQ(LeadingNumber("0012"), 12);
  EXPECT_EQ(LeadingNumber(""), 0);
  EXPECT_EQ(LeadingNumber("abc"), 0);
  EXPECT_EQ(LeadingNumber("- 5"), 0);
  EXPECT_EQ(LeadingNumber(std::string_view("\0005", 2)), 0);
}

TEST(LeadingNumber, StopsAtTheEndOfTheView) {
  const std::string text = "12345";
  EXPECT_EQ(LeadingNumber(std::string_view(text).substr(1, 3)), 234);
}

TEST(LeadingNumber, NumbersBeyondAnIntStopAtItsLimits) {
  EXPECT_EQ(LeadingNumber("2147483647"), INT_MAX);
  EXPECT_EQ(LeadingNumber("2147483648"), INT_MAX);
  EXPECT_EQ(LeadingNumber("99999999999999999999999"), INT_MAX);
  EXPECT_EQ(LeadingNumber("-2147483648"), INT_MIN);
  EXPECT_EQ(LeadingNumber("-2147483649"), INT_MIN);
  EXPECT_EQ(LeadingNumber("-99999999999999999999999"), INT_MIN);
}

}  // namespace
}  // namespace vessiko
