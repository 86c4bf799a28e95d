#include "index/extension_table.h"

#include <algorithm>
#include <cstring>
#include <mutex>
#include <new>

namespace vessiko {

namespace {

const char16_t kCur[] = u"cur";
const char16_t kExe[] = u"exe";
const char16_t kIco[] = u"ico";
const char16_t kLnk[] = u"lnk";

// Lowers 'A'-'Z' in place; returns the number of units before the first NUL, which ends the
// text as it ends a stored one.
uint32_t LowerAscii(char16_t* units, uint32_t n) {
  uint32_t end = n;
  for (uint32_t i = 0; i < n; ++i) {
    if (units[i] >= u'A' && units[i] <= u'Z') {
      units[i] = static_cast<char16_t>(units[i] + 32);
    } else if (units[i] == 0 && end == n) {
      end = i;
    }
  }
  return end;
}

// FNV-1a over the units, then mixed so that the low bits the table uses depend on all of them.
uint32_t HashUnits(const char16_t* units, uint32_t n) {
  uint32_t h = 2166136261u;
  for (uint32_t i = 0; i < n; ++i)
    h = (h ^ units[i]) * 16777619u;
  h ^= h >> 16;
  h *= 0x85EBCA6Bu;
  return h ^ (h >> 13);
}

// Whether a stored text is the n units s, none of them NUL.
bool SameText(const char16_t* text, const char16_t* s, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i) {
    if (text[i] != s[i]) return false;
  }
  return text[n] == 0;
}

// -1, 0 or 1 by two NUL-terminated texts as unsigned 16-bit units; a prefix comes first.
int CompareUnits(const char16_t* x, const char16_t* y) {
  while (*x != 0 && *x == *y) {
    ++x;
    ++y;
  }
  return *x < *y ? -1 : *x > *y ? 1 : 0;
}

}  // namespace

ExtensionTable::ExtensionTable(PrivateHeap& heap) : heap_(heap) {
  void* pages = heap_.allocate(kMaxPages * sizeof(std::atomic<Slot*>), true);
  if (pages != nullptr) {
    pages_ = static_cast<std::atomic<Slot*>*>(pages);
    for (uint32_t i = 0; i < kMaxPages; ++i)
      new (&pages_[i]) std::atomic<Slot*>(nullptr);
  }
  reserve(kInitialCapacity);
}

ExtensionTable::~ExtensionTable() {
  const uint32_t n = count_.load(std::memory_order_relaxed);
  for (uint32_t i = seeded_ ? static_cast<uint32_t>(kBuiltinExtensionCount) : 0; i < n; ++i) {
    heap_.free(const_cast<char16_t*>(slot(i)->text.load(std::memory_order_relaxed)));
  }
  if (pages_ != nullptr) {
    for (uint32_t i = 0; i < kMaxPages; ++i)
      heap_.free(pages_[i].load(std::memory_order_relaxed));
  }
  heap_.free(pages_);
  heap_.free(sorted_);
  heap_.free(hash_);
}

ExtensionTable::Slot* ExtensionTable::slot(uint32_t index) const {
  return pages_[index / kPageEntries].load(std::memory_order_acquire) + index % kPageEntries;
}

ExtensionTable::Slot* ExtensionTable::slotForWrite(uint32_t index) {
  if (pages_ == nullptr || index / kPageEntries >= kMaxPages) return nullptr;
  std::atomic<Slot*>& page = pages_[index / kPageEntries];
  Slot* slots = page.load(std::memory_order_relaxed);
  if (slots == nullptr) {
    void* memory = heap_.allocate(kPageEntries * sizeof(Slot), true);
    if (memory == nullptr) return nullptr;
    slots = static_cast<Slot*>(memory);
    for (uint32_t i = 0; i < kPageEntries; ++i)
      new (&slots[i]) Slot{{nullptr}, {kIconUnknown}};
    page.store(slots, std::memory_order_release);
  }
  return slots + index % kPageEntries;
}

