// A Heap that can be told to refuse allocations, for the tests of memory failures.
#pragma once

#include <atomic>
#include <cstdint>

#include "platform/heap.h"

namespace vessiko {

class FailingHeap : public Heap {
 public:
  static constexpr uint32_t kOutOfMemory = 8;  // ERROR_NOT_ENOUGH_MEMORY

  // The next `count` allocations and reallocations succeed, then every one fails until
  // allowAll() (a negative count never fails).
  void failAfter(int64_t count) { budget_ = count; }
  void allowAll() {
    budget_ = -1;
    largest_ = SIZE_MAX;
  }
  // Allocations of more than `bytes` fail (the count above still applies to the others).
  void failAbove(size_t bytes) { largest_ = bytes; }
  int64_t live() const { return live_; }

  void* allocate(size_t bytes, bool zeroed) override {
    if (bytes > largest_ || !spend()) return nullptr;
    ++live_;
    return ProcessHeap().allocate(bytes, zeroed);
  }
  void* reallocate(void* block, size_t bytes) override {
    if (bytes > largest_ || !spend()) return nullptr;
    if (block == nullptr) ++live_;
    return ProcessHeap().reallocate(block, bytes);
  }
  void release(void* block) override {
    if (block != nullptr) --live_;
    ProcessHeap().release(block);
  }
  uint32_t lastError() const override { return kOutOfMemory; }

 private:
  bool spend() {
    int64_t budget = budget_.load();
    if (budget < 0) return true;
    if (budget == 0) return false;
    budget_ = budget - 1;
    return true;
  }

  std::atomic<int64_t> budget_{-1};
  std::atomic<size_t> largest_{SIZE_MAX};
  std::atomic<int64_t> live_{0};
};

}  // namespace vessiko
