#include "mirror/mirror_tree.h"

#include <algorithm>
#include <cstring>

namespace vessiko {

namespace {

constexpr size_t kInitialTable = 1024;
// Compaction waits until the dead bytes pass this and outweigh the live ones.
constexpr size_t kCompactFrom = 1 << 20;
constexpr uint32_t kRecordMask = kRecordLimit - 1;
constexpr uint32_t kRootSequence = 5;

// The name table grows by half once it is four fifths full; one made whole is seven tenths
// full: probes stay short, and a slot costs 5 to 7 bytes an entry.
bool Crowded(size_t entries, size_t size) {
  return entries * 5 > size * 4;
}
size_t TableSizeFor(size_t entries) {
  return std::max(kInitialTable, entries * 10 / 7 + 1);
}

// Bits of a name's hash kept beside its record number in the table; the home slot takes the
// top bits, these the bottom ones.
uint32_t TagOf(uint64_t hash) {
  return static_cast<uint32_t>(hash & 31) << 27;
}

// Sorts entries keyed by their home slot (the top 32 bits) in passes of 11 bits of it, the
// lowest first, each keeping the order of the last: a million entries take a few
// milliseconds a pass, where a comparison sort takes many times longer.
void SortByHome(std::vector<uint64_t>& keys, size_t slots) {
  constexpr int kBits = 11;
  std::vector<uint64_t> other(keys.size());
  for (int shift = 32; (slots - 1) >> (shift - 32) != 0; shift += kBits) {
    std::vector<size_t> start((size_t{1} << kBits) + 1, 0);
    for (const uint64_t k : keys)
      ++start[((k >> shift) & ((1u << kBits) - 1)) + 1];
    for (size_t b = 1; b < start.size(); ++b)
      start[b] += start[b - 1];
    for (const uint64_t k : keys)
      other[start[(k >> shift) & ((1u << kBits) - 1)]++] = k;
    keys.swap(other);
  }
}

}  // namespace

std::span<const uint32_t> MirrorTree::ChildIndex::of(uint32_t directory) const {
  if (tree_ == nullptr) return {};
  const uint32_t d = tree_->at(directory).more;
  // A directory made after the index has no children in it.
  if (size_t{d} + 1 >= start_.size()) return {};
  return std::span<const uint32_t>(children_).subspan(start_[d], start_[d + 1] - start_[d]);
}

MirrorTree::MirrorTree(uint64_t rootInode) : table_(kInitialTable) {
  extendTo(kFirstEntryNode);
  MirrorNode& root = at(kRootNode);
  root.lengthAndKind = static_cast<uint16_t>(static_cast<uint16_t>(NodeKind::kDirectory) << 14);
  root.inode = rootInode;
  root.sequence = kRootSequence;
  root.more = newDirectory();
}

void MirrorTree::extendTo(uint32_t limit) {
  const uint32_t blockSize = 1u << kBlockBits;
  while (blocks_.size() << kBlockBits < limit)
    blocks_.emplace_back(blockSize);
  // New records from 16 up are free, the lowest first; those below are set aside for the
  // metafiles.
  for (uint32_t n = limit; n-- > std::max(limit_, kFirstEntryNode) && !deferred_;) {
    at(n).more = freeHead_;
    freeHead_ = n;
  }
  limit_ = std::max(limit_, limit);
}

void MirrorTree::takeFree(uint32_t n) {
  uint32_t* link = &freeHead_;
  while (*link != n && *link != kNoNode)
    link = &at(*link).more;
  if (*link == n) *link = at(n).more;
}

uint32_t MirrorTree::unusedRecord() const {
  if (freeHead_ != kNoNode) return freeHead_;
  return limit_ < kRecordLimit ? limit_ : kNoNode;
}

uint32_t MirrorTree::newDirectory() {
  if (freeDirectory_ == UINT32_MAX) {
    directories_.emplace_back();
    return static_cast<uint32_t>(directories_.size() - 1);
  }
  const uint32_t d = freeDirectory_;
  freeDirectory_ = directories_[d].children;
  directories_[d] = Directory();
  return d;
}

uint64_t MirrorTree::hashOf(uint32_t parent, std::string_view name) const {
  // FNV-1a over the name, then the parent mixed in: cheap, and names differ early.
  uint64_t h = 0xCBF29CE484222325ULL;
  for (const char c : name)
    h = (h ^ static_cast<unsigned char>(c)) * 0x100000001B3ULL;
  h ^= parent * 0x9E3779B97F4A7C15ULL;
  return h ^ h >> 29;
}

size_t MirrorTree::homeOf(uint64_t hash) const {
  return static_cast<size_t>((static_cast<unsigned __int128>(hash) * table_.size()) >> 64);
}

bool MirrorTree::sameName(uint32_t slot, uint32_t tag, uint32_t parent,
                          std::string_view name) const {
  if ((slot & ~kRecordMask) != tag) return false;
  const uint32_t n = slot & kRecordMask;
  return at(n).parent == parent && this->name(n) == name;
}

uint32_t MirrorTree::find(uint32_t parent, std::string_view name) const {
  const uint64_t h = hashOf(parent, name);
  const uint32_t tag = TagOf(h);
  const size_t size = table_.size();
  for (size_t i = homeOf(h); table_[i] != 0; i = i + 1 == size ? 0 : i + 1) {
    if (sameName(table_[i], tag, parent, name)) return table_[i] & kRecordMask;
  }
  return kNoNode;
}

void MirrorTree::insertName(uint32_t n) {
  if (Crowded(entries_ + 1, table_.size())) rehash(table_.size() * 3 / 2);
  const uint64_t h = hashOf(at(n).parent, name(n));
  const size_t size = table_.size();
  size_t i = homeOf(h);
  while (table_[i] != 0)
    i = i + 1 == size ? 0 : i + 1;
  table_[i] = n | TagOf(h);
}

// Backward-shift deletion keeps every probe chain unbroken without tombstones.
void MirrorTree::eraseName(uint32_t n) {
  const size_t size = table_.size();
  const auto next = [size](size_t i) { return i + 1 == size ? 0 : i + 1; };
  const auto distance = [size](size_t from, size_t to) { return (to + size - from) % size; };
  size_t i = homeOf(hashOf(at(n).parent, name(n)));
  while ((table_[i] & kRecordMask) != n)
    i = next(i);
  for (size_t j = next(i); table_[j] != 0; j = next(j)) {
    const uint32_t m = table_[j] & kRecordMask;
    const size_t home = homeOf(hashOf(at(m).parent, name(m)));
    // table_[j] may fill the hole at i when its home does not lie in (i, j].
    if (distance(home, j) >= distance(i, j)) {
      table_[i] = table_[j];
      i = j;
    }
  }
  table_[i] = 0;
}

void MirrorTree::rehash(size_t size) {
  ZeroedArray<uint32_t> old(size);
  std::swap(old, table_);
  for (size_t k = 0; k < old.size(); ++k) {
    const uint32_t slot = old[k];
    if (slot == 0) continue;
    const uint32_t n = slot & kRecordMask;
    size_t i = homeOf(hashOf(at(n).parent, name(n)));
    while (table_[i] != 0)
      i = i + 1 == size ? 0 : i + 1;
    table_[i] = slot;
  }
}

void MirrorTree::deferNames() {
  deferred_ = true;
}

bool MirrorTree::indexNames(bool unique) {
  deferred_ = false;
  table_ = ZeroedArray<uint32_t>(TableSizeFor(entries_));
  const size_t size = table_.size();
  // Every entry by its home slot, then placed in slot order: each goes to its home or just past
  // the one placed before, so the table is written from start to end. Entries whose place
  // passes the end are probed in from the start afterwards.
  std::vector<uint64_t> order;
  order.reserve(entries_);
  for (uint32_t n = kFirstEntryNode; n < limit_; ++n) {
    if (at(n).kind() == NodeKind::kFree) continue;
    const uint64_t h = hashOf(at(n).parent, name(n));
    order.push_back(uint64_t{homeOf(h)} << 32 | TagOf(h) | n);
  }
  SortByHome(order, size);
  std::vector<uint32_t> wrapped;
  size_t next = 0;
  for (size_t k = 0; k < order.size(); ++k) {
    const auto slot = static_cast<uint32_t>(order[k]);
    const uint32_t n = slot & kRecordMask;
    const uint64_t home = order[k] >> 32;
    // The same name in the same folder hashes alike: it is among the entries of the same home.
    for (size_t j = k; unique && j > 0 && order[j - 1] >> 32 == home; --j) {
      if (sameName(static_cast<uint32_t>(order[j - 1]), slot & ~kRecordMask, at(n).parent,
                   name(n))) {
        return false;
      }
    }
    next = std::max<size_t>(next, home);
    if (next == size) {
      wrapped.push_back(slot);
      continue;
    }
    table_[next++] = slot;
  }
  for (const uint32_t slot : wrapped) {
    size_t i = 0;
    while (table_[i] != 0)
      ++i;
    table_[i] = slot;
  }
  // The records between the entries are free, the lowest first.
  for (uint32_t n = limit_; n-- > kFirstEntryNode;) {
    if (at(n).kind() != NodeKind::kFree) continue;
    at(n).more = freeHead_;
    freeHead_ = n;
  }
  return true;
}

MirrorTree::ChildIndex MirrorTree::indexChildren() const {
  // A counting sort of the entries by their parent's place in the directory table.
  ChildIndex index;
  index.tree_ = this;
  index.start_.assign(directories_.size() + 1, 0);
  for (uint32_t n = kFirstEntryNode; n < limit_; ++n) {
    if (at(n).kind() != NodeKind::kFree) ++index.start_[at(at(n).parent).more + 1];
  }
  for (size_t d = 1; d < index.start_.size(); ++d)
    index.start_[d] += index.start_[d - 1];
  index.children_.resize(entries_);
  std::vector<uint32_t> filled(index.start_.begin(), index.start_.end() - 1);
  for (uint32_t n = kFirstEntryNode; n < limit_; ++n) {
    if (at(n).kind() != NodeKind::kFree) index.children_[filled[at(at(n).parent).more]++] = n;
  }
  return index;
}

void MirrorTree::setName(MirrorNode& node, std::string_view name) {
  node.nameOffset = pool_.store(name);
  node.lengthAndKind =
      static_cast<uint16_t>((node.lengthAndKind & 0xC000u) | static_cast<uint16_t>(name.size()));
}

void MirrorTree::compactPool() {
  NamePool pool;
  for (uint32_t n = kFirstEntryNode; n < limit_; ++n) {
    MirrorNode& node = at(n);
    if (node.kind() != NodeKind::kFree) node.nameOffset = pool.store(name(n));
  }
  pool_ = std::move(pool);
  deadBytes_ = 0;
}

void MirrorTree::add(uint32_t n, uint32_t parent, std::string_view name, NodeKind kind,
                     uint64_t inode, uint64_t changeTime) {
  if (n >= limit_) extendTo(n + 1);
  if (!deferred_) takeFree(n);
  MirrorNode& node = at(n);
  const uint16_t sequence = node.sequence == 0 ? 1 : node.sequence;
  node = MirrorNode();
  node.inode = inode;
  node.parent = parent;
  node.sequence = sequence;
  node.lengthAndKind = static_cast<uint16_t>(static_cast<uint16_t>(kind) << 14);
  setName(node, name);
  if (!deferred_) insertName(n);
  if (kind == NodeKind::kDirectory) {
    node.more = newDirectory();
    directories_[node.more].changeTime = changeTime;
  }
  ++directories_[at(parent).more].children;
  ++entries_;
  ++changes_;
}

void MirrorTree::move(uint32_t n, uint32_t parent, std::string_view name) {
  eraseName(n);
  MirrorNode& node = at(n);
  --directories_[at(node.parent).more].children;
  ++directories_[at(parent).more].children;
  node.parent = parent;
  if (this->name(n) != name) {
    deadBytes_ += node.nameLength();
    setName(node, name);
  }
  insertName(n);
  ++changes_;
  if (deadBytes_ > kCompactFrom && deadBytes_ > pool_.bytes() / 2) compactPool();
}

void MirrorTree::remove(uint32_t n) {
  eraseName(n);
  MirrorNode& node = at(n);
  --directories_[at(node.parent).more].children;
  if (node.kind() == NodeKind::kDirectory) {
    directories_[node.more].children = freeDirectory_;
    freeDirectory_ = node.more;
  }
  deadBytes_ += node.nameLength();
  const uint16_t sequence = static_cast<uint16_t>(node.sequence == 0xFFFF ? 1 : node.sequence + 1);
  node = MirrorNode();
  node.sequence = sequence;
  node.more = freeHead_;
  freeHead_ = n;
  --entries_;
  ++changes_;
  if (deadBytes_ > kCompactFrom && deadBytes_ > pool_.bytes() / 2) compactPool();
}

void MirrorTree::setChangeTime(uint32_t n, uint64_t changeTime) {
  uint64_t& time = directories_[at(n).more].changeTime;
  if (time != changeTime) ++changes_;
  time = changeTime;
}

void MirrorTree::setWatch(uint32_t n, int32_t watch) {
  directories_[at(n).more].watch = watch;
}

void MirrorTree::forgetUsns() {
  for (uint32_t n = 0; n < limit_; ++n)
    at(n).lastUsn = 0;
}

bool MirrorTree::pathOf(std::string_view root, uint32_t n, std::string* out) const {
  // Two walks up the parents: the length, then each name copied whole from the end back.
  size_t length = 0;
  uint32_t depth = 0;
  for (uint32_t m = n; m != kRootNode; m = at(m).parent) {
    if (node(m) == nullptr || ++depth > limit_) return false;
    length += name(m).size() + 1;
  }
  // Below "/" the names' own separators make the path.
  const size_t rootLength = root != "/" || depth == 0 ? root.size() : 0;
  out->resize(rootLength + length);
  char* end = out->data() + out->size();
  for (uint32_t m = n; m != kRootNode; m = at(m).parent) {
    const std::string_view part = name(m);
    end -= part.size();
    std::memcpy(end, part.data(), part.size());
    *--end = '/';
  }
  std::memcpy(out->data(), root.data(), rootLength);
  return true;
}

}  // namespace vessiko
