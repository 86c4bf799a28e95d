#include "index/collation.h"

#include "index/fold_table.h"
#include "index/rank_table_data.h"
#include "platform/little_endian.h"

namespace vessiko {

namespace {

bool IsCjk(char16_t u) {
  return u >= kFirstCjk && u <= kLastCjk;
}

}  // namespace

Collation::Collation(std::span<const uint8_t> rankTable) {
  valid_ = rankTable.size() == 2 * kCjkCount;
  for (uint32_t i = 0; i < kCjkCount; ++i) {
    ranks_[i] = valid_ ? LoadU16(&rankTable[2 * i]) : static_cast<uint16_t>(i);
  }
}

const Collation& Collation::loadCollationTable() {
  static const Collation collation(RankTableBytes());
  return collation;
}

int Collation::compareNames(const uint8_t* a, const uint8_t* aEnd, const uint8_t* b,
                            const uint8_t* bEnd) const {
  for (;;) {
    if (a == aEnd || b == bEnd) return a != aEnd ? 1 : b != bEnd ? -1 : 0;
    const uint8_t ca = *a;
    const uint8_t cb = *b;
    if (ca < 0x80) {
      if (cb >= 0x80) return -1;
      const int d = kFoldTable[ca] - kFoldTable[cb];
      if (d != 0) return d;
      ++a;
      ++b;
      continue;
    }
    if (cb < 0x80) return 1;
    // Both are markers of three-byte units. A marker cut off by the end of its name (only in
    // damaged data) ends that name.
    if (aEnd - a < 3 || bEnd - b < 3) {
      if (aEnd - a < 3) a = aEnd;
      if (bEnd - b < 3) b = bEnd;
      continue;
    }
    const auto ua = static_cast<char16_t>(a[1] | a[2] << 8);
    const auto ub = static_cast<char16_t>(b[1] | b[2] << 8);
    if (ua != ub) {
      const bool cjkA = IsCjk(ua);
      const bool cjkB = IsCjk(ub);
      // Only the characters without a reading share a rank: their code units order them, so
      // that two names are equal only when they are the same name.
      if (cjkA && cjkB) return rank(ua) != rank(ub) ? rank(ua) - rank(ub) : ua - ub;
      if (cjkA) return -1;
      if (cjkB) return 1;
      return ua - ub;
    }
    a += 3;
    b += 3;
  }
}

}  // namespace vessiko
