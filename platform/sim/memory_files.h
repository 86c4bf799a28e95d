// Files kept in memory, for tests: no disk, and failures on demand (a file that cannot be
// opened, a size that cannot be read, a short read, a disk that fills up while writing).
#pragma once

#include <cstdint>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "platform/files.h"

namespace vessiko {

class MemoryFiles : public Files {
 public:
  static constexpr uint32_t kErrorFileNotFound = 2;
  static constexpr uint32_t kErrorDiskFull = 112;  // ERROR_DISK_FULL
  static constexpr uint32_t kErrorReadFault = 30;  // ERROR_READ_FAULT

  std::unique_ptr<FileReader> openForRead(const std::string& path, uint32_t* error) override;
  bool replaceWith(const std::string& path, std::span<const std::span<const uint8_t>> pieces,
                   uint32_t* error) override;
  bool exists(const std::string& path) override;
  bool remove(const std::string& path) override;

  void put(const std::string& path, std::vector<uint8_t> bytes);
  // Empty when the file does not exist.
  std::vector<uint8_t> get(const std::string& path) const;

  // Failures: opening fails with `error`; the size cannot be read; reads deliver at most
  // `bytes` bytes and then fail; a write fails once `bytes` bytes have been written.
  void failOpen(const std::string& path, uint32_t error);
  void failSize(const std::string& path, uint32_t error);
  void failReadAfter(const std::string& path, size_t bytes);
  void failWriteAfter(size_t bytes);
  void clearFailures();
  int replaceCount() const;

 private:
  struct Failures {
    uint32_t openError = 0;
    uint32_t sizeError = 0;
    bool failRead = false;
    size_t readLimit = 0;
  };

  mutable std::mutex mutex_;
  std::map<std::string, std::vector<uint8_t>> files_;
  std::map<std::string, Failures> failures_;
  bool failWrite_ = false;
  size_t writeLimit_ = 0;
  int replaces_ = 0;
};

}  // namespace vessiko
