// MirrorTree: the mirror's picture of one real directory tree, one node per entry under the MFT
// record number that stands for it on the simulated volume. It knows each entry's parent,
// name (the file system's bytes), kind and inode, finds an entry by parent and name, walks a
// directory's children, and builds an entry's real path.
//
// Record 5 is the root (the mirrored directory itself); entries take numbers from 16 up, as
// the volume hands them out. Names live in one pool; renames leave the old bytes behind until
// the pool is compacted.
//
// Thread safety: one writer at a time (the thread that opens the mirror, then its watcher).
// The writer reads without locking; every change takes the lock exclusively. Other threads
// read under readLock().
#pragma once

#include <cstdint>
#include <shared_mutex>
#include <string>
#include <string_view>
#include <vector>

namespace vessiko {

enum class NodeKind : uint8_t { kFree = 0, kFile = 1, kDirectory = 2, kOther = 3 };

// Record 0 is $MFT, never an entry of the tree: it marks "none".
constexpr uint32_t kNoNode = 0;
constexpr uint32_t kRootNode = 5;
constexpr uint32_t kFirstEntryNode = 16;

struct MirrorNode {
  uint64_t inode = 0;
  // A directory's change time (ns since 1970) when its entries were last read; 0 when they
  // must be read again at the next start.
  uint64_t changeTime = 0;
  uint32_t parent = kNoNode;
  uint32_t nameOffset = 0;
  uint32_t firstChild = kNoNode;
  uint32_t nextSibling = kNoNode;
  uint32_t previousSibling = kNoNode;
  int32_t watch = -1;  // the directory's inotify watch
  // In bytes: file systems that limit names to 255 UTF-16 units allow up to 765 of them.
  uint16_t nameLength = 0;
  NodeKind kind = NodeKind::kFree;
};
// One per entry, millions of them in a large tree.
static_assert(sizeof(MirrorNode) == 48);

class MirrorTree {
 public:
  explicit MirrorTree(uint64_t rootInode);

  // The node, or null when the record is not an entry.
  const MirrorNode* node(uint32_t n) const {
    return n < nodes_.size() && nodes_[n].kind != NodeKind::kFree ? &nodes_[n] : nullptr;
  }
  std::string_view name(uint32_t n) const {
    return std::string_view(pool_).substr(nodes_[n].nameOffset, nodes_[n].nameLength);
  }
  // The child of `parent` with this name, kNoNode when none.
  uint32_t find(uint32_t parent, std::string_view name) const;
  uint32_t recordLimit() const { return static_cast<uint32_t>(nodes_.size()); }
  uint32_t entryCount() const { return entries_; }

  // Makes room for this many entries at once, as a load knows them.
  void reserve(uint32_t entries);
  // REQUIRES: n unused, parent a directory of the tree, a name of 1 to 65535 bytes. With
  // `unique`, false and nothing added when the parent has a child of that name already;
  // without, two entries may share a name for a while (a new entry made before the old one
  // of that name is removed).
  bool add(uint32_t n, uint32_t parent, std::string_view name, NodeKind kind, uint64_t inode,
           uint64_t changeTime, bool unique = false);
  // REQUIRES: parent a directory that is not n nor below it.
  void move(uint32_t n, uint32_t parent, std::string_view name);
  // REQUIRES: n has no children.
  void remove(uint32_t n);
  void setChangeTime(uint32_t n, uint64_t changeTime);
  void setWatch(uint32_t n, int32_t watch);

  // Replaces *out with root + "/" + the names down to n; false when the chain is broken.
  bool pathOf(std::string_view root, uint32_t n, std::string* out) const;
  // Every entry below `top` (a directory), each directory before its children.
  template <class Visit>
  void forEachBelow(uint32_t top, Visit visit) const {
    uint32_t n = nodes_[top].firstChild;
    while (n != kNoNode) {
      visit(n, nodes_[n]);
      if (nodes_[n].firstChild != kNoNode) {
        n = nodes_[n].firstChild;
        continue;
      }
      while (n != top && nodes_[n].nextSibling == kNoNode)
        n = nodes_[n].parent;
      n = n == top ? kNoNode : nodes_[n].nextSibling;
    }
  }

  std::shared_lock<std::shared_mutex> readLock() const { return std::shared_lock(lock_); }

 private:
  uint64_t hashOf(uint32_t parent, std::string_view name) const;
  bool insertName(uint32_t n, bool unique);
  void eraseName(uint32_t n);
  void growTable();
  void link(uint32_t n, uint32_t parent);
  void unlink(uint32_t n);
  uint32_t storeName(std::string_view name);
  void compactPool();

  std::vector<MirrorNode> nodes_;
  std::string pool_;
  size_t deadBytes_ = 0;
  uint32_t entries_ = 0;
  // Open addressing with linear probing: record numbers by the hash of (parent, name); 0 empty.
  std::vector<uint32_t> table_;
  mutable std::shared_mutex lock_;
};

}  // namespace vessiko
