#include "index/collation_key.h"

#include <algorithm>

#include "index/fold_table.h"
#include "platform/little_endian.h"

namespace vessiko {

namespace {

constexpr uint32_t kUnitCount = 0x10000;
constexpr uint64_t kHighBits = 0x8080808080808080;
constexpr uint64_t kOnes = 0x0101010101010101;

// Eight ASCII bytes at once: 'A'-'Z' lowered, every byte plus one, the first byte highest.
uint64_t AsciiKey(uint64_t bytes) {
  // The high bit of a byte is set where the byte is at least 'A' and not above 'Z'; no byte
  // carries into the next, as all are below 0x80.
  const uint64_t upper =
      (bytes + (0x80 - 'A') * kOnes) & ~(bytes + (0x80 - 'Z' - 1) * kOnes) & kHighBits;
  return __builtin_bswap64(bytes + (upper >> 2) + kOnes);
}

}  // namespace

CollationKeys::CollationKeys(PrivateHeap& heap, const Collation& collation)
    : weights_(heap, kUnitCount) {
  HeapArray<uint32_t> cjk(heap, kCjkCount);
  ok_ = weights_.ok() && cjk.ok();
  if (!ok_) return;
  for (uint32_t i = 0; i < kCjkCount; ++i)
    cjk[i] = static_cast<uint32_t>(collation.rank(static_cast<char16_t>(kFirstCjk + i))) << 16 |
             (kFirstCjk + i);
  std::sort(cjk.begin(), cjk.end());
  uint16_t next = 0;
  for (const uint32_t rankAndUnit : cjk)
    weights_[rankAndUnit & 0xFFFF] = next++;
  for (uint32_t unit = 0; unit < kUnitCount; ++unit) {
    if (unit < kFirstCjk || unit > kLastCjk) weights_[unit] = next++;
  }
}

uint64_t CollationKeys::keyAt(const uint8_t* name, uint32_t length, uint32_t offset) const {
  const uint8_t* p = name + offset;
  const uint8_t* const end = name + length;
  if (end - p >= 8) {
    const uint64_t bytes = LoadU64(p);
    if ((bytes & kHighBits) == 0) return AsciiKey(bytes);
  }
  uint64_t key = 0;
  uint32_t filled = 0;
  while (filled < 8 && p != end) {
    const uint8_t c = *p;
    if (c < 0x80) {
      key = key << 8 | (kFoldTable[c] + 1u);
      ++p;
      ++filled;
      continue;
    }
    // A cut marker needs the byte after it (0, the end) in the same key, or it would read as
    // the last byte of a full key.
    const bool cut = end - p < 3;
    if (filled > (cut ? 6u : 5u)) {
      for (; filled < 8; ++filled)
        key = key << 8 | kPad;
      break;
    }
    if (cut) {
      key = key << 8 | kCutMarker;
      ++filled;
      break;
    }
    const uint32_t weight = weights_[LoadU16(p + 1)];
    key = key << 24 | (kUnitBase + (weight >> 14)) << 16 | (1 + (weight >> 7 & 0x7F)) << 8 |
          (1 + (weight & 0x7F));
    p += 3;
    filled += 3;
  }
  return filled == 0 ? 0 : key << (8 * (8 - filled));
}

}  // namespace vessiko
