// EnumerateVolumes: builds the whole index from nothing. It reads every open volume's master
// file table through FSCTL_ENUM_USN_DATA, makes one record per directory and per file
// (appended unordered), links every record to its parent directory, drops records whose parent
// is not in the index, and sorts both lists by collation once, at the end.
//
// Runs on the start-up thread while no other thread touches the index, so it takes no locks.
#pragma once

#include <atomic>

#include "index/index.h"
#include "platform/user_messages.h"
#include "volume/volume_slot.h"

namespace vessiko {

// Expects an empty index whose extension table holds the built-in extensions. Returns 0; 1 when
// memory for sorting ran out, leaving the lists in volume order (searchable, but not in the order
// the journal's ordered inserts, the save and the next load rely on). When *cancel turns true
// (the program closes) it stops early, leaving a partial index.
int EnumerateVolumes(Index& index, VolumeSlots& slots, UserMessages& messages,
                     const std::atomic<bool>* cancel = nullptr);

}  // namespace vessiko
