// MirrorEditor: makes each change of the mirrored tree on the MirrorVolume: in the tree, and,
// journaled, in the volume's change journal with the records Windows writes for it, which the
// engine's catch-up and journal monitors then apply:
//
//   creation          FILE_CREATE, then FILE_CREATE | CLOSE
//   rename or move    RENAME_OLD_NAME (old name and parent), RENAME_NEW_NAME, then
//                     RENAME_NEW_NAME | CLOSE; a name that gains or loses its leading dot then
//                     writes BASIC_INFO_CHANGE and BASIC_INFO_CHANGE | CLOSE
//   removal           FILE_DELETE | CLOSE, and the record is freed
//
// Quiet, a change only fills the tree, for a volume the engine will enumerate. A name with more
// UTF-16 units than an NTFS name holds (255) cannot be a record: such an entry is left out.
//
// Thread safety: used by the tree's writer only. Each change holds the volume's lock
// exclusively while it changes the tree and writes its records.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "mirror/mirror_tree.h"
#include "mirror/mirror_volume.h"
#include "mirror/watch_registry.h"
#include "platform/clock.h"

namespace vessiko {

class MirrorEditor {
 public:
  MirrorEditor(MirrorVolume& volume, WatchRegistry* watches, Clock& clock)
      : volume_(volume), tree_(volume.tree()), watches_(watches), clock_(clock) {}

  void setJournaled(bool journaled) { journaled_ = journaled; }

  // A new entry under `parent`; its record number, or kNoNode when it cannot be one (a name too
  // long, no record number left).
  uint32_t create(uint32_t parent, std::string_view name, NodeKind kind, uint64_t inode,
                  uint64_t changeTime, int32_t watch);
  // A rename or move (always journaled). REQUIRES: parent not n nor below it.
  void move(uint32_t n, uint32_t parent, std::string_view name);
  // The entry and everything below it, children before their parents.
  void removeTree(uint32_t n);

  MirrorTree& tree() { return tree_; }

 private:
  // REQUIRES: the volume's lock held exclusively.
  void journal(uint32_t n, uint32_t reason, uint32_t parent, std::u16string_view name,
               uint32_t attributes, uint64_t now);
  void removeOne(uint32_t n);
  // The name's UTF-16 form in name16_; false when it has more units than a record name holds.
  bool decode(std::string_view name);

  MirrorVolume& volume_;
  MirrorTree& tree_;
  WatchRegistry* watches_;
  Clock& clock_;
  bool journaled_ = true;
  // Reused for every change: names in their UTF-16 form.
  std::u16string name16_;
  std::u16string old16_;
};

}  // namespace vessiko
