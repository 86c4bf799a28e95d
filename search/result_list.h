// ResultList: the directory or the file results of the last search, as record references in
// blocks of 16384 (64 KiB), filled in list order, so in collation order. Blocks are kept from
// one search to the next; only a search that cannot have results hands back all but the first.
#pragma once

#include <cstdint>

#include "index/private_heap.h"
#include "index/record_ref.h"

namespace vessiko {

class ResultList {
 public:
  static constexpr uint32_t kBlockShift = 14;
  static constexpr uint32_t kBlockItems = 1u << kBlockShift;  // 16384
  static constexpr uint32_t kBlockBytes = kBlockItems * sizeof(RecordRef);
  static constexpr uint32_t kInitialTable = 16;
  static constexpr uint32_t kTableGrowth = 4;

  explicit ResultList(PrivateHeap& heap);
  virtual ~ResultList();
  ResultList(const ResultList&) = delete;
  ResultList& operator=(const ResultList&) = delete;

  // False when memory for a new block ran out (the reference is not kept then); the list then
  // stays full until it is emptied, so that running out is told once, not once per result.
  bool append(RecordRef ref) {
    if (cursor_ == blockEnd_ && !nextBlock()) return false;
    *cursor_++ = ref;
    ++count_;
    return true;
  }
  RecordRef itemAt(uint32_t i) const { return blocks_[i >> kBlockShift][i & (kBlockItems - 1)]; }
  uint32_t count() const { return count_; }
  // Empties the list; its blocks stay for the next search.
  void clear();
  // Empties the list and frees every block but the first.
  void releaseBlocks();

  // Narrows the list in place, keeping in order the references for which keep(ref) holds.
  // Appends never overtake the reading position, so nothing is copied aside.
  template <class Keep>
  void retainIf(Keep&& keep) {
    const uint32_t n = count_;
    clear();
    for (uint32_t i = 0; i < n; ++i) {
      const RecordRef ref = itemAt(i);
      if (keep(ref)) append(ref);
    }
  }

 private:
  bool nextBlock();

  PrivateHeap& heap_;
  RecordRef** blocks_ = nullptr;
  uint32_t tableCapacity_ = 0;
  uint32_t current_ = 0;
  uint32_t allocated_ = 0;
  RecordRef* cursor_ = nullptr;
  RecordRef* blockEnd_ = nullptr;
  uint32_t count_ = 0;
  bool full_ = false;
};

}  // namespace vessiko
