// ScanList: one pass of a search over an entry list, on every lane of a worker pool. The list
// is split into contiguous ranges of records, one per lane; the partial results are joined in
// lane order, so that they come out as a single scan in list order gives them.
#pragma once

#include <atomic>
#include <cstdint>
#include <optional>
#include <vector>

#include "index/entry_list.h"
#include "index/worker_pool.h"
#include "search/result_list.h"
#include "search/scan_scratch.h"
#include "search/scope_answers.h"

namespace vessiko {

// The most results a lane's buffer keeps room for between searches.
constexpr size_t kKeptLaneResults = 1 << 16;

// Where a lane's records begin: the block and the slot within it.
struct ListPlace {
  uint32_t block;
  uint32_t slot;
};

// The list in one contiguous range of records per lane, [places[k], places[k + 1]) for lane k,
// each with as many records to test as the others, give or take one; skipped(b) tells the
// blocks whose records will not be tested.
template <class Skipped>
void SplitList(const EntryList& list, unsigned lanes, const Skipped& skipped, ListPlace* places) {
  const auto tested = [&](uint32_t b) { return skipped(b) ? 0 : list.block(b).size(); };
  uint64_t total = 0;
  for (uint32_t b = 0; b < list.blockCount(); ++b)
    total += tested(b);
  uint32_t block = 0;
  uint64_t before = 0;  // records to test in the blocks before `block`
  for (unsigned lane = 0; lane < lanes; ++lane) {
    const uint64_t first = total * lane / lanes;
    while (block < list.blockCount() && before + tested(block) <= first)
      before += tested(block++);
    places[lane] =
        block < list.blockCount()
            ? ListPlace{block, list.block(block).first + static_cast<uint32_t>(first - before)}
            : ListPlace{block, 0};
  }
  places[lanes] = {list.blockCount(), 0};
}

// Appends to `results`, in list order, every record of the list that matches(ref, &nonAscii,
// &parent) passes and, when a scope is given, whose parent lies in it; matches also tells
// whether the record's name has a unit above 127. Each lane scans one range of the list; the
// first appends as it goes, the others into buffers of their own, joined after it in lane
// order, so the lists come out as one scan in list order would give them. When only names with
// such units can match, blocks known to hold none are passed by. The scope's questions go
// through one queue per lane (ScopeAnswers::Queue).
template <class Matches>
void ScanList(WorkerPool& pool, const EntryList& list, bool onlyNonAscii, NonAsciiBlocks& blocks,
              const ScopeAnswers* scope, ScanScratch& scratch, ResultList& results,
              const Matches& matches) {
  const bool known = blocks.version == list.version() && blocks.holds.size() == list.blockCount();
  if (!known) blocks.holds.assign(list.blockCount(), 0);
  const auto skipped = [&](uint32_t b) { return known && onlyNonAscii && blocks.holds[b] == 0; };
  ListPlace places[WorkerPool::kMaxLanes + 1];
  SplitList(list, pool.lanes(), skipped, places);
  pool.run([&](unsigned lane) {
    std::vector<RecordRef>& own = scratch.laneResults[lane];
    own.clear();
    const auto keep = [&](RecordRef ref) {
      if (lane == 0) {
        results.append(ref);
      } else {
        own.push_back(ref);
      }
    };
    std::optional<ScopeAnswers::Queue> questions;
    if (scope != nullptr) questions.emplace(*scope);
    const ListPlace from = places[lane];
    const ListPlace to = places[lane + 1];
    for (uint32_t b = from.block; b < to.block || (b == to.block && b < list.blockCount()); ++b) {
      if (skipped(b)) continue;
      const EntryList::Block& block = list.block(b);
      const uint32_t first = b == from.block ? from.slot : block.first;
      const uint32_t end = b == to.block ? to.slot : block.end;
      bool any = false;
      for (uint32_t slot = first; slot < end; ++slot) {
        const RecordRef ref = block.slots[slot];
        bool nonAscii;
        RecordRef parent;
        if (matches(ref, &nonAscii, &parent)) {
          if (questions) {
            questions->ask(ref, parent, keep);
          } else {
            keep(ref);
          }
        }
        any |= nonAscii;
      }
      // Two lanes may share a block.
      if (!known && any) {
        std::atomic_ref<uint8_t>(blocks.holds[b]).store(1, std::memory_order_relaxed);
      }
    }
    if (questions) questions->finish(keep);
  });
  blocks.version = list.version();
  for (unsigned lane = 1; lane < pool.lanes(); ++lane) {
    std::vector<RecordRef>& own = scratch.laneResults[lane];
    for (const RecordRef ref : own)
      results.append(ref);
    // The result lists hold the results; a lane keeps room for an ordinary search's share only.
    if (own.capacity() > kKeptLaneResults) std::vector<RecordRef>().swap(own);
  }
}

}  // namespace vessiko
