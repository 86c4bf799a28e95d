// CompactRecords: lays the records of a freshly built index out again in list order, so that a
// search, which walks the lists from front to back, reads the arenas from front to back too
// instead of jumping through them in the order the volumes listed their files. It also leaves
// every directory record where the core database's record indexes will put it.
//
// Expects a linked index (every parent link a reference, every parent in the directory list)
// that no other thread uses. All memory is taken before anything changes: when it runs out the
// index stays as it was and the result is false.
#pragma once

#include "index/index.h"

namespace vessiko {

bool CompactRecords(Index& index);

}  // namespace vessiko
