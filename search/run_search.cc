#include "search/run_search.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "index/fold_table.h"
#include "index/packed_name.h"
#include "search/matchers.h"
#include "search/query_compiler.h"
#include "search/word_automaton.h"

namespace vessiko {

namespace {

// The scope of a search: -1 (everything), 0 (nothing) or the checked directories.
struct ScopeSelection {
  int32_t count = -1;
  std::vector<RecordRef> dirs;
  std::vector<uint32_t> flags;
};

// Names have at most 255 units; the buffer leaves room for the NUL.
constexpr uint32_t kNameBufferUnits = 262;

// Decodes a packed name for the name tests; without case, single-byte units go through the fold
// table (only A-Z change) and three-byte units stay as they are.
int32_t DecodeName(const uint8_t* bytes, uint32_t length, bool caseSensitive, char16_t* out) {
  int32_t n = 0;
  uint32_t i = 0;
  while (i < length && n < static_cast<int32_t>(kNameBufferUnits) - 1) {
    const uint8_t b = bytes[i];
    if (b < 0x80) {
      out[n++] = caseSensitive ? b : kFoldTable[b];
      ++i;
    } else {
      if (length - i < 3) break;
      out[n++] = static_cast<char16_t>(bytes[i + 1] | bytes[i + 2] << 8);
      i += 3;
    }
  }
  out[n] = 0;
  return n;
}

bool AllPlainWords(const NameQuery& q, const char16_t* name, int32_t n) {
  for (const QueryWord& w : q.plainWords()) {
    if (!containsWord(name, n, w.text, w.length)) return false;
  }
  return true;
}

bool AllStarPatterns(const NameQuery& q, const char16_t* name, int32_t n) {
  for (const WildcardPattern& p : q.starPatterns()) {
    if (!matchStarPattern(p, name, n)) return false;
  }
  return true;
}

bool AllMixedPatterns(const NameQuery& q, const char16_t* name, int32_t n) {
  for (const WildcardPattern& p : q.mixedPatterns()) {
    if (!matchMixedPattern(p, name, n)) return false;
  }
  return true;
}

// The name tests of the five routines, on a packed name and the record's non-ASCII flag. Each
// starts with a quick test on the packed length, which is sound because a packed name has at
// least as many bytes as units.
class NameTest {
 public:
  NameTest(const NameQuery& query, bool caseSensitive)
      : query_(query), caseSensitive_(caseSensitive) {
    if (query.hasFixedPattern()) {
      routine_ = Routine::kFixed;
      minimum_ = query.fixedPattern().length;
    } else if (query.hasStarPatterns()) {
      routine_ = Routine::kStar;
    } else if (query.hasMixedPatterns()) {
      routine_ = Routine::kMixed;
    } else if (query.allAscii == 1 && WordAutomaton::canBuild(query.plainWords())) {
      routine_ = Routine::kAutomaton;
      automaton_.emplace(query.plainWords(), caseSensitive);
    } else {
      routine_ = Routine::kPlain;
    }
    if (routine_ == Routine::kStar || routine_ == Routine::kMixed) {
      for (const auto* patterns : {&query.starPatterns(), &query.mixedPatterns()}) {
        for (const WildcardPattern& p : *patterns)
          minimum_ = std::max(minimum_, p.minimumLength());
      }
    }
    // The first plain word is the longest: the shortest name that can hold them all.
    if (query.hasPlainWords()) minimum_ = std::max(minimum_, query.plainWords()[0].length);
  }

