#include "index/entry_list.h"

#include <cstring>

namespace vessiko {

void EntryList::copyTo(RecordRef* out) const {
  for (uint32_t i = 0; i < blockCount(); ++i) {
    const Block& b = block(i);
    std::memcpy(out, &b.slots[b.first], b.size() * sizeof(RecordRef));
    out += b.size();
  }
}

void EntryList::copyFrom(const RecordRef* in) {
  for (uint32_t i = 0; i < blockCount(); ++i) {
    Block& b = block(i);
    std::memcpy(&b.slots[b.first], in, b.size() * sizeof(RecordRef));
    in += b.size();
  }
}

}  // namespace vessiko
