// The index's threads together, as the program runs them: a journal monitor per volume
// applying a stream of creations, deletions, renames and moves, while the interface thread
// searches with changing queries and one-shot flags (no result filter in force) and reads every
// result row as the list view does; then the close stops the monitors and saves. Meant for
// ThreadSanitizer (the linux-tsan preset), where any unordered access between these threads is
// reported.
#include <gtest/gtest.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <mutex>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include "platform/ntfs_layout.h"
#include "platform/utf.h"
#include "tests/support/engine_fixture.h"
#include "tests/support/sim_entries.h"
#include "tests/support/test_index.h"
#include "volume/change_application.h"

namespace vessiko {
namespace {

using testing::SimDir;
using testing::SimFile;

// Names that the queries below match, so that monitors refresh the results themselves too.
const char16_t* const kWords[] = {u"report", u"data", u"文档", u"notes", u"Photo", u"project"};
const char16_t* const kExtensions[] = {u".txt", u".dll", u".jpg", u"", u".文档", u".JSON"};

// Makes changes on one volume in rounds; after each round it waits until the volume's monitor
// has applied them, so that the rounds overlap the monitor's batches and the searches.
class Changer {
 public:
  Changer(SimVolume& volume, uint32_t slot, Engine& engine, uint32_t seed,
          std::vector<uint64_t> folders)
      : volume_(volume), slot_(slot), engine_(engine), random_(seed), folders_(std::move(folders)) {
    used_.insert(folders_.begin(), folders_.end());
  }

  void run(int rounds, int changesPerRound) {
    for (int r = 0; r < rounds && !failed; ++r) {
      for (int i = 0; i < changesPerRound; ++i)
        change();
      waitUntilApplied();
    }
  }

  bool failed = false;

 private:
  std::u16string name() {
    std::u16string text = kWords[random_() % std::size(kWords)];
    text += Utf8ToUtf16(std::to_string(++counter_));
    return text;
  }

  void change() {
    const uint64_t folder = folders_[random_() % folders_.size()];
    switch (random_() % 7) {
      case 0:
      case 1:
        files_.push_back(volume_.create(SimFile(folder, name() + kExtensions[random_() % 6], 1)));
        used_.insert(folder);
        break;
      case 2:
        folders_.push_back(volume_.create(SimDir(folder, name())));
        used_.insert(folder);
        break;
      case 3:  // moved and renamed
        if (!files_.empty()) {
          volume_.rename(files_[random_() % files_.size()], folder,
                         name() + kExtensions[random_() % 6]);
          used_.insert(folder);
        }
        break;
      case 4:
        if (!files_.empty()) {
          const size_t at = random_() % files_.size();
          volume_.remove(files_[at]);
          files_.erase(files_.begin() + static_cast<std::ptrdiff_t>(at));
        }
        break;
      case 5:  // a folder with its entries, moved under the root: never below itself
        if (folders_.size() > 1) {
          volume_.rename(folders_[1 + random_() % (folders_.size() - 1)], 5, name());
        }
        break;
      default:  // a folder that never held anything
        for (size_t at = folders_.size(); at-- > 1;) {
          if (used_.count(folders_[at]) != 0) continue;
          volume_.remove(folders_[at]);
          folders_.erase(folders_.begin() + static_cast<std::ptrdiff_t>(at));
          break;
        }
    }
  }

