// Faults a test plants in the volumes it hands out, and the handle that carries them out. A
// FaultyVolume wraps any Volume: before each call it runs the control hook, counts the call and
// fails it with a planned system error, or lets it through and cuts the bytes it returns. The
// plan is keyed by control code, raw reads having a key of their own, and is shared by every
// handle wrapped with it, the reopened ones included. Safe to call from several threads.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <mutex>

#include "platform/volume.h"

namespace vessiko {

class VolumeFaults {
 public:
  static constexpr int kEveryCall = -1;
  // The key of raw reads (no control code is 0).
  static constexpr uint32_t kRawRead = 0;

  // The next `count` calls with this key fail with `error` (kEveryCall: all, until cleared).
  void failNext(uint32_t key, uint32_t error, int count = 1);
  void failAlways(uint32_t key, uint32_t error) { failNext(key, error, kEveryCall); }
  // The next `count` calls with this key that succeed return at most `bytes` bytes.
  void truncateNext(uint32_t key, uint32_t bytes, int count = 1);
  // Called at the start of every control call with its code, before the handle below takes
  // the call, so it may change the volume between two calls. Handles wrapped with these faults
  // run it too when the hook calls them. An empty function clears it.
  using ControlHook = std::function<void(uint32_t code)>;
  void setControlHook(ControlHook hook);
  // Clears the planned failures and truncations and the control hook.
  void clear();
  // Calls made with this key, failed ones included.
  uint64_t callCount(uint32_t key) const;

  // For a call about to run: counts it, and gives the error it must fail with, or 0.
  uint32_t beginCall(uint32_t key);
  // For a call that succeeded with `bytes`: how many it may return.
  uint32_t truncated(uint32_t key, uint32_t bytes);
  ControlHook controlHook() const;

 private:
  struct Planned {
    uint32_t value;
    int count;
  };
  static uint32_t take(std::map<uint32_t, Planned>& planned, uint32_t key);

  mutable std::mutex mutex_;
  std::map<uint32_t, Planned> failures_;
  std::map<uint32_t, Planned> truncations_;
  std::map<uint32_t, uint64_t> calls_;
  ControlHook hook_;
};

class FaultyVolume final : public Volume {
 public:
  FaultyVolume(std::unique_ptr<Volume> volume, std::shared_ptr<VolumeFaults> faults)
      : volume_(std::move(volume)), faults_(std::move(faults)) {}

  bool control(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
               uint32_t* returned, uint32_t* error) override;
  bool readAt(uint64_t offset, void* buffer, uint32_t size, uint32_t* read,
              uint32_t* error) override;
  std::unique_ptr<Volume> reopen() override;

 private:
  std::unique_ptr<Volume> volume_;
  std::shared_ptr<VolumeFaults> faults_;
};

}  // namespace vessiko
