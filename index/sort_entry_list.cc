#include "index/sort_entry_list.h"

#include <algorithm>
#include <atomic>
#include <bit>
#include <cstring>

#include "index/collation_key.h"
#include "index/heap_array.h"

namespace vessiko {

namespace {

constexpr uint32_t kBucketBits = 16;
constexpr uint32_t kBuckets = 1u << kBucketBits;
// How many items ahead a walk over scattered records asks for the next record.
constexpr size_t kPrefetchDistance = 16;

// A list entry and a key of its name. 12 bytes, not 16: the items are the sort's memory.
struct Item {
  uint32_t keyHigh;
  uint32_t keyLow;
  RecordRef ref;

  uint64_t key() const { return uint64_t{keyHigh} << 32 | keyLow; }
  void setKey(uint64_t key) {
    keyHigh = static_cast<uint32_t>(key >> 32);
    keyLow = static_cast<uint32_t>(key);
  }
};
static_assert(sizeof(Item) == 12);

// Below this many items an insertion sort beats another radix pass.
constexpr size_t kInsertionRun = 32;

// Sorts items by key: an in-place radix sort on one byte at a time, from the highest byte in
// which the keys differ.
void SortByKey(Item* items, size_t n) {
  if (n <= kInsertionRun) {
    for (size_t k = 1; k < n; ++k) {
      const Item x = items[k];
      size_t i = k;
      for (; i > 0 && items[i - 1].key() > x.key(); --i)
        items[i] = items[i - 1];
      items[i] = x;
    }
    return;
  }
  const uint64_t first = items[0].key();
  uint64_t differ = 0;
  for (size_t k = 1; k < n; ++k)
    differ |= items[k].key() ^ first;
  if (differ == 0) return;
  const int shift = (63 - std::countl_zero(differ)) & ~7;
  uint32_t ends[256] = {};
  for (size_t k = 0; k < n; ++k)
    ++ends[items[k].key() >> shift & 0xFF];
  uint32_t heads[256];
  uint32_t at = 0;
  for (uint32_t digit = 0; digit < 256; ++digit) {
    heads[digit] = at;
    at += ends[digit];
    ends[digit] = at;
  }
  for (uint32_t digit = 0; digit < 256; ++digit) {
    while (heads[digit] < ends[digit]) {
      Item x = items[heads[digit]];
      uint32_t to = x.key() >> shift & 0xFF;
      while (to != digit) {
        std::swap(x, items[heads[to]++]);
        to = x.key() >> shift & 0xFF;
      }
      items[heads[digit]++] = x;
    }
  }
  if (shift == 0) return;
  uint32_t from = 0;
  for (uint32_t digit = 0; digit < 256; ++digit) {
    if (ends[digit] - from > 1) SortByKey(items + from, ends[digit] - from);
    from = ends[digit];
  }
}

class DirRecords {
 public:
  explicit DirRecords(const Index& index) : arena_(index.dirArena) {}

  const uint8_t* at(RecordRef ref) const { return arena_.at(ref); }
  uint32_t name(RecordRef ref, const uint8_t** name) const {
    return DirEntry(arena_.at(ref)).nameBytes(name);
  }
  // What orders directories of one name.
  uint64_t tail(RecordRef ref) const { return DirEntry(arena_.at(ref)).key(); }

 private:
  const RecordArena& arena_;
};

class FileRecords {
 public:
  // ranks[i]: the place of extension i among the texts of all count extensions.
  FileRecords(const Index& index, const uint32_t* ranks, uint32_t count)
      : arena_(index.fileArena), ranks_(ranks), count_(count) {}

  const uint8_t* at(RecordRef ref) const { return arena_.at(ref); }
  uint32_t name(RecordRef ref, const uint8_t** name) const {
    return FileEntry(arena_.at(ref)).nameBytes(name);
  }
  // What orders files of one base name: the extension's text, none after all, then the record
  // number. An index the table does not hold (damaged data) goes after the texts.
  uint64_t tail(RecordRef ref) const {
    const FileEntry file(arena_.at(ref));
    const uint8_t* name;
    const uint32_t length = file.nameBytes(&name);
    const int32_t extension = file.extensionIndex(name + length);
    const uint32_t rank = extension < 0                               ? 0xFFFFFFFF
                          : static_cast<uint32_t>(extension) < count_ ? ranks_[extension]
                                                                      : extension;
    return uint64_t{rank} << 32 | file.recordNumber();
  }

 private:
  const RecordArena& arena_;
  const uint32_t* ranks_;
  uint32_t count_;
};

// Sorts runs of items completely. `offset` is where in the packed names the items' keys start.
template <class Records>
class RunSorter {
 public:
  RunSorter(const Records& records, const CollationKeys& keys) : records_(records), keys_(keys) {}

  uint64_t keyAt(RecordRef ref, uint32_t offset) const {
    const uint8_t* name;
    const uint32_t length = records_.name(ref, &name);
    return keys_.keyAt(name, length, offset);
  }

  void sort(Item* items, size_t n, uint32_t offset) const {
    SortByKey(items, n);
    for (size_t i = 0; i < n;) {
      const uint64_t key = items[i].key();
      size_t end = i + 1;
      while (end < n && items[end].key() == key)
        ++end;
      const size_t count = end - i;
      if (count > 1 && CollationKeys::ends(key)) {
        setKeys(items + i, count, [&](RecordRef ref) { return records_.tail(ref); });
        SortByKey(items + i, count);
      } else if (count > 1) {
        const uint32_t next = offset + CollationKeys::covered(key);
        setKeys(items + i, count, [&](RecordRef ref) { return keyAt(ref, next); });
        sort(items + i, count, next);
      }
      i = end;
    }
  }

