// The collation of the index: ASCII letters compare without case, plain ASCII sorts before
// everything else, the CJK Unified Ideographs U+4E00-U+9FA5 sort by their pinyin rank and
// after ASCII, and every other unit sorts after CJK by its code. A name sorts before every
// longer name it begins. Both entry lists are kept in this order.
//
// Immutable once made; safe on every thread.
#pragma once

#include <array>
#include <cstdint>
#include <span>

namespace vessiko {

constexpr char16_t kFirstCjk = 0x4E00;
constexpr char16_t kLastCjk = 0x9FA5;
constexpr uint32_t kCjkCount = kLastCjk - kFirstCjk + 1;  // 20902
constexpr uint16_t kNoReading = 0xFFFF;

class Collation {
 public:
  // From the 41804-byte rank table. A table of any other size gives code-point order, so
  // that the order is still total; valid() tells.
  explicit Collation(std::span<const uint8_t> rankTable);

  // The program's collation, made once from the shipped rank table.
  static const Collation& loadCollationTable();

  bool valid() const { return valid_; }
  uint16_t rank(char16_t cjk) const { return ranks_[cjk - kFirstCjk]; }

  // Negative, 0 or positive (only the sign matters) for two PackedNames.
  int compareNames(const uint8_t* a, const uint8_t* aEnd, const uint8_t* b,
                   const uint8_t* bEnd) const;

 private:
  std::array<uint16_t, kCjkCount> ranks_;
  bool valid_ = false;
};

}  // namespace vessiko
