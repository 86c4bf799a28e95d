#include "search/run_search.h"

#include <algorithm>
#include <atomic>
#include <vector>

#include "index/worker_pool.h"
#include "search/name_test.h"
#include "search/query_compiler.h"

namespace vessiko {

namespace {

// The scope of a search: -1 (everything), 0 (nothing) or the checked directories.
struct ScopeSelection {
  int32_t count = -1;
  std::vector<RecordRef> dirs;
  std::vector<uint32_t> flags;
};

bool AcceptsExtension(int32_t extension, const int32_t* extensions, int32_t count) {
  if (extension < 0) return false;
  for (int32_t i = 0; i < count; ++i) {
    if (extensions[i] == extension) return true;
  }
  return false;
}

// Runs with the results of a search that cannot find anything.
void ShowNoResults(SearchContext& c) REQUIRES(c.state.lock) {
  c.state.dirResults.releaseBlocks();
  c.state.fileResults.releaseBlocks();
  c.state.previous[0].clear();
  c.state.previous[1].clear();
  ShowStatus(c.messages, 0, nullptr);
  c.view.setResultCount(0);
  c.view.redrawResults(0, ResultView::kToTheEnd);
}

// The checked directories of the scope, as records; a key the map no longer holds (a folder
// deleted since it was chosen) is left out.
ScopeSelection SelectScope(SearchContext& c) {
  ScopeSelection scope;
  std::vector<EntryKey> keys;
  scope.count = c.scope.selectedScope(&keys, &scope.flags);
  if (scope.count <= 0) return scope;
  std::vector<uint32_t> flags;
  MutexLock lock(c.index.dirs.mutex());
  for (size_t i = 0; i < keys.size(); ++i) {
    const DirMapPair* pair = c.index.dirMap.find(keys[i]);
    if (pair == nullptr || pair->dir == kNoRecord) continue;
    scope.dirs.push_back(pair->dir);
    flags.push_back(scope.flags[i]);
  }
  scope.flags = std::move(flags);
  scope.count = static_cast<int32_t>(scope.dirs.size());
  return scope;
}

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
// such units can match, blocks known to hold none are passed by.
//
// A folder answered for the first time costs a read of its record, somewhere in the arena: the
// lane asks for it ahead and answers a few matches later, in the order they were found.
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
    constexpr uint32_t kAhead = 8;
    RecordRef waiting[kAhead];
    RecordRef waitingParent[kAhead];
    uint32_t oldest = 0;
    uint32_t waitingCount = 0;
    const auto answerOldest = [&] {
      if (scope->contains(waitingParent[oldest])) keep(waiting[oldest]);
      oldest = (oldest + 1) % kAhead;
      --waitingCount;
    };
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
          if (scope == nullptr) {
            keep(ref);
          } else {
            if (waitingCount == kAhead) answerOldest();
            scope->prefetch(parent);
            const uint32_t at = (oldest + waitingCount++) % kAhead;
            waiting[at] = ref;
            waitingParent[at] = parent;
          }
        }
        any |= nonAscii;
      }
      // Two lanes may share a block.
      if (!known && any) {
        std::atomic_ref<uint8_t>(blocks.holds[b]).store(1, std::memory_order_relaxed);
      }
    }
    while (waitingCount > 0)
      answerOldest();
  });
  blocks.version = list.version();
  for (unsigned lane = 1; lane < pool.lanes(); ++lane) {
    for (const RecordRef ref : scratch.laneResults[lane])
      results.append(ref);
  }
}

