// DirMap: finds a directory's record from its EntryKey. A BlockArray of (key, record) pairs in
// ascending unsigned key order, 1024 pairs a block, searched over the block ends and then by a
// binary search inside one block. A pair whose record is kNoRecord stands for a retired
// directory: it keeps its place, and a later insert of the key reuses it.
//
// No lock of its own: it is changed only under the index lock and the directory list's lock.
#pragma once

#include <cstdint>

#include "index/block_array.h"
#include "index/entry_key.h"
#include "index/record_ref.h"

namespace vessiko {

struct DirMapPair {
  EntryKey key;
  RecordRef dir;
};

class DirMap {
 public:
  using Array = BlockArray<DirMapPair, 1024, 32, 512>;
  using Block = Array::Block;

  explicit DirMap(PrivateHeap& heap) : array_(heap) {}

  // After the last pair, without comparing: callers append in ascending key order only.
  bool append(EntryKey key, RecordRef dir) { return array_.append({key, dir}); }
  // In key order; a present key has its record replaced and nothing moves.
  bool insert(EntryKey key, RecordRef dir) { return array_.insertSorted({key, dir}, KeyOrder{}); }
  // The pair of the key, or null. A found pair may hold kNoRecord (a retired directory).
  const DirMapPair* find(EntryKey key) const;
  DirMapPair* find(EntryKey key);
  // The record the pair held, which the pair now gives up (kNoRecord); kNoRecord when the key
  // is not present.
  RecordRef erase(EntryKey key);

  uint32_t blockCount() const { return array_.blockCount(); }
  const Block& block(uint32_t i) const { return array_.block(i); }
  Block& block(uint32_t i) { return array_.block(i); }
  // f(pair) on every pair in key order (see BlockArray::forEach).
  template <class F>
  bool forEach(F&& f) {
    return array_.forEach(f);
  }
  template <class F>
  bool forEach(F&& f) const {
    return array_.forEach(f);
  }

 private:
  struct KeyOrder {
    static constexpr bool kReplacesEqual = true;
    static int compare(const DirMapPair& x, const DirMapPair& y) { return compare(x.key, y); }
    static int compare(EntryKey x, const DirMapPair& y) {
      return x < y.key ? -1 : x > y.key ? 1 : 0;
    }
  };

  Array array_;
};

}  // namespace vessiko
