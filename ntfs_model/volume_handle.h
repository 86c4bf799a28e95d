// VolumeHandle: a handle on a volume the program models itself (the simulated machine's, a
// mirrored tree's). It shares ownership of the model, so it stays valid after whoever made the
// model is gone, and runs the calls made on it one at a time, as Windows runs those on a
// synchronous handle: a call that waits holds up the others on the same handle only.
//
// Thread safety: any thread; calls on one handle run one at a time.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/mutex.h"
#include "platform/volume.h"

namespace vessiko {

// Model: control() and readAt() as a Volume has them, safe from several threads, and open()
// for another handle.
template <class Model>
class VolumeHandle final : public Volume {
 public:
  explicit VolumeHandle(std::shared_ptr<Model> model) : model_(std::move(model)) {}

  bool control(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
               uint32_t* returned, uint32_t* error) override {
    MutexLock lock(callLock_);
    return model_->control(code, in, inSize, out, outSize, returned, error);
  }
  bool readAt(uint64_t offset, void* buffer, uint32_t size, uint32_t* read,
              uint32_t* error) override {
    MutexLock lock(callLock_);
    return model_->readAt(offset, buffer, size, read, error);
  }
  std::unique_ptr<Volume> reopen() override { return model_->open(); }

 private:
  std::shared_ptr<Model> model_;
  Mutex callLock_;
};

}  // namespace vessiko
