// The worker pool: every lane of a job runs once, on as many threads as the pool has, jobs
// follow each other on the same threads, and a job started while the pool is busy (another
// search, or a job inside a job) runs all its lanes on its caller instead of waiting.
#include "index/worker_pool.h"

#include <gtest/gtest.h>

#include <atomic>
#include <mutex>
#include <set>
#include <thread>
#include <vector>

namespace vessiko {
namespace {

TEST(WorkerPool, EveryLaneOnceAcrossJobsAndInsideABusyPool) {
  for (const unsigned lanes : {1u, 3u}) {
    WorkerPool pool(lanes);
    ASSERT_EQ(pool.lanes(), lanes);
    std::mutex mutex;
    std::set<std::thread::id> threads;
    for (int job = 0; job < 50; ++job) {
      std::vector<int> ran(lanes, 0);
      std::vector<int> inner(lanes, 0);
      pool.run([&](unsigned lane) {
        ++ran[lane];
        {
          std::lock_guard lock(mutex);
          threads.insert(std::this_thread::get_id());
        }
        // The pool is busy with this very job: the inner one runs here, lane after lane.
        if (lane == 0) pool.run([&](unsigned innerLane) { ++inner[innerLane]; });
      });
      EXPECT_EQ(ran, std::vector<int>(lanes, 1)) << lanes << " lanes, job " << job;
      EXPECT_EQ(inner, std::vector<int>(lanes, 1)) << lanes << " lanes, job " << job;
    }
    // The same threads serve every job: the caller and lanes - 1 of the pool's own.
    EXPECT_EQ(threads.size(), lanes);
    EXPECT_TRUE(threads.count(std::this_thread::get_id()) == 1);
  }
}

}  // namespace
}  // namespace vessiko
