// Whole runs of the engine over a simulated machine: the first build and save, loads and
// catch-up, live changes through the monitors, out-of-date databases, and closing.
#include "store/lifecycle.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/ntfs_layout.h"
#include "tests/support/engine_fixture.h"
#include "tests/support/sim_entries.h"

namespace vessiko {
namespace {

using Results = std::vector<std::string>;
using testing::simDir;
using testing::simFile;

class LifecycleTest : public ::testing::Test {
 protected:
  LifecycleTest() : c_(f_.machine.addNtfsDrive('C', u"System")) {
    docs_ = c_.create(simDir(5, u"docs"));
    c_.create(simFile(docs_, u"report.txt", 100));
    notes_ = c_.create(simFile(5, u"notes.md", 10));
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
  c_.create(simFile(docs_, u"plan.txt", 5));
  const uint64_t archive = c_.create(simDir(5, u"archive"));
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
  c_.create(simFile(docs_, u"fresh.txt", 1));
  EXPECT_TRUE(f_.waitForResults("fresh", Results{"F C:\\docs\\fresh.txt"}));
  // A directory renamed keeps its children under its new name.
  c_.rename(docs_, 5, u"documents");
  EXPECT_TRUE(f_.waitForResults("fresh", Results{"F C:\\documents\\fresh.txt"}));
  // A file moved to another folder.
  const uint64_t other = c_.create(simDir(5, u"other"));
  c_.rename(notes_, other, u"notes.md");
  EXPECT_TRUE(f_.waitForResults("notes", Results{"F C:\\other\\notes.md"}));
  // Created and deleted before it was closed: nothing.
  const uint64_t temp = c_.createOpen(simFile(docs_, u"temp.tmp", 1));
  c_.remove(temp);
  c_.closeFile(temp);
  c_.create(simFile(docs_, u"marker.bin", 1));
  EXPECT_TRUE(f_.waitForResults("marker", Results{"F C:\\documents\\marker.bin"}));
  EXPECT_EQ(f_.search("temp"), Results{});
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
