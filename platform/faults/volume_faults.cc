#include "platform/faults/volume_faults.h"

namespace vessiko {

void VolumeFaults::failNext(uint32_t key, uint32_t error, int count) {
  std::lock_guard lock(mutex_);
  failures_[key] = {error, count};
}

void VolumeFaults::truncateNext(uint32_t key, uint32_t bytes, int count) {
  std::lock_guard lock(mutex_);
  truncations_[key] = {bytes, count};
}

void VolumeFaults::setControlHook(ControlHook hook) {
  std::lock_guard lock(mutex_);
  hook_ = std::move(hook);
}

void VolumeFaults::clear() {
  std::lock_guard lock(mutex_);
  failures_.clear();
  truncations_.clear();
  hook_ = nullptr;
}

uint64_t VolumeFaults::callCount(uint32_t key) const {
  std::lock_guard lock(mutex_);
  const auto it = calls_.find(key);
  return it == calls_.end() ? 0 : it->second;
}

uint32_t VolumeFaults::beginCall(uint32_t key) {
  std::lock_guard lock(mutex_);
  ++calls_[key];
  return take(failures_, key);
}

uint32_t VolumeFaults::truncated(uint32_t key, uint32_t bytes) {
  std::lock_guard lock(mutex_);
  if (truncations_.count(key) == 0) return bytes;
  const uint32_t limit = take(truncations_, key);
  return bytes < limit ? bytes : limit;
}

VolumeFaults::ControlHook VolumeFaults::controlHook() const {
  std::lock_guard lock(mutex_);
  return hook_;
}

uint32_t VolumeFaults::take(std::map<uint32_t, Planned>& planned, uint32_t key) {
  const auto it = planned.find(key);
  if (it == planned.end()) return 0;
  const uint32_t value = it->second.value;
  if (it->second.count != kEveryCall && --it->second.count <= 0) planned.erase(it);
  return value;
}

bool FaultyVolume::control(uint32_t code, const void* in, uint32_t inSize, void* out,
                           uint32_t outSize, uint32_t* returned, uint32_t* error) {
  // A copy, called unlocked: the hook may change the volume or plant other faults.
  if (const VolumeFaults::ControlHook hook = faults_->controlHook()) hook(code);
  *returned = 0;
  if (const uint32_t failure = faults_->beginCall(code)) {
    *error = failure;
    return false;
  }
  if (!volume_->control(code, in, inSize, out, outSize, returned, error)) return false;
  *returned = faults_->truncated(code, *returned);
  return true;
}

bool FaultyVolume::readAt(uint64_t offset, void* buffer, uint32_t size, uint32_t* read,
                          uint32_t* error) {
  *read = 0;
  if (const uint32_t failure = faults_->beginCall(VolumeFaults::kRawRead)) {
    *error = failure;
    return false;
  }
  if (!volume_->readAt(offset, buffer, size, read, error)) return false;
  *read = faults_->truncated(VolumeFaults::kRawRead, *read);
  return true;
}

std::unique_ptr<Volume> FaultyVolume::reopen() {
  std::unique_ptr<Volume> again = volume_->reopen();
  if (!again) return nullptr;
  return std::make_unique<FaultyVolume>(std::move(again), faults_);
}

}  // namespace vessiko
