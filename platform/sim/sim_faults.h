// The faults a test plants in a simulated volume, keyed by control code (raw reads have a key of
// their own): failing calls with a chosen system error, and cutting the bytes a call returns.
// Not thread-safe: the volume that owns it guards it.
#pragma once

#include <cstdint>
#include <map>

namespace vessiko {

class SimFaults {
 public:
  static constexpr int kEveryCall = -1;

  // The next `count` calls with this key fail with `error` (kEveryCall: all, until cleared).
  void fail(uint32_t key, uint32_t error, int count) { failures_[key] = {error, count}; }
  // The next `count` successful calls with this key return at most `bytes` bytes.
  void truncate(uint32_t key, uint32_t bytes, int count) { truncations_[key] = {bytes, count}; }
  void clear() {
    failures_.clear();
    truncations_.clear();
  }

  // For a call about to run: the error it must fail with, or 0.
  uint32_t takeFailure(uint32_t key) { return take(failures_, key); }
  // For a call that succeeded with `bytes`: how many it may return.
  uint32_t truncated(uint32_t key, uint32_t bytes) {
    if (truncations_.count(key) == 0) return bytes;
    const uint32_t limit = take(truncations_, key);
    return bytes < limit ? bytes : limit;
  }

 private:
  struct Planned {
    uint32_t value;
    int count;
  };
  static uint32_t take(std::map<uint32_t, Planned>& planned, uint32_t key) {
    const auto it = planned.find(key);
    if (it == planned.end()) return 0;
    const uint32_t value = it->second.value;
    if (it->second.count != kEveryCall && --it->second.count <= 0) planned.erase(it);
    return value;
  }

  std::map<uint32_t, Planned> failures_;
  std::map<uint32_t, Planned> truncations_;
};

}  // namespace vessiko
