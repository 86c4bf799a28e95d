// A map from directory records to numbers (their RecordIndex in a database being written, or
// their state in a walk up the parents), open addressing over a power-of-two table. No
// allocation per lookup. The table comes from the index's heap; one that cannot be had
// is not ok(), and the failure is left to the caller to tell, as with HeapArray.
#pragma once

#include <algorithm>
#include <cstdint>

#include "index/record_ref.h"
#include "index/heap_array.h"

namespace vessiko {

class DirectoryPositions {
 public:
  DirectoryPositions(PrivateHeap& heap, size_t expected)
      : slots_(heap, capacityFor(expected)), mask_(slots_.size() - 1) {
    std::fill(slots_.begin(), slots_.end(), kEmpty);
  }

  bool ok() const { return slots_.ok(); }

  // REQUIRES (set and find): ok().
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

  static size_t capacityFor(size_t expected) {
    size_t capacity = 16;
    while (capacity < 2 * expected)
      capacity *= 2;
    return capacity;
  }

  size_t hash(RecordRef ref) const {
    return static_cast<size_t>((static_cast<uint64_t>(ref) * 0x9E3779B97F4A7C15ULL) >> 20) & mask_;
  }

  HeapArray<uint64_t> slots_;
  size_t mask_;
};

}  // namespace vessiko
