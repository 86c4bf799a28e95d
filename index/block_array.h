// BlockArray: an ordered sequence of elements kept in fixed-capacity blocks, with a growable
// directory of blocks. The two entry lists and the directory map are block arrays.
//
// A block is an 8-byte header (first, end) and kCap slots; its occupied slots are
// [first, end). Elements are ordered block by block in directory order, slot by slot within a
// block. There is always at least one block, and only the sole block of an empty array is
// ever empty. Inserting or removing moves at most one block's worth of elements, towards the
// side of the block with more free slots, and prefers moving one element into a neighbour block
// over splitting, so blocks stay densely filled.
//
// Not thread-safe; the owners lock.
#pragma once

#include <cstdint>
#include <cstring>
#include <type_traits>

#include "index/private_heap.h"

namespace vessiko {

// kInnerSplit: a full inner block with full neighbours is split forward (a new block after
// it) when the insertion position is below this, backward otherwise.
template <typename E, uint32_t kCap, uint32_t kInitialDirectory, uint32_t kInnerSplit>
class BlockArray {
  static_assert(std::is_trivially_copyable_v<E>);

 public:
  struct Block {
    uint32_t first;
    uint32_t end;
    E slots[kCap];

    uint32_t size() const { return end - first; }
    bool empty() const { return first == end; }
    bool full() const { return end - first == kCap; }
    bool roomAtBack() const { return end < kCap; }
    bool roomAtFront() const { return first > 0; }
  };
  static constexpr uint32_t kBlockBytes = sizeof(Block);
  static constexpr uint32_t kCapacity = kCap;
  static constexpr uint32_t kDirectoryGrowth = 32;

  explicit BlockArray(PrivateHeap& heap) : heap_(heap) {
    dir_ = heap_.allocateArray<Block*>(kInitialDirectory);
    if (dir_ == nullptr) return;
    capacity_ = kInitialDirectory;
    addBlock(0);
  }
  ~BlockArray() {
    for (uint32_t i = 0; i < count_; ++i)
      heap_.free(dir_[i]);
    heap_.free(dir_);
  }
  BlockArray(const BlockArray&) = delete;
  BlockArray& operator=(const BlockArray&) = delete;

  uint32_t blockCount() const { return count_; }
  const Block& block(uint32_t i) const { return *dir_[i]; }
  Block& block(uint32_t i) { return *dir_[i]; }
  bool empty() const { return count_ == 0 || (count_ == 1 && dir_[0]->empty()); }

  // Calls f on every element in order, a const one through a const array. When f returns bool,
  // false stops the walk; the result says whether it reached the end. f must not insert or
  // remove elements.
  template <class F>
  bool forEach(F&& f) {
    return forEachIn(*this, f);
  }
  template <class F>
  bool forEach(F&& f) const {
    return forEachIn(*this, f);
  }

  // Adds e after the last element without looking at the order.
  bool append(const E& e) {
    if (count_ == 0) return false;
    if (!tail().roomAtBack() && addBlock(count_) == nullptr) return false;
    pushBack(tail(), e);
    return true;
  }

  // Inserts x at its place by order.compare(x, y) (negative, 0, positive). An element equal
  // to existing ones goes right before the equal one the binary search meets; when
  // Order::kReplacesEqual, the equal element is overwritten instead. False only when memory
  // ran out (nothing changed then).
  template <class Order>
  bool insertSorted(const E& x, const Order& order) {
    if (count_ == 0) return false;
    Place place;
    place.block = targetBlock(x, order);
    if (place.block >= 0) {
      bool equal = false;
      place.slot = searchBlock(*dir_[place.block], x, order, &equal, nullptr);
      if constexpr (Order::kReplacesEqual) {
        if (equal) {
          dir_[place.block]->slots[place.slot] = x;
          return true;
        }
      }
    }
    return insertAt(place, x);
  }

  // Where an element goes: before slot `slot` of block `block`, or after everything when block
  // is -1.
  struct Place {
    int64_t block = -1;
    uint32_t slot = 0;
  };

