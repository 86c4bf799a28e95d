// The live index against the truth. Random changes are made on a simulated volume as real
// programs make them (handles held open across many changes, renames under them, safe saves,
// hard links, records reused, bursts, changes while the program is closed or while it builds
// its index), and after every monitor pass, every start (load and catch-up, or build) the index
// must be the volume's tree exactly: every directory and every file name, by full path and record
// number, nothing more, with lists in strict order and the directory map naming what the list
// holds. The volume itself is the model; the checker reads it through its master file table.
//
// Scenario tests below replay, with the same checker, the journal patterns that once left the
// index wrong.
//
// VESSIKO_MODEL_SEEDS and VESSIKO_MODEL_STEPS set the long run (scripts/model-test); the quick
// run in the test suite takes a few seeds.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "engine/lifecycle.h"
#include "index/packed_name.h"
#include "platform/fakes/fixed_clock.h"
#include "platform/fakes/memory_files.h"
#include "platform/fakes/recording_messages.h"
#include "platform/ntfs_layout.h"
#include "platform/sim/sim_machine.h"
#include "platform/utf.h"
#include "tests/support/sim_entries.h"
#include "tests/support/test_index.h"
#include "volume/usn_record.h"

namespace vessiko {
namespace {

using testing::SimDir;
using testing::SimFile;
using Tree = std::vector<std::string>;

// --- The truth: what the volume's master file table holds.

struct Name {
  uint64_t reference;
  uint64_t parent;  // record number
  std::u16string name;
  bool directory;
};

std::vector<Name> VolumeNames(SimVolume& volume) {
  std::vector<Name> names;
  const std::unique_ptr<Volume> handle = volume.open();
  std::vector<uint8_t> out(1 << 16);
  uint8_t in[ntfs::mft_enum_data::kSize] = {};
  StoreU64(in + ntfs::mft_enum_data::kHighUsn, static_cast<uint64_t>(INT64_MAX));
  uint32_t returned;
  uint32_t error;
  while (handle->control(ntfs::kEnumUsnData, in, sizeof in, out.data(),
                         static_cast<uint32_t>(out.size()), &returned, &error)) {
    ForEachUsnRecord(out.data(), returned, [&](const UsnRecord& r) {
      std::u16string name(r.nameLength, u'\0');
      CopyUsnName(r, name.data());
      names.push_back({r.fileReference, r.parentRecordNumber(), name, r.isDirectory()});
    });
    StoreU64(in, LoadU64(out.data()));
  }
  return names;
}

std::string Numbered(const std::string& text, uint64_t record) {
  return text + " #" + std::to_string(record & 0xFFFFFFFFFFFF);
}

Tree VolumeTree(SimVolume& volume, char drive) {
  const std::vector<Name> names = VolumeNames(volume);
  std::map<uint64_t, const Name*> dirs;
  for (const Name& n : names) {
    if (n.directory) dirs[n.reference & 0xFFFFFFFFFFFF] = &n;
  }
  const std::function<std::string(uint64_t)> path = [&](uint64_t record) -> std::string {
    if (record == SimVolume::kRootDirectory) return std::string(1, drive) + ":";
    const auto it = dirs.find(record);
    if (it == dirs.end()) return "?";
    return path(it->second->parent) + "\\" + Utf16ToUtf8(it->second->name);
  };
  Tree tree;
  for (const Name& n : names) {
    tree.push_back(Numbered(
        (n.directory ? "D " : "F ") + path(n.parent) + "\\" + Utf16ToUtf8(n.name), n.reference));
  }
  tree.push_back(Numbered(std::string("D ") + drive + ":", SimVolume::kRootDirectory));
  std::sort(tree.begin(), tree.end());
  return tree;
}

// --- The index, as the same texts, and its own consistency.

Tree IndexTree(const Index& index, std::string* broken) {
  const auto pathOf = [&](RecordRef dir) {
    std::string path;
    for (uint32_t depth = 0; dir != kNoRecord; ++depth) {
      if (depth > 64) return std::string("<cycle>");
      const DirEntry entry = index.dir(dir);
      const std::string name = testing::DecodeToUtf8(entry.name(), entry.nameLength());
      path = path.empty() ? name : name + "\\" + path;
      dir = entry.parentLink();
    }
    return path;
  };
  Tree tree;
  RecordRef previous = kNoRecord;
  index.dirs.forEach([&](RecordRef ref) {
    const DirEntry dir = index.dir(ref);
    tree.push_back(Numbered("D " + pathOf(ref), RecordNumberOf(dir.key())));
    const DirMapPair* pair = index.dirMap.find(dir.key());
    if (pair == nullptr || pair->dir != ref) *broken += "map misses " + tree.back() + "\n";
    if (previous != kNoRecord && index.dirOrder()(previous, ref) >= 0) {
      *broken += "directories out of order at " + tree.back() + "\n";
    }
    previous = ref;
  });
  uint32_t live = 0;
  index.dirMap.forEach([&](const DirMapPair& pair) { live += pair.dir != kNoRecord ? 1 : 0; });
  if (live != index.dirs.itemCount()) *broken += "the map holds directories the list lacks\n";
  previous = kNoRecord;
  index.files.forEach([&](RecordRef ref) {
    const FileEntry file = index.file(ref);
    const uint8_t* bytes;
    const uint32_t length = file.nameBytes(&bytes);
    std::string name = testing::DecodeToUtf8(bytes, length);
    const int32_t extension = file.extensionIndex(bytes + length);
    if (extension >= 0) name += "." + Utf16ToUtf8(index.extensions.extensionText(extension));
    tree.push_back(Numbered("F " + pathOf(file.parentLink()) + "\\" + name, file.recordNumber()));
    // Hard links of one name in two folders are the only records that may compare equal.
    if (previous != kNoRecord && index.fileOrder()(previous, ref) > 0) {
      *broken += "files out of order at " + tree.back() + "\n";
    }
    previous = ref;
  });
  std::sort(tree.begin(), tree.end());
  return tree;
}

std::string Difference(const Tree& truth, const Tree& index) {
  std::string out;
  Tree missing;
  Tree extra;
  std::set_difference(truth.begin(), truth.end(), index.begin(), index.end(),
                      std::back_inserter(missing));
  std::set_difference(index.begin(), index.end(), truth.begin(), truth.end(),
                      std::back_inserter(extra));
  for (size_t i = 0; i < missing.size() && i < 8; ++i)
    out += "  missing " + missing[i] + "\n";
  for (size_t i = 0; i < extra.size() && i < 8; ++i)
    out += "  extra   " + extra[i] + "\n";
  return out;
}

// --- One program run after another over the same machine and database files.

class Program {
 public:
  // Told every status text; the build's scan status comes between discovery and the
  // enumeration.
  class Messages : public RecordingMessages {
   public:
    void showStatus(std::string_view text) override {
      if (onStatus && text.rfind("正在扫描(", 0) == 0) onStatus();
      RecordingMessages::showStatus(text);
    }
    std::function<void()> onStatus;
  };

