#include "index/worker_pool.h"

#include <algorithm>

namespace vessiko {

unsigned WorkerPool::MachineLanes() {
  return std::clamp(std::thread::hardware_concurrency(), 1u, kMaxLanes);
}

WorkerPool& WorkerPool::shared() {
  static WorkerPool pool(MachineLanes());
  return pool;
}

WorkerPool::WorkerPool(unsigned lanes) : lanes_(std::clamp(lanes, 1u, kMaxLanes)) {
  threads_.reserve(lanes_ - 1);
  for (unsigned lane = 1; lane < lanes_; ++lane)
    threads_.emplace_back([this, lane] { serve(lane); });
}

WorkerPool::~WorkerPool() {
  {
    std::lock_guard lock(mutex_);
    stopping_ = true;
  }
  wake_.notify_all();
  for (std::thread& thread : threads_)
    thread.join();
}

void WorkerPool::run(Trampoline call, const void* job) {
  std::unique_lock running(running_, std::try_to_lock);
  if (threads_.empty() || !running.owns_lock()) {
    for (unsigned lane = 0; lane < lanes_; ++lane)
      call(job, lane);
    return;
  }
  {
    std::lock_guard lock(mutex_);
    call_ = call;
    job_ = job;
    busy_ = lanes_ - 1;
    ++generation_;
  }
  wake_.notify_all();
  call(job, 0);
  std::unique_lock lock(mutex_);
  done_.wait(lock, [this] { return busy_ == 0; });
  job_ = nullptr;
}

void WorkerPool::serve(unsigned lane) {
  uint64_t seen = 0;
  for (;;) {
    Trampoline call;
    const void* job;
    {
      std::unique_lock lock(mutex_);
      wake_.wait(lock, [&] { return stopping_ || generation_ != seen; });
      if (stopping_) return;
      seen = generation_;
      call = call_;
      job = job_;
    }
    call(job, lane);
    bool last;
    {
      std::lock_guard lock(mutex_);
      last = --busy_ == 0;
    }
    if (last) done_.notify_one();
  }
}

}  // namespace vessiko
