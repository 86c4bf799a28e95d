// EntryList: the directory records or the file records of the index, as 4-byte RecordRefs in a
// BlockArray of 4096-slot blocks, in collation order once the index is built.
//
// Thread safety: each list has its own lock. Whoever reads or changes a list holds its lock
// for the whole of it; with both lists held, the directory list is locked first.
#pragma once

#include <cstdint>
#include <mutex>

#include "index/block_array.h"
#include "index/record_ref.h"
#include "platform/mutex.h"

namespace vessiko {

class EntryList {
 public:
  using Array = BlockArray<RecordRef, 4096, 16, 2048>;
  using Block = Array::Block;

  explicit EntryList(PrivateHeap& heap) : array_(heap), version_(FirstVersion()) {}

  // At the end, without looking at the order (building and loading).
  bool append(RecordRef record) {
    if (!array_.append(record)) return false;
    ++itemCount_;
    ++version_;
    return true;
  }
  // At the record's collation position.
  template <class Order>
  bool insertSorted(RecordRef record, const Order& order) {
    if (!array_.insertSorted(record, order)) return false;
    ++itemCount_;
    ++version_;
    return true;
  }
  // Removes the record that collates equal to the probe record's bytes and has the same first
  // word (the key of a directory, the record word of a file).
  template <class Order>
  bool removeMatching(const uint8_t* probe, const Order& order) {
    if (!array_.removeMatching(probe, order)) return false;
    --itemCount_;
    ++version_;
    return true;
  }
  // Removes the record that collates equal to the probe and satisfies match(ref).
  template <class Order, class Match>
  bool removeMatchingIf(const uint8_t* probe, const Order& order, Match&& match) {
    if (!array_.removeMatchingIf(probe, order, match)) return false;
    --itemCount_;
    ++version_;
    return true;
  }
  // Whether a record that collates equal to the probe satisfies match(ref).
  template <class Order, class Match>
  bool containsMatching(const uint8_t* probe, const Order& order, Match&& match) const {
    uint32_t block;
    uint32_t slot;
    return array_.findMatching(probe, order, match, &block, &slot);
  }
  using Place = Array::Place;
  // Finds the record that collates equal to the probe and satisfies match(ref); its place goes
  // to *block and *slot, for removeAt. When there is none, *place (if given) gets where a
  // record that compares as the probe goes, for insertAt.
  template <class Order, class Match>
  bool findMatching(const uint8_t* probe, const Order& order, Match&& match, uint32_t* block,
                    uint32_t* slot, Place* place = nullptr) const {
    return array_.findMatching(probe, order, match, block, slot, place);
  }
  // Inserts a record at a place findMatching gave, the list unchanged since.
  bool insertAt(const Place& place, RecordRef record) {
    if (!array_.insertAt(place, record)) return false;
    ++itemCount_;
    ++version_;
    return true;
  }
  // Removes the record at a place findMatching gave, the list unchanged since.
  bool removeAt(uint32_t block, uint32_t slot) {
    array_.removeAt(block, slot);
    --itemCount_;
    ++version_;
    return true;
  }
  // Keeps the records for which keep(ref) holds, in order (see BlockArray::retainIf).
  template <class Keep>
  void retainIf(Keep&& keep) {
    itemCount_ -= static_cast<uint32_t>(array_.retainIf(keep));
    ++version_;
  }

  uint32_t itemCount() const { return itemCount_; }
  uint32_t blockCount() const { return array_.blockCount(); }
  const Block& block(uint32_t i) const { return array_.block(i); }
  // Moves on with every change of the list, so that what a reader learnt about its blocks can
  // be kept until the list changes. No two lists of the process ever share a version.
  uint64_t version() const { return version_; }
  // f(ref) on every record in list order (see BlockArray::forEach).
  // f may change the references.
  template <class F>
  bool forEach(F&& f) {
    ++version_;
    return array_.forEach(f);
  }
  template <class F>
  bool forEach(F&& f) const {
    return array_.forEach(f);
  }

  // Copies the references out in list order, and back into the same slots.
  void copyTo(RecordRef* out) const;
  void copyFrom(const RecordRef* in);

  Mutex& mutex() { return mutex_; }

 private:
  static uint64_t FirstVersion();

  Array array_;
  uint32_t itemCount_ = 0;
  uint64_t version_ = 0;
  Mutex mutex_;
};

}  // namespace vessiko
