// The Volume calls of the model: the control codes with their byte layouts, and raw reads.
#include "platform/sim/sim_volume.h"

#include <algorithm>
#include <cstring>

#include "ntfs_model/volume_data.h"
#include "platform/little_endian.h"

namespace vessiko {

namespace {

constexpr uint64_t kMftMirrorLcn = 2;

}  // namespace

bool SimVolume::control(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
                        uint32_t* returned, uint32_t* error) {
  std::unique_lock lock(mutex_);
  *returned = 0;
  const auto* input = static_cast<const uint8_t*>(in);
  auto* output = static_cast<uint8_t*>(out);
  uint32_t failure = 0;
  switch (code) {
    case ntfs::kGetNtfsVolumeData:
      failure = volumeData(output, outSize, returned);
      break;
    case ntfs::kEnumUsnData:
      failure = enumerate(input, inSize, output, outSize, returned);
      break;
    case ntfs::kReadUsnJournal:
      failure = journal_.read(lock, input, inSize, output, outSize, returned);
      break;
    case ntfs::kQueryUsnJournal:
      failure = journal_.query(output, outSize, returned);
      break;
    case ntfs::kCreateUsnJournal:
      failure = journal_.createControl(input, inSize);
      break;
    case ntfs::kDeleteUsnJournal:
      failure = journal_.deleteControl(lock, input, inSize);
      break;
    case ntfs::kGetNtfsFileRecord:
      failure = fileRecord(input, inSize, output, outSize, returned);
      break;
    default:
      failure = ntfs::kErrorInvalidFunction;
  }
  if (failure != 0) {
    *returned = 0;
    *error = failure;
    return false;
  }
  return true;
}

uint32_t SimVolume::volumeData(uint8_t* out, uint32_t outSize, uint32_t* returned) const {
  VolumeGeometry g;
  g.serialNumber = options_.serialNumber;
  g.totalClusters = totalClusters();
  g.freeClusters =
      g.totalClusters - clustersFor(mftRecordsAllocated() * options_.recordSize) - clustersInUse_;
  g.clusterSize = options_.clusterSize;
  g.recordSize = options_.recordSize;
  g.mftValidDataLength = (highestUsed_ + 1) * options_.recordSize;
  g.mftStartLcn = options_.mftStartLcn;
  g.mft2StartLcn = kMftMirrorLcn;
  g.mftZoneStart = options_.mftStartLcn;
  g.mftZoneEnd = mftZoneEndLcn();
  return WriteVolumeData(g, out, outSize, returned);
}

uint32_t SimVolume::enumerate(const uint8_t* in, uint32_t inSize, uint8_t* out, uint32_t outSize,
                              uint32_t* returned) const {
  namespace me = ntfs::mft_enum_data;
  if (inSize < me::kSize) return ntfs::kErrorInvalidParameter;
  if (outSize < 8) return ntfs::kErrorInsufficientBuffer;
  const int64_t low = LoadI64(in + me::kLowUsn);
  const int64_t high = LoadI64(in + me::kHighUsn);
  uint64_t n = std::max(recordOf(LoadU64(in + me::kStartFileReferenceNumber)), kFirstUserRecord);
  // The names a file is listed under: the first, then its hard links. A DOS twin is kept apart
  // from them, and never listed.
  auto forEachName = [this](const Slot& s, auto&& visit) {
    visit(s.parent, firstName(s));
    if (!s.extras) return;
    for (const Name& link : s.extras->links)
      visit(link.parent, std::u16string_view(link.name));
  };
  const uint32_t filesPerCall = options_.enumerationRecordsPerCall;
  uint32_t files = 0;
  uint32_t used = 8;
  bool stopped = false;
  const uint64_t chunkSize = uint64_t{1} << kChunkBits;
  while (!stopped && n <= highestUsed_) {
    const uint64_t chunk = n >> kChunkBits;
    if (!chunks_[chunk]) {
      n = (chunk + 1) << kChunkBits;
      continue;
    }
    const Slot* slots = chunks_[chunk].get();
    const uint64_t end = std::min((chunk + 1) << kChunkBits, highestUsed_ + 1);
    for (; n < end; ++n) {
      const Slot& s = slots[n & (chunkSize - 1)];
      if (s.state != kInUse || (s.flags & kExtension) != 0 || s.lastUsn < low || s.lastUsn > high) {
        continue;
      }
      // A file's records go out together, or wait for the next call.
      uint32_t length = 0;
      forEachName(
          s, [&](uint64_t, std::u16string_view name) { length += UsnRecordLength(name.size()); });
      if (used + length > outSize || (filesPerCall != 0 && files == filesPerCall)) {
        stopped = true;
        break;
      }
      UsnRecordFields fields;
      fields.fileReference = referenceOf(n, s);
      fields.usn = s.lastUsn;
      fields.attributes = s.attributes;
      forEachName(s, [&](uint64_t parent, std::u16string_view name) {
        fields.parentReference = parent;
        fields.name = name;
        WriteUsnRecord(out + used, fields);
        used += UsnRecordLength(name.size());
      });
      ++files;
    }
  }
  if (used == 8) return stopped ? ntfs::kErrorInsufficientBuffer : ntfs::kErrorHandleEof;
  StoreU64(out, n);
  *returned = used;
  return 0;
}

uint32_t SimVolume::fileRecord(const uint8_t* in, uint32_t inSize, uint8_t* out, uint32_t outSize,
                               uint32_t* returned) const {
  namespace fo = ntfs::file_record_output;
  if (inSize < fo::kInputSize) return ntfs::kErrorInvalidParameter;
  if (outSize < fo::kFileRecordBuffer + options_.recordSize) return ntfs::kErrorInsufficientBuffer;
  // The nearest record in use at or below the one asked for; $MFT (0) always is.
  uint64_t n = std::min(recordOf(LoadU64(in)), highestUsed_);
  for (;;) {
    const Slot* s = slotAt(n);
    if (s == nullptr) {
      n = (n >> kChunkBits << kChunkBits) - 1;  // the last slot of the chunk before
      continue;
    }
    if (s->state == kInUse) break;
    --n;
  }
  const std::vector<uint8_t> record = recordForCaller(n);
  // A record the model cannot build is one Windows could not read.
  if (record.empty()) return ntfs::kErrorFileCorrupt;
  StoreU64(out + fo::kFileReferenceNumber, referenceOf(n, *slotAt(n)));
  StoreU32(out + fo::kFileRecordLength, options_.recordSize);
  std::memcpy(out + fo::kFileRecordBuffer, record.data(), record.size());
  *returned = fo::kFileRecordBuffer + options_.recordSize;
  return 0;
}

bool SimVolume::readAt(uint64_t offset, void* buffer, uint32_t size, uint32_t* read,
                       uint32_t* error) {
  std::lock_guard lock(mutex_);
  *read = 0;
  const uint32_t sector = ntfs::volume_data::kBytesPerSectorValue;
  if (offset % sector != 0 || size % sector != 0 ||
      reinterpret_cast<uintptr_t>(buffer) % sector != 0) {
    *error = ntfs::kErrorInvalidParameter;
    return false;
  }
  const uint64_t volumeBytes = totalClusters() * options_.clusterSize;
  const uint64_t length =
      offset >= volumeBytes ? 0 : std::min<uint64_t>(size, volumeBytes - offset);
  auto* out = static_cast<uint8_t*>(buffer);
  std::memset(out, 0, length);
  const uint64_t end = offset + length;
  // Copies the bytes of [from, from + bytes.size()) that fall in the read.
  auto overlay = [&](uint64_t from, std::span<const uint8_t> bytes) {
    const uint64_t first = std::max(from, offset);
    const uint64_t last = std::min(from + bytes.size(), end);
    if (first < last)
      std::memcpy(out + (first - offset), bytes.data() + (first - from), last - first);
  };

  // The MFT, in its on-disk form: records up to the last one in use, nothing past it.
  const uint64_t mftBegin = options_.mftStartLcn * options_.clusterSize;
  const uint64_t mftEnd = mftBegin + (highestUsed_ + 1) * options_.recordSize;
  for (uint64_t at = std::max(offset, mftBegin); at < std::min(end, mftEnd);) {
    const uint64_t n = (at - mftBegin) / options_.recordSize;
    std::vector<uint8_t> record = recordForCaller(n);
    if (record.empty()) {
      *error = ntfs::kErrorCrc;
      return false;
    }
    ProtectRecord(record);
    overlay(mftBegin + n * options_.recordSize, record);
    at = mftBegin + (n + 1) * options_.recordSize;
  }
  const uint64_t clusterSize = options_.clusterSize;
  for (const auto& [lcn, record] : listClusters_) {
    const Slot& s = *slotAt(record);
    if (lcn * clusterSize < end && (lcn + s.extras->layout->listClusters) * clusterSize > offset) {
      overlay(lcn * clusterSize, attributeList(record, s));
    }
  }
  for (auto it = writtenClusters_.lower_bound(offset / clusterSize);
       it != writtenClusters_.end() && it->first * clusterSize < end; ++it) {
    overlay(it->first * clusterSize, it->second);
  }
  *read = static_cast<uint32_t>(length);
  return true;
}

}  // namespace vessiko