  explicit Program(SimMachine& machine) : machine_(machine) {}
  ~Program() { stop(false); }

  void start() {
    run_ = std::make_unique<Run>(*this);
    run_->lifecycle.initialize();
  }
  void stop(bool save) {
    if (!run_) return;
    run_->lifecycle.close(save);
    run_.reset();
  }
  void poll() { run_->lifecycle.pollMonitors(); }
  bool running() const { return run_ != nullptr; }
  Index& index() { return run_->index; }

  Messages messages;
  MemoryFiles files;

 private:
  struct Run {
    explicit Run(Program& p)
        : heap(p.messages),
          index(heap, Collation::loadCollationTable()),
          slots(heap),
          lifecycle(LifecycleParts{index, slots, p.machine_, p.files, p.clock_, p.messages, rows,
                                   ui, DatabasePaths::inFolder("/db", '/'), nullptr, nullptr,
                                   false}) {}
    PrivateHeap heap;
    Index index;
    VolumeSlots slots;
    DroppedVolumeRows rows;
    UiState ui;
    Lifecycle lifecycle;
  };

  SimMachine& machine_;
  FixedClock clock_{CalendarToFileTime({2026, 12, 7, 9, 30, 0, 0}), 8 * 60};
  std::unique_ptr<Run> run_;
};

// The checker: the index equals the volume, and is whole in itself.
::testing::AssertionResult Matches(Program& program, SimVolume& volume, const std::string& when) {
  std::string broken;
  const Tree index = IndexTree(program.index(), &broken);
  const Tree truth = VolumeTree(volume, 'C');
  if (index == truth && broken.empty()) return ::testing::AssertionSuccess();
  std::string errors;
  for (const std::string& error : program.messages.errors())
    errors += "  error box: " + error + "\n";
  return ::testing::AssertionFailure() << when << ":\n"
                                       << broken << errors << Difference(truth, index);
}

// --- The generator: changes as programs make them.

class Changes {
 public:
  Changes(SimVolume& volume, uint32_t seed, uint64_t* counter)
      : volume_(volume), random_(seed), counter_(counter) {}

