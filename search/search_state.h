// What searches keep between runs: the compiled query of the last search in each case mode,
// the query being compiled, and the two result lists.
//
// Thread safety: searches run on the interface thread, once on the start-up thread and on the
// journal monitors; `lock` keeps them from interleaving, and whoever reads the result lists
// (the result view, the filter) holds it too. Lock order: the index lock, then this lock, then
// the directory list's, then the file list's.
#pragma once

#include <mutex>

#include "search/name_query.h"
#include "search/result_list.h"

namespace vessiko {

struct SearchState {
  explicit SearchState(PrivateHeap& heap) : dirResults(heap), fileResults(heap) {}

  // [0] the case-insensitive mode, [1] the case-sensitive one.
  NameQuery current[2];
  NameQuery previous[2];
  ResultList dirResults;
  ResultList fileResults;
  std::mutex lock;
};

}  // namespace vessiko
