#include "search/run_search.h"

#include <algorithm>
#include <vector>

#include "index/worker_pool.h"
#include "search/list_scan.h"
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
