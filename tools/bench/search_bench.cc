// Times RunSearch over indexes of synthetic names (1M and 10M entries by default; counts on the
// command line) laid out as after a real build: one entry in ten a folder, in a tree, linked,
// sorted and compacted. Each routine of the scan is timed as the best of several runs, and each
// result count is checked against a plain count over every name first. The baseline is grep
// over a flat file of the same names (one per line, UTF-8, in the C locale, so that -i folds
// A-Z only, as the search does), timed the same way.
//
// Times are wall-clock times, the best of several runs: a search on all the machine's cores
// (the process's worker pool), the same search on one core, and grep, whose time includes
// starting it. Every run's result count is checked.
//
//   build/linux-release/tools/bench/search_bench [entries...]
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <random>
#include <string>
#include <vector>

#include "index/index.h"
#include "index/packed_name.h"
#include "index/record_builder.h"
#include "index/record_compaction.h"
#include "index/sort_entry_list.h"
#include "index/worker_pool.h"
#include "platform/fakes/recording_messages.h"
#include "platform/utf.h"
#include "search/memory_scope_view.h"
#include "search/run_search.h"
#include "tools/bench/bench_arguments.h"
#include "tools/bench/bench_clock.h"
#include "tools/synth/synthetic_names.h"
#include "volume/parent_links.h"

namespace vessiko {
namespace {

constexpr uint32_t kVolume = 2;  // drive C
constexpr int kRuns = 9;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "check failed: %s\n", what);
  std::exit(1);
}

// A folder of the synthetic tree.
struct Folder {
  EntryKey key;
  uint32_t depth;
  uint32_t topLevel;  // index of the folder just below the root it lies in (itself at depth 1)
};

struct BuiltIndex {
  std::vector<Folder> folders;      // [0] is the root
  std::vector<uint64_t> entriesIn;  // entries below each top-level folder, by folder index
};

// Builds the records directly, as the enumeration would (parent links hold keys), writes every
// name to the flat file, then links, sorts and lays the records out in list order.
BuiltIndex BuildIndex(Index& index, uint32_t entries, const char* namesPath) {
  std::FILE* out = std::fopen(namesPath, "wb");
  if (out == nullptr) Fail("names file");
  SyntheticNames names(entries);
  std::mt19937 random(42);
  uint8_t packed[kMaxPackedNameBytes];

  BuiltIndex built;
  const RecordRef root = index.dirArena.allocate(DirEntry::kRootBytes);
  DirEntry::initRoot(index.dirArena.at(root), kVolume);
  if (!index.dirs.append(root) || !index.dirMap.append(RootKey(kVolume), root)) Fail("root");
  built.folders.push_back({RootKey(kVolume), 0, 0});
  built.entriesIn.push_back(0);

  for (uint32_t i = 0; i < entries; ++i) {
    // Recent folders are the likeliest parents, as in trees copied and unpacked together.
    const size_t recent = built.folders.size() > 64 ? 64 : built.folders.size();
    size_t parent = random() % 4 == 0 ? random() % built.folders.size()
                                      : built.folders.size() - 1 - random() % recent;
    const bool folder = i % 10 == 0;
    if (folder && built.folders[parent].depth >= 12) parent = random() % (built.folders.size() / 2);
    const Folder p = built.folders[parent];
    if (p.depth > 0) ++built.entriesIn[p.topLevel];
    std::u16string name = folder ? names.folderName() : names.fileName();
    const std::string utf8 = Utf16ToUtf8(name);
    std::fwrite(utf8.data(), 1, utf8.size(), out);
    std::fputc('\n', out);
    if (folder) {
      const EntryKey key = MakeEntryKey(kVolume, 16 + i);
      const RecordRef ref =
          NewDirRecord(index.dirArena, key, p.key, name.data(), static_cast<uint32_t>(name.size()));
      if (ref == kNoRecord || !index.dirs.append(ref) || !index.dirMap.append(key, ref)) {
        Fail("folder allocation");
      }
      const uint32_t top = p.depth == 0 ? static_cast<uint32_t>(built.folders.size()) : p.topLevel;
      built.folders.push_back({key, p.depth + 1, top});
      built.entriesIn.push_back(0);
      continue;
    }
    FileEntryParts parts =
        PackFileName(index.extensions, name.data(), static_cast<uint32_t>(name.size()),
                     ExtensionUse::kIntern, packed);
    parts.recordNumber = 16 + i;
    parts.parentLink = p.key;
    const RecordRef ref = NewFileRecord(index.fileArena, parts);
    if (ref == kNoRecord || !index.files.append(ref)) Fail("file allocation");
  }
  if (std::fclose(out) != 0) Fail("names file");

  VolumeSlots slots(index.heap);
  LinkParents(index, slots);
  if (index.dirs.itemCount() + index.files.itemCount() != entries + 1) Fail("linking");
  if (!SortDirList(index, WorkerPool::shared()) || !SortFileList(index, WorkerPool::shared())) {
    Fail("sorting");
  }
  if (!CompactRecords(index)) Fail("compaction");
  return built;
}