  // One random change; returns its description.
  std::string one() {
    ++*counter_;
    const std::vector<Name> names = VolumeNames(volume_);
    std::vector<const Name*> dirs;
    std::vector<const Name*> files;
    for (const Name& n : names)
      (n.directory ? dirs : files).push_back(&n);
    const uint64_t folder = pickFolder(dirs);
    uint32_t roll = random_() % 100;
    // The tree stays small enough to be read after every change.
    if (names.size() > 400 && !files.empty()) roll = 26 + random_() % 14;
    if (roll < 18 || files.empty()) {
      const std::u16string name = freshName(names, folder, false);
      if (random_() % 4 == 0) {
        const uint64_t made = volume_.createOpen(SimFile(folder, name));  // a download in progress
        if (made != 0) held_.push_back(made);
        return "create open " + Utf16ToUtf8(name);
      }
      volume_.create(SimFile(folder, name));
      return "create " + Utf16ToUtf8(name);
    }
    if (roll < 26) {
      const std::u16string name = freshName(names, folder, true);
      const uint64_t made = volume_.create(SimDir(folder, name));
      if (random_() % 3 == 0) hold(made);  // a console whose current folder it is
      return "mkdir " + Utf16ToUtf8(name);
    }
    const Name& file = *files[random_() % files.size()];
    if (roll < 40) {
      volume_.remove(file.reference);
      return "delete " + Utf16ToUtf8(file.name);
    }
    if (roll < 55) {
      const uint64_t to = random_() % 2 == 0 ? file.parent : folder;
      const std::u16string name = freshName(names, to, false);
      volume_.rename(file.reference, to, name);
      return "rename " + Utf16ToUtf8(file.name) + " to " + Utf16ToUtf8(name);
    }
    if (roll < 62) return renameFolder(names, dirs, folder);
    if (roll < 66) return deleteFolder(names, dirs);
    if (roll < 72) {
      const std::u16string name = freshName(names, folder, false);
      volume_.addHardLink(file.reference, folder, name);
      return "link " + Utf16ToUtf8(name);
    }
    if (roll < 76) {
      volume_.removeHardLink(file.reference, file.parent, file.name);
      return "unlink " + Utf16ToUtf8(file.name);
    }
    if (roll < 80) return safeSave(names, file);
    if (roll < 86) {
      hold(file.reference);
      return "open " + Utf16ToUtf8(file.name);
    }
    if (roll < 94 && !held_.empty()) {
      const size_t at = random_() % held_.size();
      volume_.closeFile(held_[at]);
      held_.erase(held_.begin() + static_cast<std::ptrdiff_t>(at));
      return "close";
    }
    if (roll < 97) {
      // More than one journal batch at once.
      for (int i = 0; i < 60; ++i)
        volume_.create(SimFile(folder, freshName(names, folder, false) + u" burst"));
      return "burst";
    }
    volume_.writeData(file.reference, random_() % 100000);
    return "write " + Utf16ToUtf8(file.name);
  }

  void closeAll() {
    for (uint64_t file : held_)
      volume_.closeFile(file);
    held_.clear();
  }

 private:
  void hold(uint64_t file) {
    if (file != 0 && volume_.openFile(file)) held_.push_back(file);
  }