// The shape-chosen routine alone: fills the result lists for a compiled query.
void ScanIndex(WorkerPool& pool, Index& index, const NameQuery& query, bool caseSensitive,
               bool searchFolders, bool searchFiles, const int32_t* extensions,
               int32_t extensionCount, const ScopeSelection& scope, SearchState& state)
    REQUIRES(state.lock) {
  if (!query.hasFixedPattern() && !query.hasStarPatterns() && !query.hasMixedPatterns() &&
      !query.hasPlainWords()) {
    return;  // only words of '*': nothing to run
  }
  const NameTest test(query, caseSensitive);
  const bool scoped = scope.count > 0;
  ScanScratch& scratch = state.scratch;
  const ScopeAnswers* answers = scoped ? &scratch.scope : nullptr;
  // The scope test follows parent links: the directory list stays locked for the whole scan.
  std::unique_lock dirLock(index.dirs.mutex(), std::defer_lock);
  if (scoped) {
    dirLock.lock();
    scratch.scope.prepare(index, scope.dirs.data(), scope.flags.data(), scope.count);
  }

  if (searchFolders && extensions == nullptr) {
    if (!scoped) dirLock.lock();
    ScanList(pool, index.dirs, test.needsNonAscii(), scratch.dirBlocks, answers, scratch,
             state.dirResults, [&](RecordRef ref, bool* nonAscii, RecordRef* parent) {
               const DirEntry dir = index.dir(ref);
               *nonAscii = dir.hasNonAscii();
               *parent = dir.parentLink();
               return test(dir.name(), dir.nameLength(), *nonAscii);
             });
    if (!scoped) dirLock.unlock();
  }
  if (searchFiles) {
    MutexLock fileLock(index.files.mutex());
    ScanList(pool, index.files, test.needsNonAscii(), scratch.fileBlocks, answers, scratch,
             state.fileResults, [&](RecordRef ref, bool* nonAscii, RecordRef* parent) {
               const FileEntry file = index.file(ref);
               const uint8_t* name;
               const uint32_t length = file.nameBytes(&name);
               *nonAscii = file.hasNonAscii();
               if (!test(name, length, *nonAscii)) return false;
               if (extensions != nullptr && !AcceptsExtension(file.extensionIndex(name + length),
                                                              extensions, extensionCount)) {
                 return false;
               }
               *parent = file.parentLink();
               return true;
             });
  }
}

void SearchLocked(SearchContext& c, const QueryTexts& query) REQUIRES(c.state.lock) {
  // The one-shot flags are taken before anything is read, so that one raised while this search
  // runs survives for the search waiting behind it (this one may have read the old state).
  bool forced = false;
  for (std::atomic<bool>* flag :
       {&c.ui.scopeChanged, &c.ui.optionsChanged, &c.ui.indexChanged, &c.ui.extensionChanged}) {
    forced |= flag->exchange(false);
  }
  const ScopeSelection scope = SelectScope(c);

  char16_t name[kQueryTextUnits] = {};
  char16_t extension[kExtensionTextUnits] = {};
  query.name.copy(name, std::min<size_t>(query.name.size(), kQueryTextUnits - 1));
  query.extension.copy(extension,
                       std::min<size_t>(query.extension.size(), kExtensionTextUnits - 1));

  int32_t extensions[kMaxQueryExtensions];
  int32_t extensionCount = 0;
  const bool hadExtension = ParseExtensionList(extension, c.index.extensions, extensions,
                                               kMaxQueryExtensions, &extensionCount);
  const bool caseSensitive = c.ui.caseSensitive;
  NameQuery& current = c.state.current[caseSensitive ? 1 : 0];
  NameQuery& previous = c.state.previous[caseSensitive ? 1 : 0];
  const bool compiled = CompileNameQuery(name, caseSensitive, current);
  if (!compiled || (hadExtension && extensionCount == 0) || scope.count == 0) {
    ShowNoResults(c);
    return;
  }
  if (current.equals(previous) && !forced) return;
  previous.assign(current);
  c.state.dirResults.clear();
  c.state.fileResults.clear();
  ScanIndex(c.workers != nullptr ? *c.workers : WorkerPool::shared(), c.index, current,
            caseSensitive, c.ui.searchFolders, c.ui.searchFiles,
            hadExtension ? extensions : nullptr, extensionCount, scope, c.state);
  const uint32_t total = c.state.dirResults.count() + c.state.fileResults.count();
  ShowStatus(c.messages, static_cast<int>(total), nullptr);
  c.view.setResultCount(total);
}

}  // namespace

void RunSearch(SearchContext& c, const QueryTexts& query) {
  c.state.typed.set(query);
  if (!c.ui.searchEnabled) return;
  MutexLock searchLock(c.state.lock);
  if (!c.ui.searchEnabled) return;  // a filter came in while this search waited
  SearchLocked(c, query);
}

void RepeatSearch(SearchContext& c) {
  if (!c.ui.searchEnabled) return;
  MutexLock searchLock(c.state.lock);
  if (!c.ui.searchEnabled) return;
  SearchLocked(c, c.state.typed.get());
}

}  // namespace vessiko