  // Inserts x at a place findMatching gave, the array unchanged since. False only when memory
  // ran out (nothing changed then).
  bool insertAt(const Place& place, const E& x) {
    if (count_ == 0) return false;
    if (place.block < 0) return insertAfterAll(x);
    const auto ti = static_cast<uint32_t>(place.block);
    const uint32_t pos = place.slot;
    Block& t = *dir_[ti];
    if (!t.full()) {
      insertAt(t, pos, x);
      return true;
    }
    if (ti == count_ - 1) {
      if (ti > 0 && !dir_[ti - 1]->full()) {
        moveFrontToPrevious(*dir_[ti - 1], t, pos, x);
        return true;
      }
      Block* n = addBlock(count_);
      if (n == nullptr) return false;
      splitUpper(t, *n, pos);
      pushBack(t, x);
      return true;
    }
    if (ti == 0) {
      if (!dir_[1]->full()) {
        moveBackToNext(t, *dir_[1], pos, x);
        return true;
      }
      Block* n = addBlock(1);
      if (n == nullptr) return false;
      splitUpper(t, *n, pos);
      pushBack(t, x);
      return true;
    }
    if (!dir_[ti - 1]->full()) {
      moveFrontToPrevious(*dir_[ti - 1], t, pos, x);
      return true;
    }
    if (!dir_[ti + 1]->full()) {
      moveBackToNext(t, *dir_[ti + 1], pos, x);
      return true;
    }
    if (pos < kInnerSplit) {
      Block* n = addBlock(ti + 1);
      if (n == nullptr) return false;
      splitUpper(t, *n, pos);
      pushBack(t, x);
    } else {
      Block* n = addBlock(ti);  // t moves to ti + 1
      if (n == nullptr) return false;
      splitLower(t, *n, pos);
      pushFront(t, x);
    }
    return true;
  }

  // Removes the element that collates equal to probe and has the same first word
  // (order.firstWord; the probe may be of another type than the elements). False when there is
  // none.
  template <class Probe, class Order>
  bool removeMatching(const Probe& probe, const Order& order) {
    const uint32_t word = order.firstWord(probe);
    return removeMatchingIf(probe, order, [&](const E& e) { return order.firstWord(e) == word; });
  }

  // Removes the first element that collates equal to probe and satisfies match, looking at the
  // element the search meets and then at its equal neighbours, backwards and then forwards,
  // across blocks.
  template <class Probe, class Order, class Match>
  bool removeMatchingIf(const Probe& probe, const Order& order, Match&& match) {
    uint32_t bi;
    uint32_t slot;
    if (!findMatching(probe, order, match, &bi, &slot)) return false;
    removeAt(bi, slot);
    return true;
  }

  // Finds, as removeMatchingIf does, the element that collates equal to probe and satisfies
  // match; its block and slot go to *bi and *slot.
  // When there is none and `place` is given, it gets where an element that compares as the
  // probe goes.
  template <class Probe, class Order, class Match>
  bool findMatching(const Probe& probe, const Order& order, Match&& match, uint32_t* bi,
                    uint32_t* slot, Place* place = nullptr) const {
    if (empty()) {
      if (place != nullptr) *place = Place{};
      return false;
    }
    const int64_t target = targetBlock(probe, order);
    const uint32_t ti = target < 0 ? count_ - 1 : static_cast<uint32_t>(target);
    uint32_t m = 0;
    bool equal = false;
    const uint32_t at = searchBlock(*dir_[ti], probe, order, &equal, &m);
    if (place != nullptr) *place = target < 0 ? Place{} : Place{target, at};
    // Only an element that collates equal is the probe's: a neighbour that happens to share the
    // first word (another hard link of the same file) is not.
    if (equal && match(dir_[ti]->slots[m])) {
      *bi = ti;
      *slot = m;
      return true;
    }
    // Backwards through the equal elements before m.
    uint32_t b = ti;
    int64_t i = static_cast<int64_t>(m) - 1;
    for (;;) {
      if (i < static_cast<int64_t>(dir_[b]->first)) {
        if (b == 0) break;
        --b;
        i = static_cast<int64_t>(dir_[b]->end) - 1;
        continue;
      }
      const E& e = dir_[b]->slots[i];
      if (order.compare(probe, e) != 0) break;
      if (match(e)) {
        *bi = b;
        *slot = static_cast<uint32_t>(i);
        return true;
      }
      --i;
    }
    // Then forwards through those after it.
    b = ti;
    uint32_t j = m + 1;
    for (;;) {
      if (j >= dir_[b]->end) {
        if (b + 1 >= count_) break;
        ++b;
        j = dir_[b]->first;
        continue;
      }
      const E& e = dir_[b]->slots[j];
      if (order.compare(probe, e) != 0) break;
      if (match(e)) {
        *bi = b;
        *slot = j;
        return true;
      }
      ++j;
    }
    return false;
  }