  uint64_t pickFolder(const std::vector<const Name*>& dirs) {
    if (dirs.empty() || random_() % 5 == 0) return SimVolume::kRootDirectory;
    return dirs[random_() % dirs.size()]->reference;
  }

  // A name the folder does not hold (letters compared without case): common names in many
  // folders, Chinese ones, and the characters without a reading, which sort by code.
  std::u16string freshName(const std::vector<Name>& names, uint64_t folder, bool directory) {
    static const char16_t* const kBases[] = {u"index", u"README", u"a",       u"為a",
                                             u"為a0",  u"為b",    u"馗z",     u"中文",
                                             u"x y",   u"report", u".profile"};
    static const char16_t* const kExtensions[] = {u"", u".js", u".txt", u".tar.gz", u".tmp"};
    for (;;) {
      std::u16string name = kBases[random_() % std::size(kBases)];
      if (random_() % 3 == 0) name += u"-" + Utf8ToUtf16(std::to_string(random_() % 50));
      if (!directory) name += kExtensions[random_() % std::size(kExtensions)];
      if (!taken(names, folder, name)) return name;
    }
  }

  static bool taken(const std::vector<Name>& names, uint64_t folder, const std::u16string& name) {
    const auto fold = [](std::u16string s) {
      for (char16_t& u : s)
        if (u >= u'A' && u <= u'Z') u = static_cast<char16_t>(u + 32);
      return s;
    };
    const uint64_t number = folder & 0xFFFFFFFFFFFF;
    return std::any_of(names.begin(), names.end(), [&](const Name& n) {
      return n.parent == number && fold(n.name) == fold(name);
    });
  }

  bool inside(const std::vector<Name>& names, uint64_t dir, uint64_t ancestor) {
    for (int depth = 0; depth < 64 && (dir & 0xFFFFFFFFFFFF) != SimVolume::kRootDirectory;
         ++depth) {
      if ((dir & 0xFFFFFFFFFFFF) == (ancestor & 0xFFFFFFFFFFFF)) return true;
      const auto it = std::find_if(names.begin(), names.end(), [&](const Name& n) {
        return n.directory && (n.reference & 0xFFFFFFFFFFFF) == (dir & 0xFFFFFFFFFFFF);
      });
      if (it == names.end()) return false;
      dir = it->parent;
    }
    return false;
  }

  // Renamed in place, or moved with everything below it; under a handle now and then, and
  // sometimes twice while held.
  std::string renameFolder(const std::vector<Name>& names, const std::vector<const Name*>& dirs,
                           uint64_t folder) {
    if (dirs.empty()) return "nothing";
    const Name& dir = *dirs[random_() % dirs.size()];
    const uint64_t to = inside(names, folder, dir.reference) ? dir.parent : folder;
    const bool held = random_() % 2 == 0;
    if (held) volume_.openFile(dir.reference);
    volume_.rename(dir.reference, to, freshName(names, to, true));
    if (random_() % 3 == 0) volume_.rename(dir.reference, to, freshName(names, to, true) + u" (2)");
    if (held) volume_.closeFile(dir.reference);
    return "rename folder " + Utf16ToUtf8(dir.name);
  }

  std::string deleteFolder(const std::vector<Name>& names, const std::vector<const Name*>& dirs) {
    for (const Name* dir : dirs) {
      const uint64_t number = dir->reference & 0xFFFFFFFFFFFF;
      if (std::none_of(names.begin(), names.end(),
                       [&](const Name& n) { return n.parent == number; })) {
        volume_.remove(dir->reference);
        return "rmdir " + Utf16ToUtf8(dir->name);
      }
    }
    return "nothing";
  }

  // What an office program does on every save, the original held open by a scanner meanwhile:
  // the new text is written to a temporary file, the original renamed aside, the temporary
  // file renamed to the original's name, the original deleted.
  std::string safeSave(const std::vector<Name>& names, const Name& original) {
    const uint64_t folder = original.parent;
    const bool held = random_() % 2 == 0;
    if (held) volume_.openFile(original.reference);
    const uint64_t temporary = volume_.create(SimFile(folder, freshName(names, folder, false)));
    const std::u16string aside = u"~WRL" + Utf8ToUtf16(std::to_string(random_() % 10000)) + u".tmp";
    if (!taken(names, folder, aside)) {
      volume_.rename(original.reference, folder, aside);
      volume_.rename(temporary, folder, original.name);
      volume_.remove(original.reference);
    }
    if (held) volume_.closeFile(original.reference);
    return "safe save " + Utf16ToUtf8(original.name);
  }