// One timed search: the two fields, the case mode, and whether the scope is one folder row.
struct Query {
  const char* routine;
  std::u16string name;
  std::u16string extension;
  bool caseSensitive = false;
  bool scoped = false;
  std::string grep;  // the baseline's shell command, reading FILE; empty for none
  // Each run as the first after a change of both lists, so that nothing a search keeps about
  // them (the scope's answers, the blocks without non-ASCII names) holds.
  bool afterChange = false;
  uint32_t expected = 0;
};

// The plain count: the query rules applied to every decoded name, without the engine.
class PlainCount {
 public:
  PlainCount(const Index& index, const Query& q, RecordRef scopeDir)
      : index_(index), q_(q), scopeDir_(scopeDir) {
    std::u16string word;
    for (const char16_t c : q.name + u" ") {
      if (c != u' ') {
        word += q.caseSensitive ? c : fold(c);
      } else if (!word.empty()) {
        words_.push_back(word);
        word.clear();
      }
    }
    for (const char16_t c : q.extension + u" ") {
      if (c != u' ') {
        word += fold(c);
      } else if (!word.empty()) {
        extensions_.push_back(word);
        word.clear();
      }
    }
  }

  void dir(const std::u16string& name, RecordRef parent) {
    if (extensions_.empty() && nameMatches(name) && inScope(parent)) ++count;
  }
  void file(const std::u16string& base, const char16_t* extension, RecordRef parent) {
    if (!nameMatches(base) || !inScope(parent)) return;
    if (!extensions_.empty()) {
      if (extension == nullptr) return;
      bool listed = false;
      for (const std::u16string& e : extensions_)
        listed |= e == extension;
      if (!listed) return;
    }
    ++count;
  }

  uint32_t count = 0;

 private:
  static char16_t fold(char16_t c) {
    return c >= u'A' && c <= u'Z' ? static_cast<char16_t>(c + 32) : c;
  }

  // '*' any run of units, '?' any one unit, over the whole name.
  static bool glob(const std::u16string& p, const std::u16string& s) {
    bool reach[kMaxNameUnits + 2] = {true};
    for (const char16_t c : p) {
      if (c == u'*') {
        for (size_t j = 1; j <= s.size(); ++j)
          reach[j] = reach[j] || reach[j - 1];
      } else {
        for (size_t j = s.size(); j > 0; --j)
          reach[j] = reach[j - 1] && (c == u'?' || c == s[j - 1]);
        reach[0] = false;
      }
    }
    return reach[s.size()];
  }

  bool nameMatches(const std::u16string& raw) {
    std::u16string& name = scratch_;
    name = raw;
    if (!q_.caseSensitive) {
      for (char16_t& c : name)
        c = fold(c);
    }
    for (const std::u16string& w : words_) {
      const bool wild = w.find_first_of(u"*?") != std::u16string::npos;
      if (wild ? !glob(w, name) : name.find(w) == std::u16string::npos) return false;
    }
    return true;
  }

  bool inScope(RecordRef parent) const {
    if (!q_.scoped) return true;
    for (RecordRef at = parent; at != kNoRecord; at = index_.dir(at).parentLink()) {
      if (at == scopeDir_) return true;
    }
    return false;
  }