  // Keeps, in order, the elements for which keep(e) is true: within each block the kept ones
  // move down over the removed ones; a block left empty is released unless it is the only one.
  // Returns the number removed.
  template <class Keep>
  uint64_t retainIf(Keep&& keep) {
    uint64_t removed = 0;
    uint32_t bi = 0;
    while (bi < count_) {
      Block& b = *dir_[bi];
      uint32_t w = b.first;
      for (uint32_t i = b.first; i < b.end; ++i) {
        if (keep(b.slots[i])) b.slots[w++] = b.slots[i];
      }
      removed += b.end - w;
      b.end = w;
      if (b.empty() && count_ > 1) {
        releaseBlock(bi);
      } else {
        ++bi;
      }
    }
    return removed;
  }

  // Index of the first block whose last element is not below x, -1 when x sorts after
  // everything. The blocks' last elements are in order, so a binary search over the
  // directory finds the same block as a scan of the block ends.
  template <class X, class Order>
  int64_t targetBlock(const X& x, const Order& order) const {
    if (empty()) return -1;
    int64_t lo = 0;
    int64_t hi = static_cast<int64_t>(count_) - 1;
    int64_t found = -1;
    while (lo <= hi) {
      const int64_t mid = lo + (hi - lo) / 2;
      const Block& b = *dir_[mid];
      if (order.compare(x, b.slots[b.end - 1]) <= 0) {
        found = mid;
        hi = mid - 1;
      } else {
        lo = mid + 1;
      }
    }
    return found;
  }

  // Binary search over the block's occupied slots. Returns the equal slot when one is met
  // (*equal set), else the insertion position; *lastProbe gets the last slot probed.
  template <class X, class Order>
  static uint32_t searchBlock(const Block& b, const X& x, const Order& order, bool* equal,
                              uint32_t* lastProbe) {
    int64_t lo = b.first;
    int64_t hi = static_cast<int64_t>(b.end) - 1;
    *equal = false;
    while (lo <= hi) {
      const int64_t mid = lo + (hi - lo) / 2;
      if (lastProbe != nullptr) *lastProbe = static_cast<uint32_t>(mid);
      const int c = order.compare(x, b.slots[mid]);
      if (c < 0) {
        hi = mid - 1;
      } else if (c > 0) {
        lo = mid + 1;
      } else {
        *equal = true;
        return static_cast<uint32_t>(mid);
      }
    }
    return static_cast<uint32_t>(lo);
  }

  // Removes the element at a place findMatching gave.
  void removeAt(uint32_t bi, uint32_t pos) {
    Block& b = *dir_[bi];
    if (kCap - b.end > b.first) {
      move(b, b.first + 1, b.first, pos - b.first);
      ++b.first;
    } else {
      move(b, pos, pos + 1, b.end - pos - 1);
      --b.end;
    }
    if (b.empty() && count_ > 1) releaseBlock(bi);
  }

 private:
  // One body for both constnesses: self.block() gives the blocks as const as the array.
  template <class Self, class F>
  static bool forEachIn(Self& self, F& f) {
    for (uint32_t b = 0, count = self.count_; b < count; ++b) {
      auto& block = self.block(b);
      for (uint32_t s = block.first, end = block.end; s < end; ++s) {
        if constexpr (std::is_void_v<std::invoke_result_t<F&, decltype(block.slots[s])>>) {
          f(block.slots[s]);
        } else {
          if (!f(block.slots[s])) return false;
        }
      }
    }
    return true;
  }

  Block& tail() { return *dir_[count_ - 1]; }

