// Files kept in memory, for tests: no disk, and failures on demand (a file that cannot be
// opened, a size that cannot be read, a short read, a disk that fills up while writing, a file
// that cannot be written or moved, a machine that stops between two changes). Every change is
// whole and lasting when it returns, as the system's own files promise.
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
  static constexpr uint32_t kErrorNotReady = 21;   // ERROR_NOT_READY: after a crash

  std::unique_ptr<FileReader> openForRead(const std::string& path, uint32_t* error) override;
  bool replaceWith(const std::string& path, std::span<const std::span<const uint8_t>> pieces,
                   uint32_t* error) override;
  bool writeWhole(const std::string& path, std::span<const std::span<const uint8_t>> pieces,
                  uint32_t* error) override;
  bool moveReplacing(const std::string& from, const std::string& to, uint32_t* error) override;
  bool exists(const std::string& path) override;
  bool remove(const std::string& path) override;

  void put(const std::string& path, std::vector<uint8_t> bytes);
  // Empty when the file does not exist.
  std::vector<uint8_t> get(const std::string& path) const;
  // Every file's path, in order.
  std::vector<std::string> paths() const;

  // Failures: opening fails with `error`; the size cannot be read; reads deliver at most
  // `bytes` bytes and then fail; a write fails once `bytes` bytes have been written; writing
  // the path (whole or by replacing) or moving from it fails with `error`; after `changes` more
  // writes, moves and removals, every one fails with kErrorNotReady and changes nothing.
  void failOpen(const std::string& path, uint32_t error);
  void failSize(const std::string& path, uint32_t error);
  void failReadAfter(const std::string& path, size_t bytes);
  void failWriteAfter(size_t bytes);
  void failWrite(const std::string& path, uint32_t error);
  void failMove(const std::string& from, uint32_t error);
  void crashAfter(int changes);
  void clearFailures();
  // How many files were written, by replacing or whole.
  int replaceCount() const;

 private:
  struct Failures {
    uint32_t openError = 0;
    uint32_t sizeError = 0;
    uint32_t writeError = 0;
    uint32_t moveError = 0;
    bool failRead = false;
    size_t readLimit = 0;
  };

  // The callers hold the lock.
  bool write(const std::string& path, std::span<const std::span<const uint8_t>> pieces,
             bool inPlace, uint32_t* error);
  bool crashed(uint32_t* error) const;
  void changed();

  mutable std::mutex mutex_;
  std::map<std::string, std::vector<uint8_t>> files_;
  std::map<std::string, Failures> failures_;
  bool failWrite_ = false;
  size_t writeLimit_ = 0;
  int replaces_ = 0;
  int changesLeft_ = -1;  // until the crash; -1 for none
};

}  // namespace vessiko
