#include "platform/fakes/memory_files.h"

#include <algorithm>
#include <cstring>

namespace vessiko {

namespace {

class MemoryReader final : public FileReader {
 public:
  MemoryReader(std::vector<uint8_t> bytes, uint32_t sizeError, bool failRead, size_t readLimit)
      : bytes_(std::move(bytes)),
        sizeError_(sizeError),
        failRead_(failRead),
        readLimit_(readLimit) {}

  bool size(uint64_t* bytes, uint32_t* error) override {
    if (sizeError_ != 0) {
      *error = sizeError_;
      return false;
    }
    *bytes = bytes_.size();
    return true;
  }

  bool read(void* buffer, size_t n, size_t* got, uint32_t* error) override {
    size_t available = bytes_.size() - position_;
    if (failRead_) available = std::min(available, readLimit_ - std::min(readLimit_, position_));
    const size_t count = std::min(n, available);
    if (count > 0) std::memcpy(buffer, bytes_.data() + position_, count);
    position_ += count;
    *got = count;
    if (failRead_ && count < n && position_ < bytes_.size()) {
      *error = MemoryFiles::kErrorReadFault;
      return false;
    }
    return true;
  }

 private:
  std::vector<uint8_t> bytes_;
  size_t position_ = 0;
  uint32_t sizeError_;
  bool failRead_;
  size_t readLimit_;
};

}  // namespace

std::unique_ptr<FileReader> MemoryFiles::openForRead(const std::string& path, uint32_t* error) {
  std::lock_guard lock(mutex_);
  const Failures failures = failures_.count(path) ? failures_.at(path) : Failures{};
  if (failures.openError != 0) {
    *error = failures.openError;
    return nullptr;
  }
  auto it = files_.find(path);
  if (it == files_.end()) {
    *error = kErrorFileNotFound;
    return nullptr;
  }
  return std::make_unique<MemoryReader>(it->second, failures.sizeError, failures.failRead,
                                        failures.readLimit);
}

bool MemoryFiles::replaceWith(const std::string& path,
                              std::span<const std::span<const uint8_t>> pieces, uint32_t* error) {
  std::lock_guard lock(mutex_);
  return write(path, pieces, false, error);
}

bool MemoryFiles::writeWhole(const std::string& path,
                             std::span<const std::span<const uint8_t>> pieces, uint32_t* error) {
  std::lock_guard lock(mutex_);
  return write(path, pieces, true, error);
}

bool MemoryFiles::write(const std::string& path, std::span<const std::span<const uint8_t>> pieces,
                        bool inPlace, uint32_t* error) {
  if (crashed(error)) return false;
  const auto failures = failures_.find(path);
  if (failures != failures_.end() && failures->second.writeError != 0) {
    *error = failures->second.writeError;
    return false;
  }
  std::vector<uint8_t> written;
  for (const auto& piece : pieces)
    written.insert(written.end(), piece.begin(), piece.end());
  if (failWrite_ && written.size() > writeLimit_) {
    *error = kErrorDiskFull;
    // A replacement drops its temporary file and the old file stays; a file written in place
    // keeps what fitted.
    if (inPlace) files_[path].assign(written.begin(), written.begin() + writeLimit_);
    return false;
  }
  files_[path] = std::move(written);
  ++replaces_;
  changed();
  return true;
}

bool MemoryFiles::moveReplacing(const std::string& from, const std::string& to, uint32_t* error) {
  std::lock_guard lock(mutex_);
  if (crashed(error)) return false;
  const auto failures = failures_.find(from);
  if (failures != failures_.end() && failures->second.moveError != 0) {
    *error = failures->second.moveError;
    return false;
  }
  auto it = files_.find(from);
  if (it == files_.end()) {
    *error = kErrorFileNotFound;
    return false;
  }
  std::vector<uint8_t> bytes = std::move(it->second);
  files_.erase(it);
  files_[to] = std::move(bytes);
  changed();
  return true;
}

bool MemoryFiles::exists(const std::string& path) {
  std::lock_guard lock(mutex_);
  return files_.count(path) != 0;
}

bool MemoryFiles::remove(const std::string& path) {
  std::lock_guard lock(mutex_);
  uint32_t error = 0;
  if (crashed(&error) || files_.erase(path) == 0) return false;
  changed();
  return true;
}

bool MemoryFiles::crashed(uint32_t* error) const {
  if (changesLeft_ != 0) return false;
  *error = kErrorNotReady;
  return true;
}

void MemoryFiles::changed() {
  if (changesLeft_ > 0) --changesLeft_;
}

void MemoryFiles::put(const std::string& path, std::vector<uint8_t> bytes) {
  std::lock_guard lock(mutex_);
  files_[path] = std::move(bytes);
}

std::vector<uint8_t> MemoryFiles::get(const std::string& path) const {
  std::lock_guard lock(mutex_);
  auto it = files_.find(path);
  return it == files_.end() ? std::vector<uint8_t>() : it->second;
}

std::vector<std::string> MemoryFiles::paths() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> out;
  for (const auto& file : files_)
    out.push_back(file.first);
  return out;
}

void MemoryFiles::failOpen(const std::string& path, uint32_t error) {
  std::lock_guard lock(mutex_);
  failures_[path].openError = error;
}

void MemoryFiles::failSize(const std::string& path, uint32_t error) {
  std::lock_guard lock(mutex_);
  failures_[path].sizeError = error;
}

void MemoryFiles::failReadAfter(const std::string& path, size_t bytes) {
  std::lock_guard lock(mutex_);
  failures_[path].failRead = true;
  failures_[path].readLimit = bytes;
}

void MemoryFiles::failWriteAfter(size_t bytes) {
  std::lock_guard lock(mutex_);
  failWrite_ = true;
  writeLimit_ = bytes;
}

void MemoryFiles::failWrite(const std::string& path, uint32_t error) {
  std::lock_guard lock(mutex_);
  failures_[path].writeError = error;
}

void MemoryFiles::failMove(const std::string& from, uint32_t error) {
  std::lock_guard lock(mutex_);
  failures_[from].moveError = error;
}

void MemoryFiles::crashAfter(int changes) {
  std::lock_guard lock(mutex_);
  changesLeft_ = changes;
}

void MemoryFiles::clearFailures() {
  std::lock_guard lock(mutex_);
  failures_.clear();
  failWrite_ = false;
  changesLeft_ = -1;
}

int MemoryFiles::replaceCount() const {
  std::lock_guard lock(mutex_);
  return replaces_;
}

}  // namespace vessiko