 private:
  template <class KeyOf>
  void setKeys(Item* items, size_t n, const KeyOf& keyOf) const {
    for (size_t k = 0; k < n; ++k) {
      if (k + kPrefetchDistance < n)
        __builtin_prefetch(records_.at(items[k + kPrefetchDistance].ref));
      items[k].setKey(keyOf(items[k].ref));
    }
  }

  const Records& records_;
  const CollationKeys& keys_;
};

template <class Records>
bool SortList(EntryList& list, PrivateHeap& heap, const Records& records, const CollationKeys& keys,
              WorkerPool& workers) {
  const uint32_t n = list.itemCount();
  if (n < 2) return true;
  const unsigned lanes = workers.lanes();
  HeapArray<Item> items(heap, n);
  // Per lane the bucket sizes of its part of the list, then its next places in the buckets.
  HeapArray<uint32_t> counts(heap, size_t{kBuckets} * lanes);
  HeapArray<uint32_t> starts(heap, kBuckets + 1);
  if (!items.ok() || !counts.ok() || !starts.ok()) {
    heap.reportFailure();
    return false;
  }
  const RunSorter<Records> sorter(records, keys);

  // Each lane takes a contiguous share of the list's blocks: the records of a fresh list lie in
  // list order, so the lanes read their records front to back.
  const uint32_t blocks = list.blockCount();
  const auto forEachOfLane = [&](unsigned lane, auto&& f) {
    const uint32_t end = static_cast<uint32_t>(uint64_t{blocks} * (lane + 1) / lanes);
    for (uint32_t b = static_cast<uint32_t>(uint64_t{blocks} * lane / lanes); b < end; ++b) {
      const EntryList::Block& block = list.block(b);
      for (uint32_t s = block.first; s < block.end; ++s)
        f(block.slots[s]);
    }
  };
  workers.run([&](unsigned lane) {
    uint32_t* count = &counts[size_t{lane} * kBuckets];
    std::fill(count, count + kBuckets, 0);
    forEachOfLane(lane,
                  [&](RecordRef ref) { ++count[sorter.keyAt(ref, 0) >> (64 - kBucketBits)]; });
  });
  uint32_t at = 0;
  for (uint32_t bucket = 0; bucket < kBuckets; ++bucket) {
    starts[bucket] = at;
    for (unsigned lane = 0; lane < lanes; ++lane) {
      uint32_t& count = counts[size_t{lane} * kBuckets + bucket];
      const uint32_t size = count;
      count = at;
      at += size;
    }
  }
  starts[kBuckets] = at;
  workers.run([&](unsigned lane) {
    uint32_t* next = &counts[size_t{lane} * kBuckets];
    forEachOfLane(lane, [&](RecordRef ref) {
      const uint64_t key = sorter.keyAt(ref, 0);
      Item& item = items[next[key >> (64 - kBucketBits)]++];
      item.setKey(key);
      item.ref = ref;
    });
  });

  // The buckets, largest first, so that no lane is left with a big one at the end.
  uint32_t* order = &counts[0];
  uint32_t filled = 0;
  for (uint32_t bucket = 0; bucket < kBuckets; ++bucket) {
    if (starts[bucket + 1] > starts[bucket]) order[filled++] = bucket;
  }
  const auto sizeOf = [&](uint32_t bucket) { return starts[bucket + 1] - starts[bucket]; };
  std::sort(order, order + filled, [&](uint32_t x, uint32_t y) { return sizeOf(x) > sizeOf(y); });
  std::atomic<uint32_t> taken{0};
  workers.run([&](unsigned) {
    for (;;) {
      const uint32_t k = taken.fetch_add(1, std::memory_order_relaxed);
      if (k >= filled) return;
      sorter.sort(&items[starts[order[k]]], sizeOf(order[k]), 0);
    }
  });

  // The references, in order, packed into the front of the items: the i-th lands at or before
  // the i-th item, never on one not read yet.
  auto* bytes = reinterpret_cast<uint8_t*>(items.begin());
  for (uint32_t i = 0; i < n; ++i)
    std::memcpy(bytes + size_t{i} * sizeof(RecordRef), &items[i].ref, sizeof(RecordRef));
  list.copyFrom(reinterpret_cast<const RecordRef*>(bytes));
  return true;
}

}  // namespace

bool SortDirList(Index& index, WorkerPool& workers) {
  if (index.dirs.itemCount() < 2) return true;
  const CollationKeys keys(index.heap, index.collation);
  if (!keys.ok()) {
    index.heap.reportFailure();
    return false;
  }
  return SortList(index.dirs, index.heap, DirRecords(index), keys, workers);
}

bool SortFileList(Index& index, WorkerPool& workers) {
  if (index.files.itemCount() < 2) return true;
  const CollationKeys keys(index.heap, index.collation);
  const ExtensionTable& extensions = index.extensions;
  const uint32_t count = extensions.count();
  HeapArray<uint32_t> byText(index.heap, count);
  HeapArray<uint32_t> ranks(index.heap, count);
  if (!keys.ok() || !byText.ok() || !ranks.ok()) {
    index.heap.reportFailure();
    return false;
  }
  for (uint32_t i = 0; i < count; ++i)
    byText[i] = i;
  const auto before = [&](uint32_t x, uint32_t y) {
    return extensions.compareTexts(static_cast<int32_t>(x), static_cast<int32_t>(y)) < 0;
  };
  std::sort(byText.begin(), byText.end(), before);
  uint32_t rank = 0;
  for (uint32_t i = 0; i < count; ++i) {
    if (i > 0 && before(byText[i - 1], byText[i])) ++rank;
    ranks[byText[i]] = rank;
  }
  return SortList(index.files, index.heap, FileRecords(index, ranks.begin(), count), keys, workers);
}

}  // namespace vessiko