  const Index& index_;
  const Query& q_;
  RecordRef scopeDir_;
  std::vector<std::u16string> words_;
  std::vector<std::u16string> extensions_;
  std::u16string scratch_;
};

std::u16string Decoded(const uint8_t* bytes, uint32_t length) {
  std::u16string units(length + 1, u'\0');
  units.resize(decodePackedName(units.data(), bytes, length));
  return units;
}

// Counts every query's results in one pass over the index.
void CountPlainly(const Index& index, std::vector<Query>& queries, RecordRef scopeDir) {
  std::vector<PlainCount> counts;
  for (const Query& q : queries)
    counts.emplace_back(index, q, scopeDir);
  index.dirs.forEach([&](RecordRef ref) {
    const DirEntry dir = index.dir(ref);
    const std::u16string name = Decoded(dir.name(), dir.nameLength());
    for (PlainCount& c : counts)
      c.dir(name, dir.parentLink());
  });
  index.files.forEach([&](RecordRef ref) {
    const FileEntry file = index.file(ref);
    const uint8_t* bytes;
    const uint32_t length = file.nameBytes(&bytes);
    const std::u16string base = Decoded(bytes, length);
    const int32_t extension = file.extensionIndex(bytes + length);
    const char16_t* text = extension < 0 ? nullptr : index.extensions.extensionText(extension);
    for (PlainCount& c : counts)
      c.file(base, text, file.parentLink());
  });
  for (size_t i = 0; i < queries.size(); ++i)
    queries[i].expected = counts[i].count;
}

class OneFolder : public FolderResolver {
 public:
  bool folderKey(std::u16string_view, EntryKey* key) override {
    *key = folder;
    return true;
  }
  EntryKey folder = 0;
};

double Milliseconds() {
  timespec t;
  clock_gettime(CLOCK_MONOTONIC, &t);
  return t.tv_sec * 1e3 + t.tv_nsec / 1e6;
}

// The best of several runs of a grep command over the names file; the count it printed in
// *lines.
double TimeGrep(std::string command, const std::string& namesPath, long* lines) {
  for (size_t at = command.find("FILE"); at != std::string::npos; at = command.find("FILE"))
    command.replace(at, 4, namesPath);
  command = "export LC_ALL=C; " + command;
  double best = 1e300;
  for (int run = 0; run < kRuns; ++run) {
    const double start = Milliseconds();
    std::FILE* pipe = popen(command.c_str(), "r");
    if (pipe == nullptr) Fail("grep");
    if (std::fscanf(pipe, "%ld", lines) != 1) Fail("grep output");
    pclose(pipe);
    const double ms = Milliseconds() - start;
    if (ms < best) best = ms;
  }
  return best;
}