  SimVolume& volume_;
  std::mt19937 random_;
  std::vector<uint64_t> held_;
  uint64_t* counter_;
};

uint32_t FromEnvironment(const char* name, uint32_t fallback) {
  const char* text = std::getenv(name);
  return text != nullptr ? static_cast<uint32_t>(std::strtoul(text, nullptr, 10)) : fallback;
}

// What the runs did, for the long run's report.
struct Tally {
  uint64_t changes = 0;
  uint64_t checks = 0;
  uint64_t starts = 0;
};

// One seed: a volume and a program run after run, checked after each pass and each start.
void RunSeed(uint32_t seed, uint32_t steps, Tally& tally) {
  SCOPED_TRACE("seed " + std::to_string(seed));
  SimMachine machine;
  SimVolumeOptions options;
  options.journalMaximumSize = 256 << 10;  // small enough that a long close loses the journal
  options.enumerationRecordsPerCall = 7;   // so that a build reads the table in many calls
  SimVolume& volume = machine.addNtfsDrive('C', u"", options);
  Changes changes(volume, seed, &tally.changes);
  std::mt19937 random(seed * 7919 + 1);
  std::vector<std::string> log;
  for (int i = 0; i < 30; ++i)
    changes.one();
  Program program(machine);
  const auto check = [&](const std::string& when) {
    ++tally.checks;
    return Matches(program, volume, when);
  };
  const auto start = [&] {
    ++tally.starts;
    program.start();
  };
  start();
  ASSERT_TRUE(check("first build"));
  for (uint32_t step = 0; step < steps; ++step) {
    const uint32_t roll = random() % 100;
    if (roll < 10) {
      program.poll();
      ASSERT_TRUE(check("monitor pass after " + (log.empty() ? "" : log.back())));
      log.clear();
    } else if (roll < 13) {
      program.stop(true);
      for (uint32_t n = random() % 12; n > 0; --n)
        log.push_back(changes.one());
      if (random() % 8 == 0) {
        // The journal lost: wrapped past the saved position, or deleted and made anew.
        if (random() % 2 == 0) {
          for (int i = 0; i < 1500; ++i)
            volume.remove(volume.create(SimFile(5, u"churn.tmp")));
        } else {
          volume.beginJournalDeletion();
          log.push_back(changes.one());
          volume.finishJournalDeletion();
          volume.createJournal(256 << 10, 64 << 10);
        }
      }
      start();
      ASSERT_TRUE(check("start after " + std::to_string(log.size()) + " changes"));
    } else if (roll < 15) {
      // A build (no database) while the volume changes: between discovery and the scan, and
      // between the scan's calls.
      program.stop(false);
      program.files.remove("/db/kavume_core.db");
      bool changing = false;  // the changes read the table too
      program.messages.onStatus = [&] {
        changing = true;
        for (int i = 0; i < 6; ++i)
          log.push_back(changes.one());
        changing = false;
      };
      machine.faults('C').setControlHook([&](uint32_t code) {
        if (code != ntfs::kEnumUsnData || changing || random() % 5 != 0) return;
        changing = true;
        log.push_back(changes.one());
        changing = false;
      });
      start();
      machine.faults('C').setControlHook(nullptr);
      program.messages.onStatus = nullptr;
      ASSERT_TRUE(check("build"));
    } else {
      log.push_back(changes.one());
    }
  }
  program.poll();
  ASSERT_TRUE(check("last pass"));
  changes.closeAll();
  program.poll();
  ASSERT_TRUE(check("every handle closed"));
  program.stop(true);
  start();
  ASSERT_TRUE(check("last start"));
}

TEST(LiveIndexModel, RandomChangesKeepTheIndexEqualToTheVolume) {
  const uint32_t seeds = FromEnvironment("VESSIKO_MODEL_SEEDS", 4);
  const uint32_t steps = FromEnvironment("VESSIKO_MODEL_STEPS", 300);
  const uint32_t first = FromEnvironment("VESSIKO_MODEL_FIRST_SEED", 1);
  Tally total;
  for (uint32_t seed = first; seed < first + seeds; ++seed) {
    Tally tally;
    RunSeed(seed, steps, tally);
    total.changes += tally.changes;
    total.checks += tally.checks;
    total.starts += tally.starts;
    if (HasFatalFailure()) return;
  }
  std::printf(
      "%u seeds of %u steps: %llu changes, %llu checks of the whole index (%llu after a "
      "start)\n",
      seeds, steps, static_cast<unsigned long long>(total.changes),
      static_cast<unsigned long long>(total.checks), static_cast<unsigned long long>(total.starts));
}

// --- Journal patterns that once left the index wrong, each checked the same way.

class LiveIndexScenario : public ::testing::Test {
 protected:
  SimVolume& makeVolume(uint32_t filesPerEnumeration = 0) {
    SimVolumeOptions options;
    options.enumerationRecordsPerCall = filesPerEnumeration;
    return *(volume_ = &machine_.addNtfsDrive('C', u"", options));
  }
  ::testing::AssertionResult passAndCheck(const std::string& when) {
    program_.poll();
    return Matches(program_, *volume_, when);
  }
  ::testing::AssertionResult restartAndCheck(const std::string& when) {
    program_.stop(true);
    program_.start();
    return Matches(program_, *volume_, when);
  }

