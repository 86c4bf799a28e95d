// ApplyChange: one record of a volume's change journal applied to the index. Only names and
// parent links are followed: creations, deletions, renames (a move is a rename to another
// folder) and hard links.
//
// A record tells the state of one name of one file at the moment it was written. NTFS gathers
// a file's reasons from its first change until its last handle closes, and every record written
// meanwhile carries all of them, so the reasons tell what happened since the file was opened,
// not only what happened now (under an editor's handle a rename then a delete closes with
// RENAME_NEW_NAME | FILE_DELETE | CLOSE). The handler follows from the reasons, in this order:
//
//   RENAME_OLD_NAME          the name is gone: the first half of a rename, never carried into
//                            later records. A directory's record waits for the new name, which
//                            takes over its children.
//   FILE_DELETE              the name is gone (written at the last close, when the file goes)
//   HARD_LINK_CHANGE         a name was added or removed: the file record tells whether this one
//                            is there now (without the volume's slot nothing is done)
//   FILE_CREATE or
//   RENAME_NEW_NAME          the name is there, from the first record on, not only at the close
//
// Anything else changes nothing. Adding a name that is there and removing one that is not change
// nothing, and an entry is told apart from its namesakes by its record number (a directory by
// its key), so every handler is a binary search.
//
// A renamed directory gets a new record; its children still name the old one (which keeps its
// key and name) until SettleRenamedDirectories re-points them all in one walk of the lists, and
// the handlers compare parents by key meanwhile. Callers that apply many records settle once at
// the end of each batch, before anyone else reads the lists.
//
// Callers: the journal monitors, each batch under the index lock; the catch-up at start-up and
// the replay after a build, before any other thread uses the index; the save's last pass.
#pragma once

#include <cstdint>
#include <utility>
#include <vector>

#include "index/index.h"
#include "index/packed_name.h"
#include "platform/user_messages.h"
#include "volume/volume_slot.h"

namespace vessiko {

// Told of every change that altered the index, with the changed name (its extension already
// lowered), so that live results can follow; then told once the changes of a batch are settled.
class ChangeListener {
 public:
  virtual ~ChangeListener() = default;
  virtual void changeApplied(bool isDirectory, char16_t* name, uint32_t length) = 0;
  // Renamed folders have taken their children over: the paths shown below them changed.
  virtual void directoriesRenamed() {}
  virtual void changesSettled() {}
};

struct ChangeContext {
  Index& index;
  UserMessages& messages;
  ChangeListener* listener = nullptr;
  // The volume's slot: the names of a hard-link change are read from its file record.
  VolumeSlot* slot = nullptr;
  // Whether the children of renamed directories wait for SettleRenamedDirectories (a batch of
  // records) or each ApplyChange settles before it returns (a single record).
  bool deferSettling = false;
  // The records replay the changes made while the index was read from the table. A folder read
  // before it was deleted and made anew under the same record number then holds entries read
  // after: its deletion hands them on, as a rename's old name does, to the record made anew.
  bool replayingBuild = false;
  // Directories taken out by a rename's old name whose new name has not come yet. A rename
  // never crosses volumes, so each volume keeps its own (in its slot between batches).
  std::vector<PendingRename> pending = {};
  // Renamed directories whose children still name the old record: (old, new).
  std::vector<std::pair<RecordRef, RecordRef>> moved = {};
  // The state the last record applied left: the next record, when it tells the same, is skipped.
  struct Applied {
    uint64_t fileReference = 0;  // 0: none
    uint64_t parentReference = 0;
    bool there = false;
    uint32_t length = 0;
    char16_t name[kMaxNameUnits];
  } lastApplied = {};
  // A record number too wide for a key was met, and the user told so once.
  bool reportedWideRecord = false;
};

// One journal record as it is applied: its volume, the USN_RECORD_V2 fields read, and its name
// in a buffer of the caller's that the change application may change.
struct JournalChange {
  uint32_t volume = 0;
  uint32_t attributes = 0;
  uint32_t reason = 0;
  uint64_t fileReference = 0;
  uint64_t parentReference = 0;
  char16_t* name = nullptr;
  uint32_t length = 0;  // UTF-16 units
};

void ApplyChange(ChangeContext& context, const JournalChange& change);

// Re-points the children of the directories renamed since the last call at their new records
// (one walk of both lists), tells the listener of the renamed directories, and that the changes
// are settled.
void SettleRenamedDirectories(ChangeContext& context);

}  // namespace vessiko
