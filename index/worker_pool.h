// WorkerPool: threads kept for the life of the pool, each job split in lanes that run side by
// side. Lane 0 runs on the calling thread; lanes 1.. on the pool's threads. A pool of one lane
// has no threads and runs every job on the caller, as a single-threaded program would.
//
// One job runs at a time. A caller that finds the pool busy (another search, another session)
// runs all the lanes of its own job itself, one after another: jobs are written so that their
// lanes' results do not depend on which thread ran them.
#pragma once

#include <condition_variable>
#include <cstdint>
#include <mutex>
#include <thread>
#include <vector>

namespace vessiko {

class WorkerPool {
 public:
  static constexpr unsigned kMaxLanes = 16;

  // The lanes of a pool for this machine: one per hardware thread, within [1, kMaxLanes].
  static unsigned MachineLanes();
  // The process's pool, of MachineLanes(), made on first use: what the build and the searches
  // run on unless they are handed another.
  static WorkerPool& shared();

  explicit WorkerPool(unsigned lanes);
  ~WorkerPool();
  WorkerPool(const WorkerPool&) = delete;
  WorkerPool& operator=(const WorkerPool&) = delete;

  unsigned lanes() const { return lanes_; }

  // Calls job(lane) once for every lane in [0, lanes()) and returns when all have returned.
  template <class Job>
  void run(const Job& job) {
    run(&Call<Job>, &job);
  }

 private:
  using Trampoline = void (*)(const void* job, unsigned lane);
  template <class Job>
  static void Call(const void* job, unsigned lane) {
    (*static_cast<const Job*>(job))(lane);
  }

  void run(Trampoline call, const void* job);
  void serve(unsigned lane);

  const unsigned lanes_;
  std::vector<std::thread> threads_;
  std::mutex running_;  // held by the caller whose job the threads run

  std::mutex mutex_;
  std::condition_variable wake_;
  std::condition_variable done_;
  Trampoline call_ = nullptr;
  const void* job_ = nullptr;
  uint64_t generation_ = 0;
  unsigned busy_ = 0;
  bool stopping_ = false;
};

}  // namespace vessiko