  static void pushBack(Block& b, const E& x) { b.slots[b.end++] = x; }
  static void pushFront(Block& b, const E& x) { b.slots[--b.first] = x; }
  static E popFront(Block& b) { return b.slots[b.first++]; }
  static E popBack(Block& b) { return b.slots[--b.end]; }
  static void move(Block& b, uint32_t to, uint32_t from, uint32_t n) {
    std::memmove(&b.slots[to], &b.slots[from], n * sizeof(E));
  }
  static void shiftLeft(Block& b) {
    move(b, b.first - 1, b.first, b.size());
    --b.first;
    --b.end;
  }
  static void shiftRight(Block& b) {
    move(b, b.first + 1, b.first, b.size());
    ++b.first;
    ++b.end;
  }
  // Into a block that is not full, towards the side with more free slots.
  static void insertAt(Block& b, uint32_t pos, const E& x) {
    if (kCap - b.end > b.first) {
      move(b, pos + 1, pos, b.end - pos);
      b.slots[pos] = x;
      ++b.end;
    } else {
      move(b, b.first - 1, b.first, pos - b.first);
      b.slots[pos - 1] = x;
      --b.first;
    }
  }
  // New block n takes b's slots [pos, end), starting at pos / 2.
  static void splitUpper(Block& b, Block& n, uint32_t pos) {
    n.first = n.end = pos / 2;
    for (uint32_t i = pos; i < b.end; ++i)
      pushBack(n, b.slots[i]);
    b.end = pos;
  }
  // New block n takes the upper half of a full tail, starting at a quarter.
  static void splitUpperHalf(Block& b, Block& n) {
    n.first = n.end = kCap / 4;
    for (uint32_t i = kCap / 2; i < b.end; ++i)
      pushBack(n, b.slots[i]);
    b.end = kCap / 2;
  }
  // New block n, placed before b, takes b's slots [0, pos).
  static void splitLower(Block& b, Block& n, uint32_t pos) {
    n.first = n.end = (kCap - pos) / 2;
    for (uint32_t i = 0; i < pos; ++i)
      pushBack(n, b.slots[i]);
    b.first = pos;
  }
  // t is full; its previous block p is not.
  static void moveFrontToPrevious(Block& p, Block& t, uint32_t pos, const E& x) {
    if (!p.roomAtBack()) shiftLeft(p);
    if (pos == t.first) {
      pushBack(p, x);
    } else {
      pushBack(p, popFront(t));
      insertAt(t, pos, x);
    }
  }
  // t is full; its next block n is not.
  static void moveBackToNext(Block& t, Block& n, uint32_t pos, const E& x) {
    if (!n.roomAtFront()) shiftRight(n);
    pushFront(n, popBack(t));
    insertAt(t, pos, x);
  }

  bool insertAfterAll(const E& x) {
    Block& t = tail();
    if (t.roomAtBack()) {
      pushBack(t, x);
    } else if (t.roomAtFront()) {
      shiftLeft(t);
      pushBack(t, x);
    } else if (count_ >= 2 && !dir_[count_ - 2]->full()) {
      Block& p = *dir_[count_ - 2];
      if (!p.roomAtBack()) shiftLeft(p);
      pushBack(p, popFront(t));
      shiftLeft(t);
      pushBack(t, x);
    } else {
      Block* n = addBlock(count_);
      if (n == nullptr) return false;
      splitUpperHalf(t, *n);
      pushBack(*n, x);
    }
    return true;
  }

  void releaseBlock(uint32_t bi) {
    heap_.free(dir_[bi]);
    std::memmove(&dir_[bi], &dir_[bi + 1], (count_ - bi - 1) * sizeof(Block*));
    --count_;
  }

  // A new empty block at directory index `at`, later blocks moving up. The directory grows
  // by 32 entries once it is full, so there is always room for the next block.
  Block* addBlock(uint32_t at) {
    if (dir_ == nullptr || (count_ == capacity_ && !growDirectory())) return nullptr;
    auto* b = static_cast<Block*>(heap_.allocate(kBlockBytes, false));
    if (b == nullptr) return nullptr;
    b->first = b->end = 0;
    std::memmove(&dir_[at + 1], &dir_[at], (count_ - at) * sizeof(Block*));
    dir_[at] = b;
    ++count_;
    if (count_ == capacity_) growDirectory();
    return b;
  }

  bool growDirectory() {
    auto* grown =
        static_cast<Block**>(heap_.resize(dir_, (capacity_ + kDirectoryGrowth) * sizeof(Block*)));
    if (grown == nullptr) {
      heap_.reportFailure();
      return false;
    }
    dir_ = grown;
    capacity_ += kDirectoryGrowth;
    return true;
  }

  PrivateHeap& heap_;
  Block** dir_ = nullptr;
  uint32_t capacity_ = 0;
  uint32_t count_ = 0;
};

}  // namespace vessiko
