// The rows of the result view as the model describes them, and the locks it holds: none while a
// row's file record is read, so the journal monitors go on applying changes during a listing.
#include "search/result_rows.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <future>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/ntfs_layout.h"
#include "tests/support/engine_fixture.h"
#include "tests/support/sim_entries.h"

namespace vessiko {
namespace {

using namespace std::chrono_literals;
using Results = std::vector<std::string>;
using testing::SimDir;
using testing::SimFile;

class ResultRowsTest : public ::testing::Test {
 protected:
  ResultRowsTest()
      : c_(f_.machine.addNtfsDrive('C', u"System")), d_(f_.machine.addNtfsDrive('D', u"Data")) {
    docs_ = c_.create(SimDir(5, u"docs"));
    c_.create(SimFile(docs_, u"report.txt", 100));
    d_.create(SimFile(5, u"ledger", 7));
  }

  ResultRows rows() {
    Engine& engine = f_.engine();
    return ResultRows(engine.index(), engine.results(), engine.slots());
  }

  testing::EngineFixture f_;
  SimVolume& c_;
  SimVolume& d_;
  uint64_t docs_;
};

TEST_F(ResultRowsTest, DirectoriesComeFirstWithTheirFoldersAndValues) {
  f_.startRun();
  ASSERT_EQ(f_.search("o"), (Results{"D C:\\docs", "F C:\\docs\\report.txt"}));
  const ResultRows rows = this->rows();
  EXPECT_EQ(rows.count(), 2u);
  RowDescription d;
  ASSERT_TRUE(rows.describe(0, kAllFileValues, &d));
  EXPECT_TRUE(d.entry.isDirectory);
  EXPECT_EQ(d.baseName, u"docs");
  EXPECT_EQ(d.folders, std::vector<std::u16string>{u"C:"});
  EXPECT_EQ(d.values.delivered, kAllFileValues & ~uint32_t{kSize});  // a directory has none
  // The description is reused: the longer chain and the extension are the file's own.
  ASSERT_TRUE(rows.describe(1, kAllFileValues, &d));
  EXPECT_FALSE(d.entry.isDirectory);
  EXPECT_EQ(d.baseName, u"report");
  EXPECT_EQ(d.extension, u"txt");
  EXPECT_EQ(d.folders, (std::vector<std::u16string>{u"C:", u"docs"}));
  EXPECT_EQ(d.values.delivered, kAllFileValues);
  EXPECT_EQ(d.values.size, 100u);
  EXPECT_FALSE(rows.describe(2, kAllFileValues, &d));
}

// Whether the index lock and then the search lock can be taken within the time.
bool LocksFreeWithin(Engine& engine, std::chrono::milliseconds within) {
  const auto deadline = std::chrono::steady_clock::now() + within;
  do {
    if (engine.index().lock.try_lock()) {
      const bool free = engine.results().lock.try_lock();
      if (free) engine.results().lock.unlock();
      engine.index().lock.unlock();
      if (free) return true;
    }
    std::this_thread::sleep_for(1ms);
  } while (std::chrono::steady_clock::now() < deadline);
  return false;
}

// The row's record read on D is held up until released; meanwhile C's monitor applies a change
// and a search runs. Bounded waits, so a lock held across the read fails the test, not hangs it.
TEST_F(ResultRowsTest, MonitorsApplyChangesWhileARowsRecordIsRead) {
  Engine& engine = f_.startRun();
  ASSERT_EQ(f_.search("ledger"), Results{"F D:\\ledger"});
  struct Gate {
    std::atomic<std::thread::id> reader;
    std::mutex mutex;
    std::condition_variable changed;
    bool reading = false;
    bool released = false;
  };
  const auto gate = std::make_shared<Gate>();
  f_.machine.faults('D').setControlHook([gate](uint32_t code) {
    if (code != ntfs::kGetNtfsFileRecord || std::this_thread::get_id() != gate->reader) return;
    std::unique_lock lock(gate->mutex);
    gate->reading = true;
    gate->changed.notify_all();
    gate->changed.wait(lock, [&] { return gate->released; });
  });
  const ResultRows rows = this->rows();
  RowDescription row;
  auto listing = std::async(std::launch::async, [&] {
    gate->reader = std::this_thread::get_id();
    return rows.describe(0, kAllFileValues, &row);
  });

  bool reading;
  {
    std::unique_lock lock(gate->mutex);
    reading = gate->changed.wait_for(lock, 10s, [&] { return gate->reading; });
  }
  const bool locksFree = reading && LocksFreeWithin(engine, 2s);
  bool applied = false;
  if (locksFree) {
    c_.create(SimFile(docs_, u"fresh.txt", 1));
    applied = f_.waitForResults("fresh", Results{"F C:\\docs\\fresh.txt"});
  }
  {
    std::lock_guard lock(gate->mutex);
    gate->released = true;
  }
  gate->changed.notify_all();

  EXPECT_TRUE(reading);
  EXPECT_TRUE(locksFree);
  EXPECT_TRUE(applied);
  ASSERT_TRUE(listing.get());
  EXPECT_EQ(row.baseName, u"ledger");
  EXPECT_EQ(row.values.size, 7u);
}

}  // namespace
}  // namespace vessiko
