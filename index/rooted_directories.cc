#include "index/rooted_directories.h"

namespace vessiko {

namespace {

// kNoRecord is never a key, so its slot pattern marks an empty slot.
constexpr uint64_t kEmpty = ~0ULL;

}  // namespace

RootedDirectories::RootedDirectories(const Index& index) : index_(index) {
  uint64_t capacity = 16;
  while (capacity < 2 * static_cast<uint64_t>(index.dirs.itemCount()))
    capacity *= 2;
  auto* path =
      static_cast<RecordRef*>(index.heap.allocateRaw((kMaxDirectoryDepth + 1) * sizeof(RecordRef)));
  slots_ = static_cast<uint64_t*>(index.heap.allocateRaw(capacity * sizeof(uint64_t)));
  if (slots_ == nullptr || path == nullptr) {
    index.heap.free(slots_);
    index.heap.free(path);
    slots_ = nullptr;
    index.heap.reportFailure();
    return;
  }
  mask_ = capacity - 1;
  for (uint64_t i = 0; i < capacity; ++i)
    slots_[i] = kEmpty;
  for (uint32_t b = 0; b < index.dirs.blockCount(); ++b) {
    const EntryList::Block& block = index.dirs.block(b);
    for (uint32_t s = block.first; s < block.end; ++s)
      set(block.slots[s], kListed);
  }
  for (uint32_t b = 0; b < index.dirs.blockCount(); ++b) {
    const EntryList::Block& block = index.dirs.block(b);
    for (uint32_t s = block.first; s < block.end; ++s)
      walk(block.slots[s], path);
  }
  index.heap.free(path);
}

RootedDirectories::~RootedDirectories() {
  index_.heap.free(slots_);
}

void RootedDirectories::walk(RecordRef dir, RecordRef* path) {
  uint32_t length = 0;
  uint32_t known = kCutOff;
  for (RecordRef at = dir;;) {
    const uint32_t s = state(at);
    if (s == 0 || s == kOnWalk) break;  // not listed, or a circle: cut off
    if (s != kListed) {
      known = s;
      break;
    }
    if (length > kMaxDirectoryDepth) break;  // deeper than any path
    set(at, kOnWalk);
    path[length++] = at;
    const uint32_t parent = index_.dir(at).parentLink();
    if (parent == kNoRecord) {
      known = kRooted;
      break;
    }
    at = parent;
  }
  for (uint32_t i = 0; i < length; ++i)
    set(path[i], known);
}

uint32_t RootedDirectories::state(RecordRef dir) const {
  if (slots_ == nullptr) return 0;
  for (uint64_t at = (dir * 0x9E3779B97F4A7C15ULL >> 20) & mask_;; at = (at + 1) & mask_) {
    if (slots_[at] == kEmpty) return 0;
    if (static_cast<RecordRef>(slots_[at] >> 32) == dir) return static_cast<uint32_t>(slots_[at]);
  }
}

void RootedDirectories::set(RecordRef dir, uint32_t value) {
  uint64_t at = (dir * 0x9E3779B97F4A7C15ULL >> 20) & mask_;
  while (slots_[at] != kEmpty && static_cast<RecordRef>(slots_[at] >> 32) != dir)
    at = (at + 1) & mask_;
  slots_[at] = static_cast<uint64_t>(dir) << 32 | value;
}

}  // namespace vessiko
