#include "ntfs_image/file_table_reader.h"

#include <algorithm>
#include <span>

#include "ntfs_image/image_volume.h"
#include "ntfs_image/update_sequence.h"

namespace vessiko {

namespace {

constexpr uint64_t kBatchBytes = 256 << 10;
// How far ahead of the batch being read the next ones are asked for.
constexpr uint64_t kAheadBatches = 4;
enum : uint8_t { kUnchecked, kGood, kBad };

}  // namespace

FileTableReader::FileTableReader(const NtfsImageVolume& volume)
    : volume_(volume), recordBytes_(volume.geometry().bytesPerFileRecord) {}

void FileTableReader::load(uint64_t n) {
  first_ = n;
  count_ = std::min(std::max<uint64_t>(kBatchBytes / recordBytes_, 1), volume_.recordCount() - n);
  batch_.resize(count_ * recordBytes_);
  state_.assign(count_, kUnchecked);
  // Reading ahead lets the disk fetch the next batches while this one is parsed: the first
  // batch asks for all the batches ahead, each later one for the last of them.
  const uint64_t end = (n + count_) * recordBytes_;
  const uint64_t batch = count_ * recordBytes_;
  if (!prefetched_) {
    volume_.prefetchTable(end, kAheadBatches * batch);
    prefetched_ = true;
  } else {
    volume_.prefetchTable(end + (kAheadBatches - 1) * batch, batch);
  }
  if (volume_.readTable(n * recordBytes_, static_cast<uint32_t>(batch_.size()), batch_.data())) {
    return;
  }
  for (uint64_t i = 0; i < count_; ++i) {
    if (!volume_.readTable((n + i) * recordBytes_, recordBytes_,
                           batch_.data() + i * recordBytes_)) {
      state_[i] = kBad;
    }
  }
}

uint8_t* FileTableReader::record(uint64_t n) {
  if (n >= volume_.recordCount()) return nullptr;
  if (n < first_ || n - first_ >= count_) load(n);
  const uint64_t i = n - first_;
  uint8_t* bytes = batch_.data() + i * recordBytes_;
  if (state_[i] == kUnchecked) {
    state_[i] = ReadyFileRecord(std::span<uint8_t>(bytes, recordBytes_)) ? kGood : kBad;
  }
  return state_[i] == kGood ? bytes : nullptr;
}

}  // namespace vessiko
