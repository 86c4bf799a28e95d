// What searches keep between runs: the query last typed, the compiled query of the last search
// in each case mode, the query being compiled, the two result lists and the scan's scratch.
//
// Thread safety: searches run on the interface thread, once on the start-up thread and on the
// journal monitors; `lock` keeps them from interleaving. Whoever reads result rows and their
// records (a result view, the filter) holds the index lock and then this lock: searches refill
// the lists under this lock, and monitors change records (parent links, the arenas' chunk
// directories) under the index lock. Lock order: the index lock, then this lock, then the
// directory list's, then the file list's.
#pragma once

#include <mutex>

#include "platform/mutex.h"
#include "search/name_query.h"
#include "search/query_texts.h"
#include "search/result_list.h"
#include "search/scan_scratch.h"

namespace vessiko {

struct SearchState {
  explicit SearchState(PrivateHeap& heap) : dirResults(heap), fileResults(heap) {}

  TypedQuery typed;
  Mutex lock;
  // [0] the case-insensitive mode, [1] the case-sensitive one.
  NameQuery current[2] GUARDED_BY(lock);
  NameQuery previous[2] GUARDED_BY(lock);
  ResultList dirResults GUARDED_BY(lock);
  ResultList fileResults GUARDED_BY(lock);
  ScanScratch scratch GUARDED_BY(lock);
};

}  // namespace vessiko
