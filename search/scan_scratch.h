// ScanScratch: what the scan of one search state keeps from one search to the next, so that a
// search allocates nothing it had before: the results of the lanes after the first (the first
// lane appends to the result lists themselves), the scope's per-folder answers, and which blocks
// of each entry list hold a name with a unit above 127.
#pragma once

#include <cstdint>
#include <vector>

#include "index/record_ref.h"
#include "index/worker_pool.h"
#include "search/scope_answers.h"

namespace vessiko {

// Per block of an entry list, whether a record in it has a name with a unit above 127, as the
// list was at `version`. A query whose every match needs such a unit passes the other blocks
// by; names beginning with one sort together at the end of the lists.
struct NonAsciiBlocks {
  uint64_t version = ~0ULL;
  std::vector<uint8_t> holds;
};

struct ScanScratch {
  std::vector<RecordRef> laneResults[WorkerPool::kMaxLanes];
  ScopeAnswers scope;
  NonAsciiBlocks dirBlocks;
  NonAsciiBlocks fileBlocks;
};

}  // namespace vessiko
