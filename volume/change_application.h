// ApplyChange: one record of a volume's change journal applied to the index. Only names and
// parent links are followed: creations, deletions and renames (a move is a rename to another
// folder). A directory that is renamed or moved keeps its children, which move to its new
// record; a file that is renamed or moved is removed and added again.
//
// The five cases, in order, by the record's reasons:
//   FILE_CREATE and FILE_DELETE          nothing (created and deleted before it was closed)
//   FILE_CREATE and CLOSE                add directory / add file
//   RENAME_NEW_NAME and CLOSE            rename directory in / add file
//   RENAME_OLD_NAME (without CREATE)     rename directory out / remove file
//   FILE_DELETE and CLOSE                remove directory / remove file
//
// Journal records may be applied to an index that has seen some of them already (the index of
// a build is read while the volume goes on changing, and the monitors replay the journal from
// before the build): adding what is there already changes nothing, and a directory leaves the
// lists as the record the directory map holds for its key, whatever name the journal gives.
//
// Callers: the journal monitors, each batch under the index lock, and the catch-up at start-up
// before any other thread uses the index.
#pragma once

#include <cstdint>

#include "index/index.h"
#include "platform/user_messages.h"

namespace vessiko {

// Told of every change a handler applied, with the changed name (its extension already
// lowered), so that live results can follow.
class ChangeListener {
 public:
  virtual ~ChangeListener() = default;
  virtual void changeApplied(bool isDirectory, char16_t* name, uint32_t length) = 0;
};

struct ChangeContext {
  Index& index;
  UserMessages& messages;
  ChangeListener* listener = nullptr;
  // The directory most recently taken out by a rename's old name: the record whose children
  // the new name takes over; kNoRecord when empty. One per volume: a rename never crosses
  // volumes, and monitors of two volumes must not hand each other's children over.
  RecordRef pendingOldDir = kNoRecord;
  // A record number too wide for a key was met, and the user told so once.
  bool reportedWideRecord = false;
};

void ApplyChange(ChangeContext& context, uint32_t volume, uint32_t attributes, uint32_t reason,
                 uint64_t fileReference, uint64_t parentReference, char16_t* name, uint32_t length);

}  // namespace vessiko
