// Whole runs of the engine over a simulated machine: the first build and save, loads and
// catch-up, live changes through the monitors, out-of-date databases, and closing.
#include "engine/lifecycle.h"

#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/ntfs_layout.h"
#include "tests/support/engine_fixture.h"
#include "tests/support/sim_entries.h"

namespace vessiko {
namespace {

using Results = std::vector<std::string>;
using testing::SimDir;
using testing::SimFile;

class LifecycleTest : public ::testing::Test {
 protected:
  LifecycleTest() : c_(f_.machine.addNtfsDrive('C', u"System")) {
    docs_ = c_.create(SimDir(5, u"docs"));
    c_.create(SimFile(docs_, u"report.txt", 100));
    notes_ = c_.create(SimFile(5, u"notes.md", 10));
  }

  testing::EngineFixture f_;
  SimVolume& c_;
  uint64_t docs_;
  uint64_t notes_;
};

TEST_F(LifecycleTest, FirstRunBuildsAndSavesSecondRunLoadsAndCatchesUp) {
  f_.startRun();
  EXPECT_EQ(f_.messages.statuses().front(), "初始化...");
  EXPECT_EQ(f_.search("report"), Results{"F C:\\docs\\report.txt"});
  f_.closeRun();
  EXPECT_FALSE(f_.files.get("/db/kavume_core.db").empty());
  EXPECT_FALSE(f_.files.get("/db/kavume_ext.db").empty());

  // Changes while the program is closed.
  c_.create(SimFile(docs_, u"plan.txt", 5));
  const uint64_t archive = c_.create(SimDir(5, u"archive"));
  c_.rename(docs_, archive, u"papers");
  f_.messages.clear();
  f_.startRun();
  const auto statuses = f_.messages.statuses();
  EXPECT_NE(std::find(statuses.begin(), statuses.end(), "正在加载数据库..."), statuses.end());
  EXPECT_NE(std::find(statuses.begin(), statuses.end(), "正在更新数据库..."), statuses.end());
  EXPECT_EQ(std::find(statuses.begin(), statuses.end(), "正在扫描(C)盘，请稍候..."),
            statuses.end());
  EXPECT_EQ(f_.search("p"), (Results{"D C:\\archive\\papers", "F C:\\archive\\papers\\plan.txt",
                                     "F C:\\archive\\papers\\report.txt"}));
}

TEST_F(LifecycleTest, ChangesWhileRunningAppearThroughTheMonitors) {
  f_.startRun();
  EXPECT_TRUE(f_.engine().lifecycle().monitoring());
  c_.create(SimFile(docs_, u"fresh.txt", 1));
  EXPECT_TRUE(f_.waitForResults("fresh", Results{"F C:\\docs\\fresh.txt"}));
  // A directory renamed keeps its children under its new name.
  c_.rename(docs_, 5, u"documents");
  EXPECT_TRUE(f_.waitForResults("fresh", Results{"F C:\\documents\\fresh.txt"}));
  // A file moved to another folder.
  const uint64_t other = c_.create(SimDir(5, u"other"));
  c_.rename(notes_, other, u"notes.md");
  EXPECT_TRUE(f_.waitForResults("notes", Results{"F C:\\other\\notes.md"}));
  // Created and deleted before it was closed: nothing.
  const uint64_t temp = c_.createOpen(SimFile(docs_, u"temp.tmp", 1));
  c_.remove(temp);
  c_.closeFile(temp);
  c_.create(SimFile(docs_, u"marker.bin", 1));
  EXPECT_TRUE(f_.waitForResults("marker", Results{"F C:\\documents\\marker.bin"}));
  EXPECT_EQ(f_.search("temp"), Results{});
}

TEST_F(LifecycleTest, AJournalBeingDeletedIsCreatedAgainAndMonitoringGoesOn) {
  f_.startRun();
  const uint64_t before = c_.journal().id;
  c_.beginJournalDeletion();
  c_.create(SimFile(docs_, u"unjournaled.txt", 1));  // while no journal records it
  // The monitor's next read fails; it reports, waits for the deletion, creates the journal anew.
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(5);
  while ((c_.journal().deleting || c_.journal().id == before) &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  }
  ASSERT_TRUE(c_.journal().active);
  EXPECT_NE(c_.journal().id, before);
  EXPECT_EQ(c_.journal().maximumSize, 0x2000000u);
  const auto errors = f_.messages.errors();
  ASSERT_GE(errors.size(), 2u);
  EXPECT_EQ(errors[0], "C 线程 FSCTL_READ_USN_JOURNAL 错误1178");
  EXPECT_EQ(errors[1], "ERROR_JOURNAL_DELETE_IN_PROGRESS");
  c_.create(SimFile(docs_, u"after.txt", 1));
  EXPECT_TRUE(f_.waitForResults("after", Results{"F C:\\docs\\after.txt"}));
  // What changed while there was no journal never reached the index: the next start finds the
  // database out of date, and its rebuild has it.
  f_.closeRun();
  f_.messages.clear();
  f_.startRun();
  EXPECT_EQ(f_.messages.questions().size(), 1u);
  EXPECT_EQ(f_.search("after"), Results{"F C:\\docs\\after.txt"});
  EXPECT_EQ(f_.search("unjournaled"), Results{"F C:\\docs\\unjournaled.txt"});
  // Saved from the rebuilt index, the database is current again.
  f_.closeRun();
  f_.messages.clear();
  f_.startRun();
  EXPECT_TRUE(f_.messages.questions().empty());
}

// Drives whose volumes open only once the test lets them: the start-up waits inside discovery.
class GatedDrives : public Drives {
 public:
  explicit GatedDrives(Drives& drives) : drives_(drives) {}
  uint32_t logicalDriveStrings(char16_t* buffer, uint32_t capacity) override {
    return drives_.logicalDriveStrings(buffer, capacity);
  }
  uint32_t driveType(const char16_t* root) override { return drives_.driveType(root); }
  bool volumeInformation(const char16_t* root, char16_t* label, uint32_t labelCapacity,
                         char16_t* fileSystem, uint32_t fileSystemCapacity) override {
    return drives_.volumeInformation(root, label, labelCapacity, fileSystem, fileSystemCapacity);
  }
  std::unique_ptr<Volume> openVolume(const char16_t* path, uint32_t* error) override {
    std::unique_lock lock(mutex_);
    waiting_ = true;
    changed_.notify_all();
    changed_.wait(lock, [this] { return open_; });
    return drives_.openVolume(path, error);
  }
  void waitUntilWaiting() {
    std::unique_lock lock(mutex_);
    changed_.wait(lock, [this] { return waiting_; });
  }
  void letOpen() {
    std::lock_guard lock(mutex_);
    open_ = true;
    changed_.notify_all();
  }

