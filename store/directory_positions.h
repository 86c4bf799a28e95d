// A map from directory records to numbers (their RecordIndex in a database being written, or
// their state in a walk), open addressing over a power-of-two table. Written once for the
// save; no allocation per lookup.
#pragma once

#include <cstdint>
#include <vector>

#include "index/record_ref.h"

namespace vessiko {

class DirectoryPositions {
 public:
  explicit DirectoryPositions(size_t expected) {
    size_t capacity = 16;
    while (capacity < 2 * expected)
      capacity *= 2;
    slots_.assign(capacity, kEmpty);
    mask_ = capacity - 1;
  }

  void set(RecordRef ref, uint32_t value) {
    size_t at = hash(ref);
    while (slots_[at] != kEmpty && static_cast<RecordRef>(slots_[at] >> 32) != ref)
      at = (at + 1) & mask_;
    slots_[at] = static_cast<uint64_t>(ref) << 32 | value;
  }

  bool find(RecordRef ref, uint32_t* value) const {
    for (size_t at = hash(ref);; at = (at + 1) & mask_) {
      if (slots_[at] == kEmpty) return false;
      if (static_cast<RecordRef>(slots_[at] >> 32) == ref) {
        *value = static_cast<uint32_t>(slots_[at]);
        return true;
      }
    }
  }

 private:
  // kNoRecord is never a key, so its slot pattern marks an empty slot.
  static constexpr uint64_t kEmpty = ~0ULL;

  size_t hash(RecordRef ref) const {
    return static_cast<size_t>((static_cast<uint64_t>(ref) * 0x9E3779B97F4A7C15ULL) >> 20) & mask_;
  }

  std::vector<uint64_t> slots_;
  size_t mask_ = 0;
};

}  // namespace vessiko