int32_t ExtensionTable::find(const char16_t* s, uint32_t n, uint32_t hash) const {
  if (hash_ == nullptr) return -1;
  const uint32_t mask = hashSize_ - 1;
  // At most half the entries are taken, so an empty one ends every probe.
  for (uint32_t i = hash & mask;; i = (i + 1) & mask) {
    const HashEntry& entry = hash_[i];
    if (entry.index < 0) return -1;
    if (entry.hash == hash &&
        SameText(slot(static_cast<uint32_t>(entry.index))->text.load(std::memory_order_relaxed), s,
                 n)) {
      return entry.index;
    }
  }
}

void ExtensionTable::insertHash(uint32_t hash, int32_t index) {
  const uint32_t mask = hashSize_ - 1;
  uint32_t i = hash & mask;
  while (hash_[i].index >= 0)
    i = (i + 1) & mask;
  hash_[i] = {hash, index};
}

bool ExtensionTable::reserve(uint32_t total) {
  if (total > sortedCapacity_) {
    uint32_t grown = std::max(2 * sortedCapacity_, kInitialCapacity);
    while (grown < total)
      grown *= 2;
    auto* pairs = heap_.allocateArray<SortedPair>(grown);
    if (pairs == nullptr) return false;
    std::copy_n(sorted_, count_.load(std::memory_order_relaxed), pairs);
    heap_.free(sorted_);
    sorted_ = pairs;
    sortedCapacity_ = grown;
  }
  if (2 * total > hashSize_) {
    uint32_t grown = std::max(2 * hashSize_, 2 * kInitialCapacity);
    while (grown < 2 * total)
      grown *= 2;
    auto* entries = heap_.allocateArray<HashEntry>(grown);
    if (entries == nullptr) return false;
    std::fill_n(entries, grown, HashEntry{0, -1});
    HashEntry* old = hash_;
    const uint32_t oldSize = hashSize_;
    hash_ = entries;
    hashSize_ = grown;
    for (uint32_t i = 0; i < oldSize; ++i) {
      if (old[i].index >= 0) insertHash(old[i].hash, old[i].index);
    }
    heap_.free(old);
  }
  return true;
}

void ExtensionTable::sortAdditions() const {
  const uint32_t total = count_.load(std::memory_order_relaxed);
  if (sortedCount_ == total) return;
  const auto before = [](const SortedPair& a, const SortedPair& b) {
    return CompareUnits(a.text, b.text) < 0;
  };
  SortedPair* const middle = sorted_ + sortedCount_;
  SortedPair* const end = sorted_ + total;
  std::sort(middle, end, before);
  auto* merged = static_cast<SortedPair*>(heap_.allocateRaw(sortedCapacity_ * sizeof(SortedPair)));
  if (merged == nullptr) {
    // Without room to merge into, sorting everything in place gives the same order.
    std::sort(sorted_, end, before);
  } else {
    std::merge(sorted_, middle, middle, end, merged, before);
    heap_.free(sorted_);
    sorted_ = merged;
  }
  sortedCount_ = total;
}

int32_t ExtensionTable::add(const char16_t* units, uint32_t length, uint32_t hash, bool copy) {
  const uint32_t index = count_.load(std::memory_order_relaxed);
  Slot* target = slotForWrite(index);
  if (target == nullptr || !reserve(index + 1)) return -1;
  const char16_t* text = units;
  if (copy) {
    auto* owned = static_cast<char16_t*>(heap_.allocateRaw(2 * length + 2));
    if (owned == nullptr) {
      heap_.reportFailure();
      return -1;
    }
    std::memcpy(owned, units, 2 * length);
    owned[length] = 0;
    text = owned;
  }
  if (index == capacity_) capacity_ += kGrowth;
  sorted_[index] = {text, static_cast<int32_t>(index)};
  insertHash(hash, static_cast<int32_t>(index));
  target->icon.store(kIconUnknown, std::memory_order_relaxed);
  target->text.store(text, std::memory_order_relaxed);
  count_.store(index + 1, std::memory_order_release);
  return static_cast<int32_t>(index);
}

int32_t ExtensionTable::intern(char16_t* units, uint32_t length) {
  const uint32_t n = LowerAscii(units, length);
  const uint32_t hash = HashUnits(units, n);
  std::unique_lock lock(mutex_);
  const int32_t found = find(units, n, hash);
  return found >= 0 ? found : add(units, n, hash, true);
}