 private:
  Drives& drives_;
  std::mutex mutex_;
  std::condition_variable changed_;
  bool waiting_ = false;
  bool open_ = false;
};

TEST_F(LifecycleTest, ClosingBeforeTheIndexIsReadySavesNothing) {
  GatedDrives drives(f_.machine);
  Engine engine(EngineEnvironment{drives, f_.files, f_.clock, f_.messages, f_.messages, f_.view,
                                  f_.folders, DatabasePaths::inFolder("/db", '/')});
  engine.start();
  drives.waitUntilWaiting();
  std::thread closer([&engine] { engine.close(true); });
  // The close waits for the start-up thread, which goes on once the volume opens.
  std::this_thread::sleep_for(std::chrono::milliseconds(50));
  drives.letOpen();
  closer.join();
  EXPECT_FALSE(engine.ui().searchEnabled);
  EXPECT_FALSE(engine.lifecycle().monitoring());
  EXPECT_EQ(f_.files.replaceCount(), 0);
  EXPECT_FALSE(engine.slots()[2].present());  // closed after the start-up had let it go
}

TEST_F(LifecycleTest, NoNtfsVolumeGivesALiveEmptyIndex) {
  testing::EngineFixture empty;
  empty.machine.addDrive('C', ntfs::kDriveFixed, u"FAT32", u"");
  Engine& engine = empty.startRun();
  EXPECT_TRUE(engine.ui().searchEnabled);
  EXPECT_FALSE(engine.lifecycle().monitoring());
  EXPECT_EQ(empty.search("a"), Results{});
  EXPECT_EQ(empty.messages.lastStatus(), "0 个结果!");
}

}  // namespace
}  // namespace vessiko
