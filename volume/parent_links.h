// Linking a freshly enumerated index: every parent link, which holds the parent's EntryKey while
// the index is built, becomes a reference to the parent's record.
//
// The table is read while the volume goes on changing, so a record may name a parent that is
// gone by the time the table was read, or folders read at different moments may name each
// other. Nothing is dropped while linking: a record whose parent key is not in the directory map
// is linked to a placeholder of that key that no list holds, left in the volume's slot as a
// folder taken out by a rename is: when the journal's replay after the build makes the folder,
// its record takes the children over. DropUnrooted then removes whatever does not hang from a
// volume root.
#pragma once

#include "index/index.h"
#include "volume/volume_slot.h"

namespace vessiko {

void LinkParents(Index& index, VolumeSlots& slots);

// Removes every directory that does not hang from a volume root through listed directories
// (from the list, and from the map when the map names that record) and every file in such a
// directory. False when memory for the walk ran out; nothing is removed then.
bool DropUnrooted(Index& index);

}  // namespace vessiko
