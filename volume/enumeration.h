// EnumerateVolumes: builds the whole index from nothing. It reads every open volume's master
// file table through FSCTL_ENUM_USN_DATA, makes one record per directory and per file name
// (appended unordered), links every record to its parent directory and sorts both lists by
// collation once. The table is read while the volumes change, so the journal is then replayed
// from the position discovery read, skipping each change the table showed already (a record
// read at a later USN), which makes the index the volumes as they are now; records that then
// hang from no volume root are dropped, and the slots' next USNs are where the replay ended.
//
// Runs on the start-up thread while no other thread touches the index, so it takes no locks.
#pragma once

#include <atomic>

#include "index/index.h"
#include "index/worker_pool.h"
#include "platform/user_messages.h"
#include "volume/volume_slot.h"

namespace vessiko {

// Expects an empty index whose extension table holds the built-in extensions. Returns 0; 1 when
// memory for sorting ran out, leaving a list in volume order (searchable, but not in the order the
// journal's ordered inserts, the save and the next load rely on); 2 when a volume's journal
// discarded changes made during the build before they were replayed: the index may miss them,
// and a build from the journal as it is now would not. When
// *cancel turns true (the program closes) it stops early, leaving a partial index. The lists are
// sorted on the lanes of `workers`, the process's pool when null.
int EnumerateVolumes(Index& index, VolumeSlots& slots, UserMessages& messages,
                     const std::atomic<bool>* cancel = nullptr, WorkerPool* workers = nullptr);

}  // namespace vessiko
