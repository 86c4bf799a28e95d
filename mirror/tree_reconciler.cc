#include "mirror/tree_reconciler.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <algorithm>
#include <ctime>
#include <memory>

#include "ntfs_model/usn_journal.h"

namespace vessiko {

namespace {

constexpr size_t kEntryBufferBytes = 32 * 1024;
// A directory read less than this long after its last change may change again within the same
// tick of the file system's clock without its change time moving: its time is not kept, so
// the next start reads it again.
constexpr uint64_t kRacyNanoseconds = 2'000'000'000;

uint64_t Nanoseconds(const struct statx_timestamp& t) {
  return t.tv_sec < 0 ? 0 : static_cast<uint64_t>(t.tv_sec) * 1'000'000'000 + t.tv_nsec;
}

uint64_t NowNanoseconds() {
  timespec now{};
  clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<uint64_t>(now.tv_sec) * 1'000'000'000 + static_cast<uint64_t>(now.tv_nsec);
}

NodeKind KindOf(unsigned char type) {
  return type == DT_DIR   ? NodeKind::kDirectory
         : type == DT_REG ? NodeKind::kFile
                          : NodeKind::kOther;
}

NodeKind KindOfMode(mode_t mode) {
  return S_ISDIR(mode) ? NodeKind::kDirectory : S_ISREG(mode) ? NodeKind::kFile : NodeKind::kOther;
}

}  // namespace

void TreeReconciler::markSeen(uint32_t n) {
  if (seen_[n] != 0) return;
  seen_[n] = 1;
  if (markedMany_) return;
  if (marked_.size() < seen_.size() / 16) {
    marked_.push_back(n);
  } else {
    markedMany_ = true;
    marked_ = std::vector<uint32_t>();
  }
}

void TreeReconciler::clearMarks() {
  if (markedMany_) {
    std::fill(seen_.begin(), seen_.end(), 0);
  } else {
    for (const uint32_t n : marked_)
      seen_[n] = 0;
  }
  marked_.clear();
  markedMany_ = false;
}

void TreeReconciler::walk(uint32_t top, bool findMoves) {
  top_ = top;
  findMoves_ = findMoves;
  clearMarks();
  if (seen_.size() < tree_.recordLimit()) seen_.resize(tree_.recordLimit(), 0);
  actions_.clear();
  names_.clear();
  directoriesByInode_.clear();
  directoriesIndexed_ = false;
  markSeen(top);
  unmet_ = 0;
  children_ = tree_.childCount(top) != 0 ? tree_.indexChildren() : MirrorTree::ChildIndex();
  if (!tree_.pathOf(root_, top, &path_)) return;
  visit(Place{top, false}, top);
  forEachBelow(top, [&](uint32_t n, const MirrorNode&) { unmet_ += !seen(n); });
}

void TreeReconciler::fill(MirrorEditor& editor) {
  clearMarks();
  seen_ = std::vector<uint8_t>();
  actions_.clear();
  filling_ = &editor;
  top_ = kRootNode;
  findMoves_ = false;
  path_ = root_;
  tree_.deferNames();
  visit(Place{kRootNode, false}, kRootNode);
  tree_.indexNames(false);
  filling_ = nullptr;
}

void TreeReconciler::visit(Place self, uint32_t old) {
  // Watched before its change time is read: a change after the read is reported, one before
  // it shows in the time.
  const int32_t watch = watches_ != nullptr ? watches_->watch(path_) : -1;
  // A directory that may be unchanged is looked at by its path, and opened only when it has
  // changed; any other is opened at once and looked at through the opened folder, which spares
  // a second walk of its path.
  const bool mayBeUnchanged = old != kNoNode && tree_.changeTime(old) != 0;
  int fd = -1;
  struct statx st {};
  bool looked = false;
  if (!mayBeUnchanged) {
    fd = open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    looked = fd >= 0 && statx(fd, "", AT_EMPTY_PATH, STATX_TYPE | STATX_CTIME, &st) == 0;
  }
  if (!looked) {
    looked =
        statx(AT_FDCWD, path_.c_str(), AT_SYMLINK_NOFOLLOW, STATX_TYPE | STATX_CTIME, &st) == 0;
  }
  if (!looked || !S_ISDIR(st.stx_mode) ||
      makedev(st.stx_dev_major, st.stx_dev_minor) != rootDevice_) {
    // Gone, or a mount point: nothing below it belongs to this tree.
    if (fd >= 0) close(fd);
    if (watch >= 0) watches_->release(watch);
    if (old != kNoNode) tree_.setChangeTime(old, 0);
    return;
  }
  const uint64_t changed = Nanoseconds(st.stx_ctime);
  const uint64_t keep = changed + kRacyNanoseconds < NowNanoseconds() ? changed : 0;
  if (self.isAction) {
    actions_[self.id].watch = watch;
  } else if (watch >= 0 && tree_.watch(old) != watch) {
    tree_.setWatch(old, watch);
    watches_->bind(watch, old);
  }
  if (mayBeUnchanged && tree_.changeTime(old) == changed) {
    // Unchanged since it was read: the same entries. Only the subdirectories need a visit.
    const size_t length = path_.size();
    for (const uint32_t c : children_.of(old)) {
      markSeen(c);
      if (tree_.node(c)->kind() != NodeKind::kDirectory) continue;
      if (path_.back() != '/') path_.push_back('/');
      path_.append(tree_.name(c));
      visit(Place{c, false}, c);
      path_.resize(length);
    }
    return;
  }
  if (fd < 0) fd = open(path_.c_str(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
  if (fd < 0) {
    // Unreadable: what it held stays as it was known, and it is tried again next time.
    if (old != kNoNode) {
      keepSubtree(old);
      tree_.setChangeTime(old, 0);
    }
    return;
  }
  readEntries(fd, self, old);
  if (self.isAction) {
    actions_[self.id].changeTime = keep;
  } else {
    tree_.setChangeTime(old, keep);
  }
}

void TreeReconciler::readEntries(int fd, Place self, uint32_t old) {
  // The entries straight from getdents64: opendir would add two calls per directory (fstat and
  // fcntl), which a walk over tens of thousands of them pays for.
  const auto buffer = std::make_unique_for_overwrite<char[]>(kEntryBufferBytes);
  const size_t length = path_.size();
  for (;;) {
    const ssize_t got = getdents64(fd, buffer.get(), kEntryBufferBytes);
    if (got <= 0) break;
    for (ssize_t at = 0; at < got;) {
      const auto* e = reinterpret_cast<const dirent64*>(buffer.get() + at);
      at += e->d_reclen;
      const std::string_view name(e->d_name);
      if (name == "." || name == "..") continue;
      NodeKind kind = KindOf(e->d_type);
      if (e->d_type == DT_UNKNOWN) {
        struct stat st {};
        if (fstatat(fd, e->d_name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        kind = KindOfMode(st.st_mode);
      }
      visitEntry(self, old, name, kind, e->d_ino);
      path_.resize(length);
    }
  }
  close(fd);
}

void TreeReconciler::visitEntry(Place self, uint32_t old, std::string_view name, NodeKind kind,
                                uint64_t inode) {
  if (path_.back() != '/') path_.push_back('/');
  path_.append(name);
  if (filling_ != nullptr) {
    const uint32_t made = filling_->create(self.id, name, kind, inode, 0, -1);
    if (made != kNoNode && kind == NodeKind::kDirectory) visit(Place{made, false}, made);
    return;
  }
  const uint32_t c = old != kNoNode ? tree_.find(old, name) : kNoNode;
  const MirrorNode* known = c != kNoNode ? tree_.node(c) : nullptr;
  if (known != nullptr && !seen(c) && known->inode == inode && known->kind() == kind) {
    markSeen(c);
    if (kind == NodeKind::kDirectory) visit(Place{c, false}, c);
  } else if (kind == NodeKind::kDirectory) {
    const uint32_t moved = oldDirectoryWithInode(inode);
    if (moved != kNoNode) {
      markSeen(moved);
      addAction(self, name, kind, inode, true, moved);
      visit(Place{moved, false}, moved);
    } else {
      addAction(self, name, kind, inode, false, kNoNode);
      visit(Place{static_cast<uint32_t>(actions_.size() - 1), true}, kNoNode);
    }
  } else {
    addAction(self, name, kind, inode, false, kNoNode);
  }
}

void TreeReconciler::keepSubtree(uint32_t n) {
  forEachBelow(n, [&](uint32_t c, const MirrorNode&) { markSeen(c); });
}

uint32_t TreeReconciler::oldDirectoryWithInode(uint64_t inode) {
  if (!findMoves_) return kNoNode;
  if (!directoriesIndexed_) {
    directoriesIndexed_ = true;
    for (uint32_t n = kFirstEntryNode; n < tree_.recordLimit(); ++n) {
      const MirrorNode* node = tree_.node(n);
      if (node != nullptr && node->kind() == NodeKind::kDirectory) {
        directoriesByInode_.emplace_back(node->inode, n);
      }
    }
    std::sort(directoriesByInode_.begin(), directoriesByInode_.end());
  }
  // A directory has one name, so an unmet one with this inode is this one, moved.
  auto it = std::lower_bound(directoriesByInode_.begin(), directoriesByInode_.end(),
                             std::pair<uint64_t, uint32_t>(inode, 0));
  for (; it != directoriesByInode_.end() && it->first == inode; ++it) {
    if (!seen(it->second)) return it->second;
  }
  return kNoNode;
}

void TreeReconciler::addAction(Place parent, std::string_view name, NodeKind kind, uint64_t inode,
                               bool move, uint32_t record) {
  Action a;
  a.inode = inode;
  a.parent = parent.id;
  a.parentIsAction = parent.isAction;
  a.nameOffset = static_cast<uint32_t>(names_.size());
  a.nameLength = static_cast<uint16_t>(name.size());
  a.kind = kind;
  a.move = move;
  a.record = record;
  names_.append(name);
  actions_.push_back(a);
}

uint64_t TreeReconciler::journalBytes() const {
  // A move writes at most five records (old name, new name and its close, an attribute change
  // and its close), a creation two, a removal one; a record is at most 60 bytes and a 255-unit
  // name.
  return (actions_.size() * 5 + unmet_) * UsnRecordLength(255);
}

uint32_t TreeReconciler::placeRecord(const Action& action) const {
  return action.parentIsAction ? actions_[action.parent].record : action.parent;
}

void TreeReconciler::apply(MirrorEditor& editor) {
  // What the walk did not meet, in the order of the old tree: files that may have moved, and
  // the rest to remove once the moves are made.
  std::vector<std::pair<uint64_t, uint32_t>> unmetFiles;
  std::vector<uint32_t> unmet;
  forEachBelow(top_, [&](uint32_t n, const MirrorNode& node) {
    if (seen(n)) return;
    unmet.push_back(n);
    if (node.kind() != NodeKind::kDirectory) unmetFiles.emplace_back(node.inode, n);
  });
  std::sort(unmetFiles.begin(), unmetFiles.end());
  for (Action& a : actions_) {
    const uint32_t parent = placeRecord(a);
    const std::string_view name(names_.data() + a.nameOffset, a.nameLength);
    if (parent == kNoNode) {
      // Its directory could not be made; neither can it.
      if (a.watch >= 0 && watches_ != nullptr) watches_->release(a.watch);
      continue;
    }
    if (!a.move && a.kind != NodeKind::kDirectory) {
      auto it = std::lower_bound(unmetFiles.begin(), unmetFiles.end(),
                                 std::pair<uint64_t, uint32_t>(a.inode, 0));
      for (; it != unmetFiles.end() && it->first == a.inode; ++it) {
        if (!seen(it->second) && tree_.node(it->second)->kind() == a.kind) {
          markSeen(it->second);
          a.move = true;
          a.record = it->second;
          break;
        }
      }
    }
    if (a.move) {
      const MirrorNode& node = *tree_.node(a.record);
      if (node.parent != parent || tree_.name(a.record) != name) {
        editor.move(a.record, parent, name);
      }
    } else {
      a.record = editor.create(parent, name, a.kind, a.inode, a.changeTime, a.watch);
    }
  }
  for (auto it = unmet.rbegin(); it != unmet.rend(); ++it) {
    if (!seen(*it) && tree_.node(*it) != nullptr) editor.removeTree(*it);
  }
  children_ = MirrorTree::ChildIndex();
}

}  // namespace vessiko
