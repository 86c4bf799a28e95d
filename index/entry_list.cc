#include "index/entry_list.h"

#include <atomic>
#include <cstring>

namespace vessiko {

// Each list counts its changes from a base of its own, 2^40 above the last one made.
uint64_t EntryList::FirstVersion() {
  static std::atomic<uint64_t> lists{0};
  return lists.fetch_add(1, std::memory_order_relaxed) << 40;
}

void EntryList::copyTo(RecordRef* out) const {
  for (uint32_t i = 0; i < blockCount(); ++i) {
    const Block& b = block(i);
    std::memcpy(out, &b.slots[b.first], b.size() * sizeof(RecordRef));
    out += b.size();
  }
}

void EntryList::copyFrom(const RecordRef* in) {
  ++version_;
  for (uint32_t i = 0; i < blockCount(); ++i) {
    Block& b = array_.block(i);
    std::memcpy(&b.slots[b.first], in, b.size() * sizeof(RecordRef));
    in += b.size();
  }
}

}  // namespace vessiko