  SimMachine machine_;
  SimVolume* volume_ = nullptr;
  Program program_{machine_};
};

// An office program's save while a scanner holds the original open: the original is renamed
// aside and deleted under that handle, so its closing record carries RENAME_NEW_NAME with
// FILE_DELETE. The deletion wins: no ~WRL ghost, not even in the saved database.
TEST_F(LiveIndexScenario, ASafeSaveUnderAHeldHandleLeavesNoGhost) {
  SimVolume& c = makeVolume();
  const uint64_t docs = c.create(SimDir(5, u"docs"));
  const uint64_t original = c.create(SimFile(docs, u"report.docx"));
  program_.start();
  ASSERT_TRUE(c.openFile(original));
  const uint64_t temporary = c.create(SimFile(docs, u"~WRD0001.tmp"));
  ASSERT_TRUE(c.rename(original, docs, u"~WRL0001.tmp"));
  ASSERT_TRUE(c.rename(temporary, docs, u"report.docx"));
  ASSERT_TRUE(c.remove(original));
  EXPECT_TRUE(passAndCheck("saved, the original still open"));
  ASSERT_TRUE(c.closeFile(original));
  EXPECT_TRUE(passAndCheck("the original closed"));
  EXPECT_TRUE(restartAndCheck("restarted"));
}

// A folder renamed twice while a console holds it: the second rename's old name comes with
// RENAME_NEW_NAME as well. Its children, deep ones included, follow it, and are saved.
TEST_F(LiveIndexScenario, AFolderRenamedTwiceUnderAHandleKeepsItsChildren) {
  SimVolume& c = makeVolume();
  const uint64_t project = c.create(SimDir(5, u"project"));
  const uint64_t src = c.create(SimDir(project, u"src"));
  c.create(SimDir(src, u"deep"));
  c.create(SimFile(src, u"main.cc"));
  c.create(SimFile(project, u"README.md"));
  program_.start();
  ASSERT_TRUE(c.openFile(project));
  ASSERT_TRUE(c.rename(project, 5, u"project-old"));
  EXPECT_TRUE(passAndCheck("renamed once"));
  ASSERT_TRUE(c.rename(project, 5, u"archive"));
  EXPECT_TRUE(passAndCheck("renamed twice, still held"));
  EXPECT_TRUE(restartAndCheck("saved while held"));
  ASSERT_TRUE(c.closeFile(project));
  EXPECT_TRUE(passAndCheck("closed"));
}

// A folder deleted and made again while the table is being read takes the same record number
// with a new sequence number; the replay after the build must not give its files twice.
TEST_F(LiveIndexScenario, AFolderRemadeDuringTheBuildIsListedOnce) {
  SimVolume& c = makeVolume(1);
  const uint64_t cache = c.create(SimDir(5, u"cache"));
  const uint64_t entry = c.create(SimFile(cache, u"entry.bin"));
  for (int i = 0; i < 5; ++i)
    c.create(SimFile(5, u"f" + Utf8ToUtf16(std::to_string(i)) + u".txt"));
  int calls = 0;
  machine_.faults('C').setControlHook([&](uint32_t code) {
    if (code != ntfs::kEnumUsnData || ++calls != 3) return;
    c.remove(entry);
    c.remove(cache);
    const uint64_t remade = c.create(SimDir(5, u"cache"));
    ASSERT_EQ(remade & 0xFFFFFFFF, cache & 0xFFFFFFFF);
    c.create(SimFile(remade, u"entry.bin"));
    c.create(SimFile(remade, u"more.bin"));
  });
  program_.start();
  machine_.faults('C').setControlHook(nullptr);
  EXPECT_TRUE(Matches(program_, c, "built"));
  EXPECT_TRUE(passAndCheck("first pass"));
}

// Folders moved while the table is read: one is read before its move and the other after, so
// the table has them as each other's parents. The replay puts them where they are.
TEST_F(LiveIndexScenario, FoldersMovedWhileTheTableIsReadEndWhereTheyAre) {
  SimVolume& c = makeVolume(1);
  const uint64_t a = c.create(SimDir(5, u"a"));
  const uint64_t b = c.create(SimDir(a, u"b"));
  c.create(SimFile(b, u"in-b.txt"));
  c.create(SimFile(a, u"in-a.txt"));
  int calls = 0;
  machine_.faults('C').setControlHook([&](uint32_t code) {
    if (code != ntfs::kEnumUsnData || ++calls != 2) return;
    // a was read under the root; now b goes to the root and a below b.
    c.rename(b, 5, u"b");
    c.rename(a, b, u"a");
  });
  program_.start();
  machine_.faults('C').setControlHook(nullptr);
  EXPECT_TRUE(Matches(program_, c, "built"));
  EXPECT_TRUE(restartAndCheck("restarted"));
}

// Names of the characters without a reading: 為b must be found again among 為a, 為a0 and 馗z.
TEST_F(LiveIndexScenario, NamesWithoutAReadingAreFoundAgain) {
  SimVolume& c = makeVolume();
  std::map<std::u16string, uint64_t> dirs;
  for (const char16_t* name : {u"為a", u"為a0", u"為b"})
    dirs[name] = c.create(SimDir(5, name));
  program_.start();
  dirs[u"馗z"] = c.create(SimDir(5, u"馗z"));
  EXPECT_TRUE(passAndCheck("馗z made"));
  ASSERT_TRUE(c.remove(dirs[u"為b"]));
  EXPECT_TRUE(passAndCheck("為b deleted"));
}

// Hard links: each name is a file of the index, added and removed as the names come and go,
// also under a held handle and when the file's last name goes.
TEST_F(LiveIndexScenario, HardLinksComeAndGoByName) {
  SimVolume& c = makeVolume();
  const uint64_t x = c.create(SimDir(5, u"x"));
  const uint64_t y = c.create(SimDir(5, u"y"));
  const uint64_t file = c.create(SimFile(x, u"shared.txt"));
  program_.start();
  ASSERT_TRUE(c.addHardLink(file, y, u"shared.txt"));
  ASSERT_TRUE(c.addHardLink(file, y, u"alias.txt"));
  EXPECT_TRUE(passAndCheck("two links added"));
  ASSERT_TRUE(c.openFile(file));
  ASSERT_TRUE(c.removeHardLink(file, y, u"shared.txt"));
  ASSERT_TRUE(c.addHardLink(file, x, u"third.txt"));
  ASSERT_TRUE(c.remove(file));  // the first name only
  EXPECT_TRUE(passAndCheck("links changed under a handle"));
  ASSERT_TRUE(c.closeFile(file));
  EXPECT_TRUE(restartAndCheck("restarted"));
  ASSERT_TRUE(c.remove(file));
  ASSERT_TRUE(c.remove(file));
  EXPECT_TRUE(passAndCheck("every name gone"));
}

}  // namespace
}  // namespace vessiko
