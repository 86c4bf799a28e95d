// MirrorTree: the mirror's picture of one real directory tree, which is also the master file
// table of the volume that presents it. One node per entry, under the MFT record number that
// stands for it: the entry's parent, name (the file system's bytes), kind and inode, with the
// record's sequence number and last USN. It finds an entry by parent and name, walks a
// directory's subtree, builds an entry's real path, and hands out record numbers as NTFS does:
// a freed one is used again, its sequence number raised.
//
// Record 5 is the root (the mirrored directory itself); entries take numbers from 16 up, below
// 2^27 (what an index key holds). Nodes live in blocks that never move and names in a NamePool,
// so a growing tree never holds two copies of either; renames leave the old bytes behind until
// the pool is compacted. A node is 32 bytes: what only directories need (their change time,
// watch and number of children) lives in a table of its own, and no node links to its
// siblings. The walks that need a directory's children index them all in one pass
// (ChildIndex), good until the tree next changes.
//
// Thread safety: none by itself. The MirrorVolume that holds it guards it with one lock: every
// change is made with the lock held exclusively, by one writer at a time (the thread that opens
// the mirror, then its watcher), which reads without the lock; other threads read with it held
// shared.
#pragma once

#include <cstdint>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "mirror/name_pool.h"
#include "mirror/zeroed_array.h"

namespace vessiko {

enum class NodeKind : uint8_t { kFree = 0, kFile = 1, kDirectory = 2, kOther = 3 };

// Record 0 is $MFT, never an entry of the tree: it marks "none".
constexpr uint32_t kNoNode = 0;
constexpr uint32_t kRootNode = 5;
constexpr uint32_t kFirstEntryNode = 16;
// Record numbers stay below this: an index key holds 27 bits of one.
constexpr uint32_t kRecordLimit = 1u << 27;
// The longest name in bytes: an NTFS name has at most 255 UTF-16 units, which are at most 765
// bytes of UTF-8.
constexpr size_t kMaxNameBytes = 765;

struct MirrorNode {
  uint64_t inode = 0;
  // The USN of the record's last journal record; 0 when it has none since the journal began.
  int64_t lastUsn = 0;
  uint32_t parent = kNoNode;
  uint32_t nameOffset = 0;
  // A directory's place in the directory table; for a free record, the next free one.
  uint32_t more = 0;
  uint16_t sequence = 0;
  // The name's length in bytes in the low 14 bits, the kind in the top 2.
  uint16_t lengthAndKind = 0;

  NodeKind kind() const { return static_cast<NodeKind>(lengthAndKind >> 14); }
  uint32_t nameLength() const { return lengthAndKind & 0x3FFFu; }
};
// One per entry, millions of them in a large tree.
static_assert(sizeof(MirrorNode) == 32);

class MirrorTree {
 public:
  // The children of every directory, in record order, as the tree was when it was made; empty
  // when made empty.
  class ChildIndex {
   public:
    std::span<const uint32_t> of(uint32_t directory) const;

   private:
    friend class MirrorTree;
    const MirrorTree* tree_ = nullptr;
    std::vector<uint32_t> start_;  // by place in the directory table, and one past the last
    std::vector<uint32_t> children_;
  };

  explicit MirrorTree(uint64_t rootInode);
  MirrorTree(const MirrorTree&) = delete;
  MirrorTree& operator=(const MirrorTree&) = delete;

  // The node, or null when the record is not an entry.
  const MirrorNode* node(uint32_t n) const {
    return n < limit_ && at(n).kind() != NodeKind::kFree ? &at(n) : nullptr;
  }
  // REQUIRES: n an entry.
  std::string_view name(uint32_t n) const { return pool_.at(at(n).nameOffset, at(n).nameLength()); }
  // The child of `parent` with this name, kNoNode when none.
  uint32_t find(uint32_t parent, std::string_view name) const;
  // Records 0 to recordLimit() - 1 have been used or set aside.
  uint32_t recordLimit() const { return limit_; }
  uint32_t entryCount() const { return entries_; }
  // How many changes of what a saved state holds (entries, names, parents, change times) the
  // tree has had: equal counts, the same tree.
  uint64_t changes() const { return changes_; }
  // The record's sequence number: the one it has, or the one its next use takes (0: 1).
  uint16_t sequence(uint32_t n) const { return n < limit_ ? at(n).sequence : 0; }
  // The record the next new entry takes (a freed one first); kNoNode when none is left.
  uint32_t unusedRecord() const;

  // A directory's change time (ns since 1970, when its entries were last read; 0 when they
  // must be read again at the next start), inotify watch (-1: none) and number of children.
  // REQUIRES: n a directory.
  uint64_t changeTime(uint32_t n) const { return directories_[at(n).more].changeTime; }
  int32_t watch(uint32_t n) const { return directories_[at(n).more].watch; }
  uint32_t childCount(uint32_t n) const { return directories_[at(n).more].children; }