void Run(uint32_t entries) {
  const std::string namesPath = "/tmp/vessiko_search_bench_" + std::to_string(entries) + ".txt";
  RecordingMessages messages;
  PrivateHeap heap(messages);
  Index index(heap, Collation::loadCollationTable());
  index.extensions.seedBuiltins();
  Stopwatch building;
  const BuiltIndex built = BuildIndex(index, entries, namesPath.c_str());
  const double buildSeconds = building.seconds();

  // The scope: the top-level folder with the most entries below it, subfolders included.
  size_t biggest = 1;
  for (size_t i = 1; i < built.entriesIn.size(); ++i) {
    if (built.entriesIn[i] > built.entriesIn[biggest]) biggest = i;
  }
  const EntryKey scopeKey = built.folders[biggest].key;
  const RecordRef scopeDir = index.dirMap.find(scopeKey)->dir;

  UiState ui;
  ui.searchEnabled = true;
  MemoryScopeView view;
  OneFolder folders;
  folders.folder = scopeKey;
  ScopeList scope(view, folders, messages);
  scope.insertRow(0, u"System (C:)", true);
  scope.setSecondColumn(0, u"是");
  SearchState state(heap);
  ResultView unseen;
  WorkerPool oneLane(1);
  SearchContext context{index, ui, messages, unseen, scope, state};

  // The baselines read FILE; they look for the same text, though grep sees whole names with
  // their extensions where the search sees base names.
  std::vector<Query> queries = {
      {"automaton", u"rep", u"", false, false, "grep -c -i -F rep FILE"},
      {"automaton", u"microsoft", u"", false, false, "grep -c -i -F microsoft FILE"},
      {"automaton", u"report final 20", u"", false, false,
       "grep -i -F report FILE | grep -i -F final | grep -c -i -F 20"},
      {"plain", u"文档", u"", false, false, "grep -c -F 文档 FILE"},
      {"plain", u"文档", u"", false, false, "grep -c -F 文档 FILE", true},
      {"star", u"IMG_*_1*", u"", false, false, "grep -c -i '^IMG_.*_1' FILE"},
      {"mixed", u"IMG_20????0?_*", u"", false, false, "grep -c -i '^IMG_20....0._' FILE"},
      {"fixed", u"IMG_20??????_????", u"", false, false, "grep -c -i '^IMG_20......_....[.]' FILE"},
      {"automaton", u"rep", u"jpg png", false, false, "grep -c -i -E 'rep.*[.](jpg|png)$' FILE"},
      {"automaton", u"rep", u"", false, true, ""},
      {"automaton", u"rep", u"", false, true, "", true},
      {"automaton", u"Windows", u"", true, false, "grep -c -F Windows FILE"},
  };
  Stopwatch counting;
  CountPlainly(index, queries, scopeDir);
  const double countSeconds = counting.seconds();

  std::printf(
      "%u entries (%u folders, %u files): built in %.1f s, counted plainly in %.1f s; %u lanes\n",
      entries, index.dirs.itemCount(), index.files.itemCount(), buildSeconds, countSeconds,
      WorkerPool::shared().lanes());
  std::printf("  %-20s %-10s %-18s %9s %9s %9s %9s %7s %10s\n", "query", "routine", "options",
              "results", "ms", "1 lane ms", "grep ms", "ratio", "grep lines");
  for (const Query& q : queries) {
    if (q.scoped) {
      scope.insertRow(1, u"C:\\scope", false);
      scope.setSecondColumn(1, u"是");
    }
    ui.caseSensitive = q.caseSensitive;
    uint32_t results = 0;
    const auto time = [&](WorkerPool* pool) {
      context.workers = pool;
      double best = 1e300;
      for (int r = 0; r < kRuns; ++r) {
        ui.indexChanged = true;
        if (q.afterChange) {
          index.dirs.forEach([](RecordRef) {});
          index.files.forEach([](RecordRef) {});
        }
        const double start = Milliseconds();
        RunSearch(context, {q.name, q.extension});
        const double ms = Milliseconds() - start;
        if (ms < best) best = ms;
        MutexLock lock(state.lock);
        results = state.dirResults.count() + state.fileResults.count();
        if (results != q.expected) {
          std::fprintf(stderr, "%s: %u results, the plain count says %u\n",
                       Utf16ToUtf8(q.name).c_str(), results, q.expected);
          Fail("result count");
        }
      }
      return best;
    };
    const double oneLaneMs = time(&oneLane);
    const double best = time(nullptr);
    if (q.scoped) {
      scope.removeAllFolders();
      scope.checkAllVolumes();
    }

    std::string options = q.caseSensitive ? "case" : "no case";
    if (!q.extension.empty()) options += ", ." + Utf16ToUtf8(q.extension);
    if (q.scoped) options += ", scope";
    if (q.afterChange) options += ", changed";
    if (q.grep.empty()) {
      std::printf("  %-20s %-10s %-18s %9u %9.1f %9.1f %9s %7s\n", Utf16ToUtf8(q.name).c_str(),
                  q.routine, options.c_str(), results, best, oneLaneMs, "-", "-");
      continue;
    }
    long lines = 0;
    const double grepMs = TimeGrep(q.grep, namesPath, &lines);
    std::printf("  %-20s %-10s %-18s %9u %9.1f %9.1f %9.1f %7.2f %10ld\n",
                Utf16ToUtf8(q.name).c_str(), q.routine, options.c_str(), results, best, oneLaneMs,
                grepMs, best / grepMs, lines);
  }
  std::remove(namesPath.c_str());
}

}  // namespace
}  // namespace vessiko

int main(int argc, char** argv) {
  for (uint32_t n : vessiko::EntryCounts(argc, argv))
    vessiko::Run(n);
  return 0;
}