int32_t ExtensionTable::lookup(char16_t* units, uint32_t length) const {
  const uint32_t n = LowerAscii(units, length);
  const uint32_t hash = HashUnits(units, n);
  std::shared_lock lock(mutex_);
  return find(units, n, hash);
}

const char16_t* ExtensionTable::extensionText(int32_t index) const {
  if (index < 0 || static_cast<uint32_t>(index) >= count()) return nullptr;
  return slot(static_cast<uint32_t>(index))->text.load(std::memory_order_relaxed);
}

int32_t ExtensionTable::iconOf(int32_t index) const {
  if (index < 0 || static_cast<uint32_t>(index) >= count()) return kIconUnknown;
  return slot(static_cast<uint32_t>(index))->icon.load(std::memory_order_relaxed);
}

void ExtensionTable::setIconOf(int32_t index, int32_t icon) {
  if (index < 0 || static_cast<uint32_t>(index) >= count()) return;
  slot(static_cast<uint32_t>(index))->icon.store(icon, std::memory_order_relaxed);
}

int ExtensionTable::compareTexts(int32_t a, int32_t b) const {
  const uint32_t n = count();
  if (a < 0 || b < 0 || static_cast<uint32_t>(a) >= n || static_cast<uint32_t>(b) >= n) return -1;
  return CompareUnits(slot(static_cast<uint32_t>(a))->text.load(std::memory_order_relaxed),
                      slot(static_cast<uint32_t>(b))->text.load(std::memory_order_relaxed));
}

void ExtensionTable::seedBuiltins() {
  std::unique_lock lock(mutex_);
  if (count_.load(std::memory_order_relaxed) != 0) return;
  const char16_t* texts[] = {kCur, kExe, kIco, kLnk};
  for (uint32_t i = 0; i < 4; ++i) {
    if (add(texts[i], 3, HashUnits(texts[i], 3), false) < 0) return;
    slot(i)->icon.store(kIconBuiltin, std::memory_order_relaxed);
  }
  seeded_ = true;
}

int32_t ExtensionTable::sortedIndexAt(uint32_t position) const {
  std::unique_lock lock(mutex_);
  sortAdditions();
  return position < count_.load(std::memory_order_relaxed) ? sorted_[position].index : -1;
}

bool ExtensionTable::beginRestore(uint32_t total) {
  std::unique_lock lock(mutex_);
  if (count_.load(std::memory_order_relaxed) != 0 || seeded_) return false;
  if (total > kMaxPages * kPageEntries || !reserve(total)) return false;
  if (total >= capacity_) capacity_ = total + kGrowth;
  for (uint32_t i = 0; i < total; ++i) {
    if (slotForWrite(i) == nullptr) return false;
    sorted_[i] = {nullptr, -1};
  }
  sortedCount_ = total;
  count_.store(total, std::memory_order_release);
  return true;
}

bool ExtensionTable::restore(uint32_t position, int32_t index, const char16_t* text,
                             uint32_t length) {
  std::unique_lock lock(mutex_);
  const uint32_t total = count_.load(std::memory_order_relaxed);
  if (position >= total || index < 0 || static_cast<uint32_t>(index) >= total) return false;
  Slot* target = slot(static_cast<uint32_t>(index));
  if (target->text.load(std::memory_order_relaxed) != nullptr) return false;
  for (uint32_t i = 0; i < length; ++i) {
    if (text[i] == 0 || (text[i] >= u'A' && text[i] <= u'Z')) return false;
  }
  auto* owned = static_cast<char16_t*>(heap_.allocate(2 * length + 2, false));
  if (owned == nullptr) return false;
  std::memcpy(owned, text, 2 * length);
  owned[length] = 0;
  target->text.store(owned, std::memory_order_relaxed);
  sorted_[position] = {owned, index};
  // Strictly ascending texts are what the sorted order must be, and rule out a text twice.
  if (position > 0) {
    const char16_t* previous = sorted_[position - 1].text;
    if (previous == nullptr || CompareUnits(previous, owned) >= 0) return false;
  }
  insertHash(HashUnits(owned, length), index);
  return true;
}

}  // namespace vessiko
