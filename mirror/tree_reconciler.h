// TreeReconciler: compares the real directory tree with the MirrorTree and brings the tree,
// and the volume behind it, in line. It serves the start (the saved tree against the tree as
// it is now), a lost inotify queue (the whole tree again) and a directory that appears while
// the program runs (its contents).
//
// The walk stays on the root's file system (a mount point is listed but not entered) and does
// not follow symbolic links. An entry still in its folder under its name with its inode is the
// same record. A directory whose change time equals the one saved when it was last read has
// the same entries as then, so only its subdirectories are visited, not its entries read. What
// is left is matched by inode: a directory found elsewhere is moved (at once, so its contents
// are compared in place), a file found elsewhere too (after the walk, since a file with hard
// links has its inode in several places); the rest is created, and what the walk did not meet
// is removed.
//
// The changes are applied in an order Windows could have journaled them: creations and moves
// in the order of the new tree, parents first (so a directory never moves below itself), then
// removals, children first.
//
// A tree made afresh is filled by the walk itself, each entry created as it is read: there is
// nothing to compare it with, and nothing is kept of the walk.
#pragma once

#include <cstdint>
#include <string>
#include <utility>
#include <vector>

#include "mirror/mirror_editor.h"
#include "mirror/mirror_tree.h"
#include "mirror/watch_registry.h"

namespace vessiko {

class TreeReconciler {
 public:
  // root: the mirrored directory's real path; rootDevice: the file system the walk keeps to.
  TreeReconciler(MirrorTree& tree, std::string root, uint64_t rootDevice, WatchRegistry* watches)
      : tree_(tree), root_(std::move(root)), rootDevice_(rootDevice), watches_(watches) {}

  // Walks the real tree below the directory `top` and works out the differences. The tree is
  // not changed, apart from the directories' change times and watches. `findMoves` matches
  // directories met elsewhere by inode; a directory that has just appeared does without, as
  // the watcher is told of every move into it.
  void walk(uint32_t top, bool findMoves);
  // The journal bytes that applying the differences may write, at most.
  uint64_t journalBytes() const;
  // Applies the differences the last walk found.
  void apply(MirrorEditor& editor);
  // Fills a tree that holds nothing but its root with the real tree, quietly. REQUIRES: nothing
  // reads the tree yet.
  void fill(MirrorEditor& editor);

 private:
  struct Action {
    uint64_t inode = 0;
    uint64_t changeTime = 0;
    uint32_t parent = kNoNode;  // a record, or an action's index when parentIsAction
    uint32_t nameOffset = 0;
    uint32_t record = kNoNode;  // the record moved, then the record made
    int32_t watch = -1;
    uint16_t nameLength = 0;
    NodeKind kind = NodeKind::kFile;
    bool parentIsAction = false;
    bool move = false;
  };
  // A directory of the new tree: an existing record, or an action that will create it.
  struct Place {
    uint32_t id;
    bool isAction;
  };

  void visit(Place self, uint32_t old);
  // Reads the entries of the open directory `self` (`old` in the tree, or kNoNode), and closes
  // it.
  void readEntries(int fd, Place self, uint32_t old);
  void visitEntry(Place self, uint32_t old, std::string_view name, NodeKind kind, uint64_t inode);
  void keepSubtree(uint32_t n);
  bool seen(uint32_t n) const { return n < seen_.size() && seen_[n] != 0; }
  void markSeen(uint32_t n);
  void clearMarks();
  void forEachBelow(uint32_t top, auto visit) const {
    if (tree_.childCount(top) != 0) tree_.forEachBelow(children_, top, visit);
  }
  uint32_t oldDirectoryWithInode(uint64_t inode);
  void addAction(Place parent, std::string_view name, NodeKind kind, uint64_t inode, bool move,
                 uint32_t record);
  uint32_t placeRecord(const Action& action) const;

  MirrorTree& tree_;
  std::string root_;
  uint64_t rootDevice_;
  WatchRegistry* watches_;
  uint32_t top_ = kRootNode;
  // The tree's children as the walk found the tree, until the differences are applied.
  MirrorTree::ChildIndex children_;
  std::string path_;  // the directory being visited
  // Marks of the records met. Only the marks set are cleared for the next walk, so a small walk
  // costs nothing for the size of the tree; past a sixteenth of it, all of them are.
  std::vector<uint8_t> seen_;
  std::vector<uint32_t> marked_;
  bool markedMany_ = false;
  bool findMoves_ = true;
  // While filling: the editor that creates each entry as the walk reads it.
  MirrorEditor* filling_ = nullptr;
  std::vector<Action> actions_;
  std::string names_;
  std::vector<std::pair<uint64_t, uint32_t>> directoriesByInode_;
  bool directoriesIndexed_ = false;
  size_t unmet_ = 0;
};

}  // namespace vessiko
