// The change-journal control codes of a volume: query, create and delete, with the sizes the
// system creates journals with.
#pragma once

#include <cstdint>

#include "platform/volume.h"

namespace vessiko {

struct JournalState {
  uint64_t id = 0;
  int64_t firstUsn = 0;
  int64_t nextUsn = 0;
};

// A journal created because none was active: 8 MiB, growing by 1 MiB.
constexpr uint64_t kNewJournalSize = 0x800000;
constexpr uint64_t kNewJournalDelta = 0x100000;
// A journal created after a deletion that was in progress: 32 MiB, growing by 4 MiB.
constexpr uint64_t kRecreatedJournalSize = 0x2000000;
constexpr uint64_t kRecreatedJournalDelta = 0x400000;

// FSCTL_QUERY_USN_JOURNAL. False with the system error; *state is then all zero.
bool queryJournal(Volume& volume, JournalState* state, uint32_t* error);
// FSCTL_CREATE_USN_JOURNAL.
bool createJournal(Volume& volume, uint64_t maximumSize, uint64_t allocationDelta);
// FSCTL_DELETE_USN_JOURNAL with USN_DELETE_FLAG_NOTIFY: returns once a deletion in progress
// has finished.
bool waitForJournalDeletion(Volume& volume);

// Makes sure the volume has a journal, as discovery does: a journal being deleted is waited
// for and created anew (32 MiB), a missing one is created (8 MiB), an existing one is kept as
// it is. *state holds the journal afterwards, or zeroes when none could be had.
void prepareJournal(Volume& volume, JournalState* state);

// After a read failed because the journal is being deleted: waits for the deletion, creates
// the journal anew (32 MiB) and queries it.
void recreateJournal(Volume& volume, JournalState* state);

}  // namespace vessiko
