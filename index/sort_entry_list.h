// Sorting a freshly built entry list into the order of its comparison (Index::dirOrder,
// Index::fileOrder) on the lanes of a worker pool. Entries that compare equal (only the hard
// links of one name) may fall in any order; otherwise the order is sortEntryPointers' order.
//
// A comparison of two records reads two records scattered over the arena; this sort reads each
// record once per 8 bytes of name it shares with others instead. Every entry gets an 8-byte key
// of its name (CollationKeys) and the lanes sort (key, reference) items: the first two key bytes
// part them in buckets, which the lanes then take one at a time, largest first, and sort
// completely by a radix sort on the keys. Items whose keys tie get the next key of their names,
// and names that tie to their ends get what orders them then (a directory's key; a file's
// extension and record number).
//
// Memory: 12 bytes per entry, 256 KiB per lane and about 400 KiB besides, from the index's heap
// and given back before the sort returns.
#pragma once

#include "index/index.h"
#include "index/worker_pool.h"

namespace vessiko {

// False, with the failure told, when memory for the sort ran out: the list is unchanged then.
// No other thread may use the index meanwhile.
bool SortDirList(Index& index, WorkerPool& workers);
bool SortFileList(Index& index, WorkerPool& workers);

}  // namespace vessiko