  // Until indexNames(), entries are added without their names in the name table (find() does
  // not see them) and without a list of freed records: a load or a first reading of a tree adds
  // every entry so, and then indexes them all in one pass, in table order, instead of probing
  // the table at random once per entry. REQUIRES: no entry yet.
  void deferNames();
  // Ends deferNames(). With `unique`, false when a folder holds a name twice.
  bool indexNames(bool unique);
  // REQUIRES: n not an entry, from 16 up and below kRecordLimit; parent a directory of the
  // tree; a name of 1 to kMaxNameBytes bytes. Two entries may share a name for a while (a new
  // entry made before the old one of that name is removed). A freed record other than
  // unusedRecord() is looked for in the list of freed ones.
  void add(uint32_t n, uint32_t parent, std::string_view name, NodeKind kind, uint64_t inode,
           uint64_t changeTime);
  // REQUIRES: parent a directory that is not n nor below it.
  void move(uint32_t n, uint32_t parent, std::string_view name);
  // Frees the record, whose sequence number moves on. REQUIRES: n has no children.
  void remove(uint32_t n);
  void setChangeTime(uint32_t n, uint64_t changeTime);
  void setWatch(uint32_t n, int32_t watch);
  void setLastUsn(uint32_t n, int64_t usn) { at(n).lastUsn = usn; }
  // Every record forgets its last USN, as when the journal is deleted.
  void forgetUsns();

  // Replaces *out with root + "/" + the names down to n; false when the chain is broken.
  bool pathOf(std::string_view root, uint32_t n, std::string* out) const;

  ChildIndex indexChildren() const;
  // Every entry below `top` (a directory), each directory before its children.
  template <class Visit>
  void forEachBelow(const ChildIndex& index, uint32_t top, Visit visit) const {
    std::vector<std::pair<const uint32_t*, const uint32_t*>> stack;
    const std::span<const uint32_t> first = index.of(top);
    stack.emplace_back(first.data(), first.data() + first.size());
    while (!stack.empty()) {
      auto& [next, end] = stack.back();
      if (next == end) {
        stack.pop_back();
        continue;
      }
      const uint32_t n = *next++;
      visit(n, at(n));
      if (at(n).kind() == NodeKind::kDirectory && childCount(n) != 0) {
        const std::span<const uint32_t> children = index.of(n);
        stack.emplace_back(children.data(), children.data() + children.size());
      }
    }
  }
  // The same, indexing the children first when `top` has any.
  template <class Visit>
  void forEachBelow(uint32_t top, Visit visit) const {
    if (childCount(top) != 0) forEachBelow(indexChildren(), top, visit);
  }

 private:
  struct Directory {
    uint64_t changeTime = 0;
    uint32_t children = 0;  // for a free place, the next free one
    int32_t watch = -1;
  };
  static constexpr uint32_t kBlockBits = 12;

  MirrorNode& at(uint32_t n) { return blocks_[n >> kBlockBits][n & ((1u << kBlockBits) - 1)]; }
  const MirrorNode& at(uint32_t n) const {
    return blocks_[n >> kBlockBits][n & ((1u << kBlockBits) - 1)];
  }
  void extendTo(uint32_t limit);
  void takeFree(uint32_t n);
  uint32_t newDirectory();
  uint64_t hashOf(uint32_t parent, std::string_view name) const;
  size_t homeOf(uint64_t hash) const;
  bool sameName(uint32_t slot, uint32_t tag, uint32_t parent, std::string_view name) const;
  void insertName(uint32_t n);
  void eraseName(uint32_t n);
  void rehash(size_t size);
  void setName(MirrorNode& node, std::string_view name);
  void compactPool();

  std::vector<ZeroedArray<MirrorNode>> blocks_;
  uint32_t limit_ = 0;
  uint32_t entries_ = 0;
  // Free records form a list through their `more`.
  uint32_t freeHead_ = kNoNode;
  bool deferred_ = false;
  std::vector<Directory> directories_;
  uint32_t freeDirectory_ = UINT32_MAX;
  NamePool pool_;
  size_t deadBytes_ = 0;
  uint64_t changes_ = 0;
  // Open addressing with linear probing, 0 empty: record numbers by the hash of (parent, name),
  // with the hash's top bits in the five bits a record number leaves free, so that most probes
  // that fail do so without reading a node. A hash's home is its place scaled to the table's
  // size, which need not be a power of two.
  ZeroedArray<uint32_t> table_;
};

}  // namespace vessiko
