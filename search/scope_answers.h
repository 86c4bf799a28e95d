// ScopeAnswers: whether an entry whose parent is a given folder lies in the scope of one search,
// answered once per folder. The first question about a folder walks up its parents until it
// meets a folder answered before, a chosen folder or a root, and records the answer for every
// folder on the way; later questions about any of them cost one load. A walk per result would
// follow the same parent links again and again, through records scattered over the arena.
//
// The answers of one search are shared by the lanes of its scan: a folder's answer is a pure
// function of the tree, so lanes that answer the same folder at once record the same bits.
// They are kept for the next search in the same scope while no folder changes. The directory
// list must stay locked from prepare() to the last question.
#pragma once

#include <atomic>
#include <cstdint>
#include <vector>

#include "index/index.h"

namespace vessiko {

class ScopeAnswers {
 public:
  // The scope: dirs[i] with everything below it when flags[i] is set, with only what lies
  // directly in it otherwise.
  void prepare(const Index& index, const RecordRef* dirs, const uint32_t* flags, int32_t n);

  // Asks the memory for what contains(parent) will read: the folder's answer and, should it
  // have none yet, its record. Reading the answer to decide would wait for it.
  void prefetch(RecordRef parent) const {
    if (subtrees_.empty() || parent == kNoRecord) return;
    __builtin_prefetch(&bits_[slotOf(parent) / 4]);
    __builtin_prefetch(index_->dirArena.at(parent));
  }

  // The entry whose parent is `parent` lies in the scope (the entry itself is never compared).
  bool contains(RecordRef parent) const {
    return below(parent) || (!direct_.empty() && isDirect(parent));
  }

 private:
  // Two bits per eight bytes of the directory arena, for the record that starts there (no two
  // directory records start within eight bytes): answered, and below a chosen folder.
  static constexpr uint8_t kAnswered = 1;
  static constexpr uint8_t kBelow = 2;

  static uint32_t slotOf(RecordRef dir) { return dir >> 3; }
  uint8_t bitsOf(RecordRef dir) const {
    const uint32_t slot = slotOf(dir);
    const uint8_t byte = std::atomic_ref<uint8_t>(bits_[slot / 4]).load(std::memory_order_relaxed);
    return byte >> (slot % 4 * 2) & 3;
  }
  void record(RecordRef dir, uint8_t bits) const;

  // parent is a chosen folder with its subfolders, or lies below one.
  bool below(RecordRef parent) const;
  bool isDirect(RecordRef parent) const;
  bool isSubtree(RecordRef dir) const;

  const Index* index_ = nullptr;
  uint64_t version_ = 0;             // of the directory list the answers were given for
  std::vector<RecordRef> subtrees_;  // sorted
  std::vector<RecordRef> direct_;    // sorted
  mutable std::vector<uint8_t> bits_;
};

}  // namespace vessiko
