// Linking a freshly enumerated index: every parent link, which holds the parent's EntryKey while
// the index is built, becomes a reference to the parent's record.
//
// A record whose parent is not in the index is dropped. A dropped directory also leaves the
// directory map, and everything below it is dropped too, so that afterwards every record's
// chain of parents ends at a volume root: no walk up a chain can meet a key that was never
// turned into a reference.
#pragma once

#include "index/index.h"

namespace vessiko {

void linkParents(Index& index);

}  // namespace vessiko
