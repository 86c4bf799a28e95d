// ExtensionTable: every distinct file extension, stored once, lower-cased ('A'-'Z' only), with
// a stable index that file records keep in 1, 2 or 4 bytes. Indexes 0-3 are the built-in
// "cur", "exe", "ico" and "lnk". Per index it also caches the system icon shown for the
// extension.
//
// A hash table of indexes finds a text; the order by text, which only saving the table needs,
// is kept as a sorted array followed by the indexes added since, and those are sorted and
// merged in when the order is next asked for.
//
// Thread safety: one thread at a time adds extensions (the build, or change application under
// the index lock), while others read. Texts and icons sit in fixed pages that never move, and
// an index becomes visible (count) only after its text is in place, so extensionText, iconOf,
// setIconOf and compareTexts need no lock. The hash table and the sorted array, which an
// addition changes or replaces, are guarded by a reader-writer lock that lookup takes shared
// and intern and sortedIndexAt exclusive.
#pragma once

#include <atomic>
#include <cstdint>
#include <shared_mutex>

#include "index/builtin_extensions.h"
#include "index/private_heap.h"

namespace vessiko {

class ExtensionTable {
 public:
  static constexpr uint32_t kInitialCapacity = 512;
  static constexpr uint32_t kGrowth = 64;
  static constexpr int32_t kIconBuiltin = -2;  // built-in extensions: icons are per file
  static constexpr int32_t kIconUnknown = -3;  // not fetched yet
  static constexpr uint32_t kPageEntries = 1024;
  static constexpr uint32_t kMaxPages = 16384;  // 16M extensions

  explicit ExtensionTable(PrivateHeap& heap);
  ~ExtensionTable();
  ExtensionTable(const ExtensionTable&) = delete;
  ExtensionTable& operator=(const ExtensionTable&) = delete;

  // Lowers 'A'-'Z' of units in place, then returns the extension's index, adding it when it is
  // new. A NUL unit ends the text. -1 only when memory ran out.
  int32_t intern(char16_t* units, uint32_t length);
  // Lowers like intern but never adds; -1 when absent.
  int32_t lookup(char16_t* units, uint32_t length) const;

  const char16_t* extensionText(int32_t index) const;  // null when out of range
  int32_t iconOf(int32_t index) const;                 // kIconUnknown when out of range
  void setIconOf(int32_t index, int32_t icon);
  // -1, 0 or 1 by the two texts as unsigned 16-bit units; -1 when either index is out of range.
  int compareTexts(int32_t a, int32_t b) const;

  // On an empty table, installs the four built-in extensions at indexes 0-3.
  void seedBuiltins();

  uint32_t count() const { return count_.load(std::memory_order_acquire); }
  // Room reported for extensions: kInitialCapacity, kGrowth more each time count reaches it.
  uint32_t capacity() const { return capacity_; }
  bool seeded() const { return seeded_; }
  // The index at a position of the order by text (for saving the table); -1 past the end.
  int32_t sortedIndexAt(uint32_t position) const;

  // Restoring a saved table into a fresh, empty one: `begin` with the number of entries, then
  // one `restore` per entry in sorted order. False when an entry cannot be taken (index out of
  // range or taken twice, text out of order, no memory); the table is then to be discarded.
  bool beginRestore(uint32_t count);
  bool restore(uint32_t position, int32_t index, const char16_t* text, uint32_t length);

 private:
  struct Slot {
    std::atomic<const char16_t*> text;
    std::atomic<int32_t> icon;
  };
  struct SortedPair {
    const char16_t* text;
    int32_t index;
  };
  struct HashEntry {
    uint32_t hash;
    int32_t index;  // -1 when empty
  };

  // The index of the text of n units with the given hash; -1 when absent.
  int32_t find(const char16_t* s, uint32_t n, uint32_t hash) const;
  void insertHash(uint32_t hash, int32_t index);
  // Makes room in the hash table and the sorted array for `total` extensions.
  bool reserve(uint32_t total);
  // Sorts the indexes added since the last call and merges them into the sorted ones.
  void sortAdditions() const;
  Slot* slot(uint32_t index) const;
  Slot* slotForWrite(uint32_t index);
  int32_t add(const char16_t* units, uint32_t length, uint32_t hash, bool copy);

  PrivateHeap& heap_;
  bool seeded_ = false;
  uint32_t capacity_ = kInitialCapacity;
  std::atomic<uint32_t> count_{0};
  std::atomic<Slot*>* pages_ = nullptr;
  HashEntry* hash_ = nullptr;
  uint32_t hashSize_ = 0;  // a power of two, at least twice count
  // Positions below sortedCount_ are in text order; the rest hold indexes sortedCount_.. in
  // the order they were added.
  mutable SortedPair* sorted_ = nullptr;
  uint32_t sortedCapacity_ = 0;
  mutable uint32_t sortedCount_ = 0;
  mutable std::shared_mutex mutex_;
};

}  // namespace vessiko
