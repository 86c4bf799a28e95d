#include "index/extension_table.h"

#include <cstring>
#include <mutex>
#include <new>

namespace vessiko {

namespace {

const char16_t kCur[] = u"cur";
const char16_t kExe[] = u"exe";
const char16_t kIco[] = u"ico";
const char16_t kLnk[] = u"lnk";

void LowerAscii(char16_t* units, uint32_t n) {
  for (uint32_t i = 0; i < n; ++i) {
    if (units[i] >= u'A' && units[i] <= u'Z') units[i] = static_cast<char16_t>(units[i] + 32);
  }
}

}  // namespace

ExtensionTable::ExtensionTable(PrivateHeap& heap) : heap_(heap) {
  void* pages = heap_.allocate(kMaxPages * sizeof(std::atomic<Slot*>), true);
  if (pages != nullptr) {
    pages_ = static_cast<std::atomic<Slot*>*>(pages);
    for (uint32_t i = 0; i < kMaxPages; ++i)
      new (&pages_[i]) std::atomic<Slot*>(nullptr);
  }
  sorted_ = heap_.allocateArray<SortedPair>(capacity_);
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

bool ExtensionTable::search(const char16_t* s, uint32_t n, uint32_t* position) const {
  const uint32_t total = count_.load(std::memory_order_relaxed);
  int64_t lo = 0;
  int64_t hi = static_cast<int64_t>(total) - 1;
  for (uint32_t j = 0; j < n; ++j) {
    const char16_t c = s[j];
    // Every text in [lo, hi] shares units 0..j-1 with s, so unit j is at most its NUL.
    while (lo <= hi) {
      const int64_t mid = lo + (hi - lo) / 2;
      const char16_t u = sorted_[mid].text[j];
      if (u > c) {
        hi = mid - 1;
      } else if (u < c) {
        lo = mid + 1;
      } else {
        int64_t down = mid - 1;
        while (down >= lo && sorted_[down].text[j] == c)
          --down;
        lo = down + 1;
        int64_t up = mid + 1;
        while (up <= hi && sorted_[up].text[j] == c)
          ++up;
        hi = up - 1;
        break;
      }
    }
    if (lo > hi) {
      *position = static_cast<uint32_t>(lo);
      return false;
    }
  }
  *position = static_cast<uint32_t>(lo);
  return lo <= hi && sorted_[lo].text[n] == 0;
}

int32_t ExtensionTable::add(const char16_t* units, uint32_t length, uint32_t position, bool copy) {
  const uint32_t index = count_.load(std::memory_order_relaxed);
  if (sorted_ == nullptr) return -1;
  Slot* target = slotForWrite(index);
  if (target == nullptr) return -1;
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
  if (index == capacity_) {
    auto* grown = heap_.allocateArray<SortedPair>(capacity_ + kGrowth);
    if (grown == nullptr) {
      if (copy) heap_.free(const_cast<char16_t*>(text));
      return -1;
    }
    std::memcpy(grown, sorted_, position * sizeof(SortedPair));
    std::memcpy(grown + position + 1, sorted_ + position, (index - position) * sizeof(SortedPair));
    heap_.free(sorted_);
    sorted_ = grown;
    capacity_ += kGrowth;
  } else {
    std::memmove(sorted_ + position + 1, sorted_ + position,
                 (index - position) * sizeof(SortedPair));
  }
  sorted_[position] = {text, static_cast<int32_t>(index)};
  target->icon.store(kIconUnknown, std::memory_order_relaxed);
  target->text.store(text, std::memory_order_relaxed);
  count_.store(index + 1, std::memory_order_release);
  return static_cast<int32_t>(index);
}

int32_t ExtensionTable::intern(char16_t* units, uint32_t length) {
  LowerAscii(units, length);
  std::unique_lock lock(sortedMutex_);
  uint32_t position;
  if (search(units, length, &position)) return sorted_[position].index;
  return add(units, length, position, true);
}

int32_t ExtensionTable::lookup(char16_t* units, uint32_t length) const {
  LowerAscii(units, length);
  std::shared_lock lock(sortedMutex_);
  uint32_t position;
  return search(units, length, &position) ? sorted_[position].index : -1;
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
  const char16_t* x = slot(static_cast<uint32_t>(a))->text.load(std::memory_order_relaxed);
  const char16_t* y = slot(static_cast<uint32_t>(b))->text.load(std::memory_order_relaxed);
  while (*x != 0 && *x == *y) {
    ++x;
    ++y;
  }
  return *x < *y ? -1 : *x > *y ? 1 : 0;
}

void ExtensionTable::seedBuiltins() {
  std::unique_lock lock(sortedMutex_);
  if (count_.load(std::memory_order_relaxed) != 0) return;
  const char16_t* texts[] = {kCur, kExe, kIco, kLnk};
  for (uint32_t i = 0; i < 4; ++i) {
    if (add(texts[i], 3, i, false) < 0) return;
    slot(i)->icon.store(kIconBuiltin, std::memory_order_relaxed);
  }
  seeded_ = true;
}

int32_t ExtensionTable::sortedIndexAt(uint32_t position) const {
  std::shared_lock lock(sortedMutex_);
  return position < count() ? sorted_[position].index : -1;
}

bool ExtensionTable::beginRestore(uint32_t total) {
  std::unique_lock lock(sortedMutex_);
  if (count_.load(std::memory_order_relaxed) != 0 || seeded_ || sorted_ == nullptr) return false;
  if (total >= capacity_) {
    auto* grown = heap_.allocateArray<SortedPair>(total + kGrowth);
    if (grown == nullptr) return false;
    heap_.free(sorted_);
    sorted_ = grown;
    capacity_ = total + kGrowth;
  }
  for (uint32_t i = 0; i < total; ++i) {
    if (slotForWrite(i) == nullptr) return false;
    sorted_[i] = {nullptr, -1};
  }
  count_.store(total, std::memory_order_release);
  return true;
}

bool ExtensionTable::restore(uint32_t position, int32_t index, const char16_t* text,
                             uint32_t length) {
  std::unique_lock lock(sortedMutex_);
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
  // The narrowing search needs strictly ascending texts.
  if (position > 0) {
    const char16_t* previous = sorted_[position - 1].text;
    if (previous == nullptr) return false;
    const char16_t* x = previous;
    const char16_t* y = owned;
    while (*x != 0 && *x == *y) {
      ++x;
      ++y;
    }
    if (*x >= *y) return false;
  }
  return true;
}

}  // namespace vessiko
