// The change-journal control codes of a volume: query, create and delete, with the sizes the
// system creates journals with.
#pragma once

#include <atomic>

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
bool QueryJournal(Volume& volume, JournalState* state, uint32_t* error);
// FSCTL_CREATE_USN_JOURNAL.
bool CreateJournal(Volume& volume, uint64_t maximumSize, uint64_t allocationDelta);
// FSCTL_DELETE_USN_JOURNAL with USN_DELETE_FLAG_NOTIFY: returns once a deletion in progress
// has finished. It waits on another handle to the volume, so the other calls on `volume` go
// on meanwhile (on `volume` itself when the volume does not open again). With `cancel`, the
// call waits on a thread of its own and the wait is given up (false) as soon as *cancel is
// raised, so that a close never waits for a deletion; the call then ends by itself.
bool WaitForJournalDeletion(Volume& volume, const std::atomic<bool>* cancel = nullptr);

// Makes sure the volume has a journal, as discovery does: a journal being deleted is waited
// for and created anew (32 MiB), a missing one is created (8 MiB), an existing one is kept as
// it is. *state holds the journal afterwards, or zeroes when none could be had (or the wait
// for a deletion was cancelled). False only for a volume that has no journal and takes none
// (a read-only one): it can be indexed, not followed.
bool PrepareJournal(Volume& volume, JournalState* state, const std::atomic<bool>* cancel = nullptr);

// After a read failed because the journal is being deleted: waits for the deletion, creates
// the journal anew (32 MiB) and queries it. False, with nothing created, when the wait was
// cancelled.
bool RecreateJournal(Volume& volume, JournalState* state,
                     const std::atomic<bool>* cancel = nullptr);

}  // namespace vessiko