  void waitUntilApplied() {
    const int64_t target = volume_.journal().nextUsn;
    // Only a monitor that stopped working takes this long.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(120);
    for (;;) {
      {
        std::lock_guard lock(engine_.index().lock);
        if (engine_.slots()[slot_].nextUsn >= target) return;
      }
      if (std::chrono::steady_clock::now() > deadline) {
        failed = true;
        return;
      }
      std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
  }

  SimVolume& volume_;
  uint32_t slot_;
  Engine& engine_;
  std::mt19937 random_;
  std::vector<uint64_t> folders_;  // the root first
  std::vector<uint64_t> files_;
  std::set<uint64_t> used_;  // folders that ever held an entry
  int counter_ = 0;
};

// What the list view reads for a row: the name, the extension's text, the folder's path.
size_t ReadRow(const Index& index, RecordRef ref, bool isDirectory) {
  const uint8_t* name;
  uint32_t length;
  RecordRef parent;
  size_t read = 0;
  if (isDirectory) {
    const DirEntry dir = index.dir(ref);
    length = dir.nameBytes(&name);
    parent = dir.parentLink();
  } else {
    const FileEntry file = index.file(ref);
    length = file.nameBytes(&name);
    const char16_t* extension = index.extensions.extensionText(file.extensionIndex(name + length));
    if (extension != nullptr) read += std::u16string_view(extension).size();
    parent = file.parentLink();
  }
  read += testing::DecodeToUtf8(name, length).size();
  for (uint32_t depth = 0; parent != kNoRecord && depth < kMaxDirectoryDepth; ++depth) {
    const DirEntry dir = index.dir(parent);
    read += dir.nameLength();
    parent = dir.parentLink();
  }
  return read;
}

TEST(ConcurrencyTest, MonitorsSearchesAndTheSaveAtClose) {
  testing::EngineFixture f;
  SimVolume& c = f.machine.addNtfsDrive('C', u"System");
  SimVolume& d = f.machine.addNtfsDrive('D', u"Data");
  // Folders full of entries that the queries find, for the monitors to move about.
  std::vector<uint64_t> folders[2] = {{5}, {5}};
  for (int v = 0; v < 2; ++v) {
    SimVolume& volume = v == 0 ? c : d;
    for (int i = 0; i < 20; ++i) {
      folders[v].push_back(volume.create(SimDir(5, u"folder" + Utf8ToUtf16(std::to_string(i)))));
      for (int j = 0; j < 10; ++j) {
        volume.create(
            SimFile(folders[v].back(), u"report" + Utf8ToUtf16(std::to_string(j)) + u".txt", 1));
      }
    }
  }
  for (int i = 0; i < 20; ++i) {
    f.folders.keys[u"C:\\folder" + Utf8ToUtf16(std::to_string(i))] =
        MakeEntryKey(2, static_cast<uint32_t>(folders[0][i + 1]));
  }
  Engine& engine = f.startRun();
  ASSERT_TRUE(engine.lifecycle().monitoring());

  Changer onC(c, 2, engine, 1, folders[0]);
  Changer onD(d, 3, engine, 2, folders[1]);
  std::atomic<int> running{2};
  std::thread changeC([&] {
    onC.run(4, 60);
    --running;
  });
  std::thread changeD([&] {
    onD.run(4, 60);
    --running;
  });

  // The interface thread.
  const std::u16string queries[] = {u"report", u"data 1", u"文档", u"*1*", u"notes?", u"o", u"pro"};
  std::atomic<bool>* flags[] = {&engine.ui().optionsChanged, &engine.ui().extensionChanged,
                                &engine.ui().scopeChanged, &engine.ui().indexChanged};
  std::mt19937 random(3);
  size_t searches = 0;
  size_t scopedSearches = 0;
  size_t rowsRead = 0;
  while (running > 0) {
    const QueryTexts query{queries[random() % std::size(queries)],
                           random() % 4 == 0 ? u"txt;jpg" : u""};
    if (random() % 8 == 0) engine.ui().caseSensitive = !engine.ui().caseSensitive;
    // Now and then a scope of one folder, with or without what lies below it, so that the scan's
    // lanes answer folders together while monitors move them.
    if (random() % 6 == 0) {
      ScopeList& scope = engine.scope();
      if (scope.removeAllFolders()) {
        engine.ui().scopeChanged = true;
      } else {
        const int row = scope.rowCount();
        const std::string folder = "C:\\folder" + std::to_string(random() % 20);
        if (scope.insertRow(row, Utf8ToUtf16(folder), false)) {
          scope.setSecondColumn(row, random() % 2 == 0 ? u"是" : u"否");
          engine.ui().scopeChanged = true;
          ++scopedSearches;
        }
      }
    }
    if (random() % 3 == 0) {
      engine.search(query);
    } else {
      engine.search(query, *flags[random() % std::size(flags)]);
    }
    ++searches;
    // As a list view reads rows: the index lock (monitors change records under it), then the
    // search lock (searches refill the result lists under it).
    std::lock_guard indexLock(engine.index().lock);
    std::lock_guard lock(engine.results().lock);
    const SearchState& results = engine.results();
    for (uint32_t i = 0; i < results.dirResults.count(); ++i)
      rowsRead += ReadRow(engine.index(), results.dirResults.itemAt(i), true) > 0;
    for (uint32_t i = 0; i < results.fileResults.count(); ++i)
      rowsRead += ReadRow(engine.index(), results.fileResults.itemAt(i), false) > 0;
  }
  changeC.join();
  changeD.join();
  ASSERT_FALSE(onC.failed);
  ASSERT_FALSE(onD.failed);
  EXPECT_GT(searches, 0u);
  EXPECT_GT(scopedSearches, 0u);
  EXPECT_GT(rowsRead, 0u);
  engine.ui().caseSensitive = false;
  f.closeRun();

  // The save holds everything the monitors applied; the next run starts from it.
  f.messages.clear();
  Engine& next = f.startRun();
  const auto statuses = f.messages.statuses();
  EXPECT_NE(std::find(statuses.begin(), statuses.end(), "正在更新数据库..."), statuses.end());
  EXPECT_EQ(std::find(statuses.begin(), statuses.end(), "正在扫描(C)盘，请稍候..."),
            statuses.end());
  EXPECT_EQ(next.index().dirs.itemCount() + next.index().files.itemCount(),
            c.userFileCount() + d.userFileCount() + 2);
}

// A monitor moves a folder while the list view reads the path of a file inside it. The monitor
// gives the folder's entries their new parent under the index lock, which the view holds
// while it reads a row: ThreadSanitizer finds the two ordered.
TEST(ConcurrencyTest, AFolderMovedWhileTheListViewReadsItsFiles) {
  testing::EngineFixture f;
  SimVolume& c = f.machine.addNtfsDrive('C');
  const uint64_t docs = c.create(SimDir(5, u"docs"));
  c.create(SimFile(docs, u"report.txt", 1));
  Engine& engine = f.startRun();
  ASSERT_EQ(f.search("report"), std::vector<std::string>{"F C:\\docs\\report.txt"});
  const RecordRef file = engine.results().fileResults.itemAt(0);

  std::thread view([&] {
    std::lock_guard indexLock(engine.index().lock);
    std::lock_guard lock(engine.results().lock);
    EXPECT_NE(engine.index().file(file).parentLink(), kNoRecord);
  });
  std::thread monitor([&] {
    // One batch as a monitor applies it: the two halves of the rename under the index lock.
    std::lock_guard lock(engine.index().lock);
    ChangeContext context{engine.index(), f.messages, nullptr};
    char16_t oldName[] = u"docs";
    char16_t newName[] = u"papers";
    ApplyChange(context,
                {2, ntfs::kAttributeDirectory, ntfs::kReasonRenameOldName, docs, 5, oldName, 4});
    ApplyChange(context, {2, ntfs::kAttributeDirectory,
                          ntfs::kReasonRenameNewName | ntfs::kReasonClose, docs, 5, newName, 6});
  });
  view.join();
  monitor.join();
  EXPECT_EQ(f.search("report"), std::vector<std::string>{"F C:\\papers\\report.txt"});
}

}  // namespace
}  // namespace vessiko