  bool operator()(const uint8_t* bytes, uint32_t length, bool nonAscii) const {
    if (static_cast<int32_t>(length) < minimum_) return false;
    switch (routine_) {
      case Routine::kAutomaton:
        // The byte test turns most names away for a fraction of the automaton's cost.
        return automaton_->mayMatch(bytes, length) && automaton_->matchesAll(bytes, length);
      case Routine::kPlain: {
        // A word with a unit above 127 can only occur in a name that has one.
        if (!nonAscii && query_.allAscii == 0) return false;
        char16_t name[kNameBufferUnits];
        const int32_t n = DecodeName(bytes, length, caseSensitive_, name);
        return AllPlainWords(query_, name, n);
      }
      case Routine::kFixed: {
        char16_t name[kNameBufferUnits];
        const int32_t n = DecodeName(bytes, length, caseSensitive_, name);
        const QueryWord& fixed = query_.fixedPattern();
        return n == fixed.length && matchFixedPattern(name, fixed.text, n) &&
               AllPlainWords(query_, name, n) && AllStarPatterns(query_, name, n) &&
               AllMixedPatterns(query_, name, n);
      }
      case Routine::kStar: {
        char16_t name[kNameBufferUnits];
        const int32_t n = DecodeName(bytes, length, caseSensitive_, name);
        return AllStarPatterns(query_, name, n) && AllPlainWords(query_, name, n) &&
               AllMixedPatterns(query_, name, n);
      }
      case Routine::kMixed: {
        char16_t name[kNameBufferUnits];
        const int32_t n = DecodeName(bytes, length, caseSensitive_, name);
        return AllMixedPatterns(query_, name, n) && AllPlainWords(query_, name, n);
      }
    }
    return false;
  }

 private:
  enum class Routine { kFixed, kStar, kMixed, kPlain, kAutomaton };

  const NameQuery& query_;
  bool caseSensitive_;
  Routine routine_;
  int32_t minimum_ = 0;
  std::optional<WordAutomaton> automaton_;
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
void ScanIndex(Index& index, const NameQuery& query, bool caseSensitive, bool searchFolders,
               bool searchFiles, const int32_t* extensions, int32_t extensionCount,
               const ScopeSelection& scope, SearchState& state) REQUIRES(state.lock) {
  if (!query.hasFixedPattern() && !query.hasStarPatterns() && !query.hasMixedPatterns() &&
      !query.hasPlainWords()) {
    return;  // only words of '*': nothing to run
  }
  const NameTest test(query, caseSensitive);
  const bool scoped = scope.count > 0;
  // The same folders come back again and again, and each answer costs a walk up their parents
  // through records scattered over the arena: keep the answers of one scan in a small
  // direct-mapped table (a slot holds the folder's reference and its answer in the low bit).
  constexpr int kMemoBits = 13;
  constexpr uint32_t kMemoSlots = 1u << kMemoBits;
  // Fibonacci hashing: 2^32 divided by the golden ratio spreads neighbouring references (folders
  // made together) over the table, whose index is the product's top bits.
  constexpr uint32_t kGoldenRatio32 = 0x9E3779B1u;
  std::vector<uint64_t> memo(scoped ? kMemoSlots : 0, ~0ULL);
  const auto inside = [&](RecordRef parent) {
    if (!scoped) return true;
    uint64_t& slot = memo[(parent * kGoldenRatio32) >> (32 - kMemoBits)];
    if (slot >> 1 == parent) return (slot & 1) != 0;
    const bool answer = inScope(index, parent, scope.dirs.data(), scope.flags.data(), scope.count);
    slot = static_cast<uint64_t>(parent) << 1 | (answer ? 1 : 0);
    return answer;
  };
  // The scope test follows parent links: the directory list stays locked for the whole scan.
  std::unique_lock dirLock(index.dirs.mutex(), std::defer_lock);
  if (scoped) dirLock.lock();

  // The walks' callbacks are lambdas, which the lock analysis does not follow into.
  ResultList* dirResults = &state.dirResults;
  ResultList* fileResults = &state.fileResults;
  if (searchFolders && extensions == nullptr) {
    if (!scoped) dirLock.lock();
    index.dirs.forEach([&](RecordRef ref) {
      const DirEntry dir = index.dir(ref);
      if (test(dir.name(), dir.nameLength(), dir.hasNonAscii()) && inside(dir.parentLink())) {
        dirResults->append(ref);
      }
    });
    if (!scoped) dirLock.unlock();
  }
  if (searchFiles) {
    MutexLock fileLock(index.files.mutex());
    index.files.forEach([&](RecordRef ref) {
      const FileEntry file = index.file(ref);
      const uint8_t* name;
      const uint32_t length = file.nameBytes(&name);
      if (!test(name, length, file.hasNonAscii())) return;
      if (extensions != nullptr &&
          !AcceptsExtension(file.extensionIndex(name + length), extensions, extensionCount)) {
        return;
      }
      if (inside(file.parentLink())) fileResults->append(ref);
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
  ScanIndex(c.index, current, caseSensitive, c.ui.searchFolders, c.ui.searchFiles,
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
