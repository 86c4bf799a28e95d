#include "index/packed_name.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace vessiko {
namespace {

std::vector<uint8_t> Pack(const std::u16string& units) {
  std::vector<uint8_t> out(3 * units.size());
  out.resize(encodePackedName(out.data(), units.data(), static_cast<uint32_t>(units.size())));
  return out;
}

std::u16string Unpack(const std::vector<uint8_t>& bytes) {
  std::u16string out(bytes.size() + 1, u'\0');
  out.resize(decodePackedName(out.data(), bytes.data(), static_cast<uint32_t>(bytes.size())));
  return out;
}

TEST(PackedName, AsciiIsOneByteAndEverythingElseThree) {
  EXPECT_EQ(Pack(u"abc"), (std::vector<uint8_t>{'a', 'b', 'c'}));
  EXPECT_EQ(Pack(u"文档"), (std::vector<uint8_t>{0x81, 0x87, 0x65, 0x81, 0x63, 0x68}));
  // 0x80 is the first unit that takes three bytes; 0x7F still takes one.
  EXPECT_EQ(Pack(u"\u007F\u0080"), (std::vector<uint8_t>{0x7F, 0x81, 0x80, 0x00}));
}

TEST(PackedName, RoundTripsEveryKindOfUnit) {
  const std::u16string names[] = {
      u"",      u"readme.txt",    u"文档 2024",
      u"Ωmega", u"\uFFFF\u0001x", u"\xD83D\xDE00"};  // a surrogate pair stays two units
  for (const auto& name : names)
    EXPECT_EQ(Unpack(Pack(name)), name);
}

TEST(PackedName, DecoderStopsAtACutMarkerAndTerminates) {
  const std::vector<uint8_t> cut = {'a', 0x81, 0x87};
  char16_t out[8];
  out[1] = 0x1234;
  EXPECT_EQ(decodePackedName(out, cut.data(), 3), 1u);
  EXPECT_EQ(out[0], u'a');
  EXPECT_EQ(out[1], 0);
}

TEST(PackedName, WellFormedness) {
  const std::vector<uint8_t> good = Pack(u"ab文c");
  EXPECT_TRUE(IsWellFormedPackedName(good.data(), static_cast<uint32_t>(good.size())));
  const uint8_t cut[] = {'a', 0x81, 0x87};
  EXPECT_FALSE(IsWellFormedPackedName(cut, 3));
  const uint8_t otherMarker[] = {0x90, 0x87, 0x65};
  EXPECT_FALSE(IsWellFormedPackedName(otherMarker, 3));
  const uint8_t asciiInMarker[] = {0x81, 'a', 0x00};
  EXPECT_FALSE(IsWellFormedPackedName(asciiInMarker, 3));
}

}  // namespace
}  // namespace vessiko
