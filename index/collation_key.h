// CollationKeys: a packed name's collation as 8-byte keys that compare as unsigned integers in
// the order Collation::compareNames gives, so that a sort compares integers instead of walking
// two records per comparison.
//
// A name is cut in keys of whole units, each key starting at a unit boundary of the packed
// bytes. Big-endian within the key, a unit is written as:
//   0x00             the name has ended (every byte after it is 0 too)
//   0x01-0x80        an ASCII unit, folded, plus one
//   0x81             a marker cut off by the end of its name (damaged data), which then ends
//   0x82             padding: the next unit is three bytes and does not fit in this key
//   0x83-0x86 x y    any other unit by its weight: CJK by (rank, unit), then the rest by unit
// A key that is not the name's last covers the packed bytes up to its padding. Two names whose
// keys are equal up to some key have their units at the same places, so the next keys of both
// start at the same byte.
#pragma once

#include <cstdint>

#include "index/collation.h"
#include "index/heap_array.h"

namespace vessiko {

class CollationKeys {
 public:
  // Builds the weights of all 65536 units; ok() is false when memory for them ran out.
  CollationKeys(PrivateHeap& heap, const Collation& collation);

  bool ok() const { return ok_; }

  // The key of the units that start at byte `offset` (a unit boundary, at most length) of a
  // packed name of `length` bytes.
  uint64_t keyAt(const uint8_t* name, uint32_t length, uint32_t offset) const;

  // Whether the name ends within the key: nothing follows it.
  static bool ends(uint64_t key) { return (key & 0xFF) == 0; }
  // The packed bytes a key that does not end covers: the offset of the next key moves by this.
  static uint32_t covered(uint64_t key) {
    return 8 - ((key & 0xFF) == kPad) - ((key & 0xFFFF) == (kPad << 8 | kPad));
  }

 private:
  static constexpr uint64_t kCutMarker = 0x81;
  static constexpr uint64_t kPad = 0x82;
  static constexpr uint64_t kUnitBase = 0x83;

  HeapArray<uint16_t> weights_;
  bool ok_ = false;
};

}  // namespace vessiko
