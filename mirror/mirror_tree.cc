#include "mirror/mirror_tree.h"

#include <algorithm>
#include <mutex>

namespace vessiko {

namespace {

constexpr size_t kInitialTable = 1024;
// Compaction waits until the dead bytes pass this and outweigh the live ones.
constexpr size_t kCompactFrom = 1 << 20;

}  // namespace

MirrorTree::MirrorTree(uint64_t rootInode) : nodes_(kFirstEntryNode), table_(kInitialTable) {
  nodes_[kRootNode].kind = NodeKind::kDirectory;
  nodes_[kRootNode].inode = rootInode;
}

uint64_t MirrorTree::hashOf(uint32_t parent, std::string_view name) const {
  // FNV-1a over the name, then the parent mixed in: cheap, and names differ early.
  uint64_t h = 0xCBF29CE484222325ULL;
  for (const char c : name)
    h = (h ^ static_cast<unsigned char>(c)) * 0x100000001B3ULL;
  h ^= parent * 0x9E3779B97F4A7C15ULL;
  return h ^ h >> 29;
}

uint32_t MirrorTree::find(uint32_t parent, std::string_view name) const {
  const size_t mask = table_.size() - 1;
  for (size_t i = hashOf(parent, name) & mask;; i = (i + 1) & mask) {
    const uint32_t n = table_[i];
    if (n == kNoNode) return kNoNode;
    if (nodes_[n].parent == parent && this->name(n) == name) return n;
  }
}

bool MirrorTree::insertName(uint32_t n, bool unique) {
  if ((entries_ + 1) * 2 > table_.size()) growTable();
  const size_t mask = table_.size() - 1;
  const uint32_t parent = nodes_[n].parent;
  const std::string_view key = name(n);
  size_t i = hashOf(parent, key) & mask;
  for (; table_[i] != kNoNode; i = (i + 1) & mask) {
    if (unique && nodes_[table_[i]].parent == parent && name(table_[i]) == key) return false;
  }
  table_[i] = n;
  return true;
}

void MirrorTree::reserve(uint32_t entries) {
  std::unique_lock lock(lock_);
  if (nodes_.size() < entries + kFirstEntryNode) nodes_.reserve(entries + kFirstEntryNode);
  size_t size = table_.size();
  while (size < size_t{entries} * 2 + 2)
    size *= 2;
  if (size == table_.size()) return;
  table_.assign(size, kNoNode);
  for (uint32_t n = kFirstEntryNode; n < nodes_.size(); ++n) {
    if (nodes_[n].kind != NodeKind::kFree) insertName(n, false);
  }
}

// Backward-shift deletion keeps every probe chain unbroken without tombstones.
void MirrorTree::eraseName(uint32_t n) {
  const size_t mask = table_.size() - 1;
  size_t i = hashOf(nodes_[n].parent, name(n)) & mask;
  while (table_[i] != n)
    i = (i + 1) & mask;
  for (size_t j = (i + 1) & mask; table_[j] != kNoNode; j = (j + 1) & mask) {
    const size_t home = hashOf(nodes_[table_[j]].parent, name(table_[j])) & mask;
    // table_[j] may fill the hole at i when its home does not lie in (i, j].
    if (((j - home) & mask) >= ((j - i) & mask)) {
      table_[i] = table_[j];
      i = j;
    }
  }
  table_[i] = kNoNode;
}

void MirrorTree::growTable() {
  std::vector<uint32_t> old(table_.size() * 2);
  old.swap(table_);
  const size_t mask = table_.size() - 1;
  for (const uint32_t n : old) {
    if (n == kNoNode) continue;
    size_t i = hashOf(nodes_[n].parent, name(n)) & mask;
    while (table_[i] != kNoNode)
      i = (i + 1) & mask;
    table_[i] = n;
  }
}

void MirrorTree::link(uint32_t n, uint32_t parent) {
  MirrorNode& node = nodes_[n];
  node.parent = parent;
  node.previousSibling = kNoNode;
  node.nextSibling = nodes_[parent].firstChild;
  if (node.nextSibling != kNoNode) nodes_[node.nextSibling].previousSibling = n;
  nodes_[parent].firstChild = n;
}

void MirrorTree::unlink(uint32_t n) {
  MirrorNode& node = nodes_[n];
  if (node.previousSibling != kNoNode) {
    nodes_[node.previousSibling].nextSibling = node.nextSibling;
  } else {
    nodes_[node.parent].firstChild = node.nextSibling;
  }
  if (node.nextSibling != kNoNode) nodes_[node.nextSibling].previousSibling = node.previousSibling;
}

uint32_t MirrorTree::storeName(std::string_view name) {
  const auto offset = static_cast<uint32_t>(pool_.size());
  pool_.append(name);
  return offset;
}

void MirrorTree::compactPool() {
  std::string pool;
  pool.reserve(pool_.size() - deadBytes_);
  for (MirrorNode& node : nodes_) {
    if (node.kind == NodeKind::kFree || node.nameLength == 0) continue;
    const uint32_t offset = static_cast<uint32_t>(pool.size());
    pool.append(pool_, node.nameOffset, node.nameLength);
    node.nameOffset = offset;
  }
  pool_.swap(pool);
  deadBytes_ = 0;
}

bool MirrorTree::add(uint32_t n, uint32_t parent, std::string_view name, NodeKind kind,
                     uint64_t inode, uint64_t changeTime, bool unique) {
  std::unique_lock lock(lock_);
  if (n >= nodes_.size()) nodes_.resize(std::max<size_t>(n + 1, nodes_.size() * 3 / 2));
  MirrorNode& node = nodes_[n];
  node = MirrorNode();
  node.kind = kind;
  node.inode = inode;
  node.changeTime = changeTime;
  node.parent = parent;
  node.nameOffset = storeName(name);
  node.nameLength = static_cast<uint16_t>(name.size());
  if (!insertName(n, unique)) {
    pool_.resize(node.nameOffset);
    node = MirrorNode();
    return false;
  }
  link(n, parent);
  ++entries_;
  return true;
}

void MirrorTree::move(uint32_t n, uint32_t parent, std::string_view name) {
  std::unique_lock lock(lock_);
  eraseName(n);
  unlink(n);
  MirrorNode& node = nodes_[n];
  if (this->name(n) != name) {
    deadBytes_ += node.nameLength;
    node.nameOffset = storeName(name);
    node.nameLength = static_cast<uint16_t>(name.size());
  }
  link(n, parent);
  insertName(n, false);
  if (deadBytes_ > kCompactFrom && deadBytes_ > pool_.size() / 2) compactPool();
}

void MirrorTree::remove(uint32_t n) {
  std::unique_lock lock(lock_);
  eraseName(n);
  unlink(n);
  deadBytes_ += nodes_[n].nameLength;
  nodes_[n] = MirrorNode();
  --entries_;
  if (deadBytes_ > kCompactFrom && deadBytes_ > pool_.size() / 2) compactPool();
}

void MirrorTree::setChangeTime(uint32_t n, uint64_t changeTime) {
  std::unique_lock lock(lock_);
  nodes_[n].changeTime = changeTime;
}

void MirrorTree::setWatch(uint32_t n, int32_t watch) {
  std::unique_lock lock(lock_);
  nodes_[n].watch = watch;
}

bool MirrorTree::pathOf(std::string_view root, uint32_t n, std::string* out) const {
  // The names from n up, then reversed in place: no allocation beyond the output's.
  out->clear();
  uint32_t depth = 0;
  for (uint32_t at = n; at != kRootNode; at = nodes_[at].parent) {
    if (at >= nodes_.size() || nodes_[at].kind == NodeKind::kFree || ++depth > nodes_.size()) {
      return false;
    }
    const std::string_view part = name(at);
    out->append(part.rbegin(), part.rend());
    out->push_back('/');
  }
  if (root != "/" || out->empty()) out->append(root.rbegin(), root.rend());
  std::reverse(out->begin(), out->end());
  return true;
}

}  // namespace vessiko
