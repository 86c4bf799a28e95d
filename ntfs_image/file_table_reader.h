// FileTableReader: records of a volume's file table read a batch at a time (256 KiB), for a walk
// through them in order: one read per record would cost a system call each, most of an
// enumeration's time. Each record is handed out with its update sequence applied and its header
// checked, as NtfsImageVolume::readRecord gives it. A batch that cannot be read whole (a damaged
// run) is read record by record, so that one bad cluster loses only its own records.
#pragma once

#include <cstdint>
#include <vector>

namespace vessiko {

class NtfsImageVolume;

class FileTableReader {
 public:
  explicit FileTableReader(const NtfsImageVolume& volume);

  // Record n's bytes, valid until the next call; null when it lies outside the table, cannot be
  // read, is torn or is no FILE record.
  uint8_t* record(uint64_t n);

 private:
  void load(uint64_t n);

  const NtfsImageVolume& volume_;
  const uint32_t recordBytes_;
  std::vector<uint8_t> batch_;
  std::vector<uint8_t> state_;  // per record of the batch
  uint64_t first_ = 0;
  uint64_t count_ = 0;
  bool prefetched_ = false;  // the batches ahead of the first were asked for
};

}  // namespace vessiko
