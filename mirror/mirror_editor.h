// MirrorEditor: makes each change to the mirrored tree on the simulated volume and in the
// MirrorTree together, so the two never disagree on record numbers. Journaled, a change writes
// the change-journal records Windows writes for it (creation, rename or move, deletion), which
// the engine's catch-up and journal monitors then apply; quiet, it only fills the volume, for a
// volume the engine will enumerate.
//
// Entries become records with the attributes a Windows user would see: hidden when the name
// starts with a dot, system for anything that is neither a regular file nor a directory.
//
// Thread safety: used by the tree's writer only. The volume's lock is never held together with
// the tree's: the record filler takes the tree's lock inside the volume's.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "mirror/mirror_tree.h"
#include "mirror/watch_registry.h"
#include "platform/sim/sim_volume.h"

namespace vessiko {

// The attributes of an entry's record.
uint32_t AttributesFor(NodeKind kind, std::string_view name);

class MirrorEditor {
 public:
  MirrorEditor(SimVolume& volume, MirrorTree& tree, WatchRegistry* watches)
      : volume_(volume), tree_(tree), watches_(watches) {}

  void setJournaled(bool journaled) { journaled_ = journaled; }

  // A new entry under `parent`; its record number, or kNoNode when the volume refuses it.
  uint32_t create(uint32_t parent, std::string_view name, NodeKind kind, uint64_t inode,
                  uint64_t changeTime, int32_t watch);
  // A rename or move (always journaled). REQUIRES: parent not n nor below it.
  bool move(uint32_t n, uint32_t parent, std::string_view name);
  // The entry and everything below it, children before their parents.
  void removeTree(uint32_t n);

  MirrorTree& tree() { return tree_; }

 private:
  void removeOne(uint32_t n);

  SimVolume& volume_;
  MirrorTree& tree_;
  WatchRegistry* watches_;
  bool journaled_ = true;
  // Reused for every change: a name's UTF-16 form and the volume's entry description.
  SimEntry entry_;
  std::u16string name16_;
};

}  // namespace vessiko
