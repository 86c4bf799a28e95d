#include "index/dir_map.h"

#include <utility>

namespace vessiko {

const DirMapPair* DirMap::find(EntryKey key) const {
  const int64_t target = array_.targetBlock(key, KeyOrder{});
  if (target < 0) return nullptr;
  const Block& b = array_.block(static_cast<uint32_t>(target));
  bool equal = false;
  const uint32_t pos = Array::searchBlock(b, key, KeyOrder{}, &equal, nullptr);
  return equal ? &b.slots[pos] : nullptr;
}

DirMapPair* DirMap::find(EntryKey key) {
  return const_cast<DirMapPair*>(std::as_const(*this).find(key));
}

RecordRef DirMap::erase(EntryKey key) {
  DirMapPair* pair = find(key);
  if (pair == nullptr) return kNoRecord;
  const RecordRef previous = pair->dir;
  pair->dir = kNoRecord;
  return previous;
}

}  // namespace vessiko
