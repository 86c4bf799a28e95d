// The Volume calls of the model: the control codes with their byte layouts, and raw reads.
#include "platform/sim/sim_volume.h"

#include <algorithm>
#include <chrono>
#include <cstring>

#include "platform/little_endian.h"

namespace vessiko {

namespace {

constexpr uint64_t kMftMirrorLcn = 2;
constexpr int64_t kMaxUsn = 0x7FFFFFFFFFFF0000LL;

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
      failure = readJournal(lock, input, inSize, output, outSize, returned);
      break;
    case ntfs::kQueryUsnJournal:
      failure = queryJournal(output, outSize, returned);
      break;
    case ntfs::kCreateUsnJournal:
      failure = createJournalControl(input, inSize);
      break;
    case ntfs::kDeleteUsnJournal:
      failure = deleteJournalControl(lock, input, inSize);
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
  namespace vd = ntfs::volume_data;
  if (outSize < vd::kSize) return ntfs::kErrorInsufficientBuffer;
  std::memset(out, 0, vd::kSize);
  const uint64_t total = totalClusters();
  const uint64_t mftClusters = clustersFor(mftRecordsAllocated() * options_.recordSize);
  StoreU64(out + vd::kVolumeSerialNumber, options_.serialNumber);
  StoreU64(out + vd::kNumberSectors, total * options_.clusterSize / vd::kBytesPerSectorValue);
  StoreU64(out + vd::kTotalClusters, total);
  StoreU64(out + vd::kFreeClusters, total - mftClusters - clustersInUse_);
  StoreU32(out + vd::kBytesPerSector, vd::kBytesPerSectorValue);
  StoreU32(out + vd::kBytesPerCluster, options_.clusterSize);
  StoreU32(out + vd::kBytesPerFileRecordSegment, options_.recordSize);
  StoreU32(out + vd::kClustersPerFileRecordSegment, options_.recordSize >= options_.clusterSize
                                                        ? options_.recordSize / options_.clusterSize
                                                        : 0);
  StoreU64(out + vd::kMftValidDataLength, (highestUsed_ + 1) * options_.recordSize);
  StoreU64(out + vd::kMftStartLcn, options_.mftStartLcn);
  StoreU64(out + vd::kMft2StartLcn, kMftMirrorLcn);
  StoreU64(out + vd::kMftZoneStart, options_.mftStartLcn);
  StoreU64(out + vd::kMftZoneEnd, mftZoneEndLcn());
  *returned = vd::kSize;
  return 0;
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

uint32_t SimVolume::readJournal(std::unique_lock<std::mutex>& lock, const uint8_t* in,
                                uint32_t inSize, uint8_t* out, uint32_t outSize,
                                uint32_t* returned) {
  namespace rj = ntfs::read_usn_journal_data;
  if (inSize < rj::kSize) return ntfs::kErrorInvalidParameter;
  if (outSize < 8) return ntfs::kErrorInsufficientBuffer;
  const uint64_t timeout = LoadU64(in + rj::kTimeout);
  const uint64_t bytesToWaitFor = LoadU64(in + rj::kBytesToWaitFor);
  const uint64_t id = LoadU64(in + rj::kUsnJournalId);
  int64_t start = LoadI64(in + rj::kStartUsn);
  auto check = [&]() -> uint32_t {
    if (!journal_) return ntfs::kErrorJournalNotActive;
    if (journalDeleting_) return ntfs::kErrorJournalDeleteInProgress;
    if (id != journal_->id()) return ntfs::kErrorInvalidParameter;
    if (start != 0 && start < journal_->firstUsn()) return ntfs::kErrorJournalEntryDeleted;
    return 0;
  };
  if (uint32_t failure = check()) return failure;
  if (start == 0) start = journal_->firstUsn();
  if (bytesToWaitFor > 0) {
    // Waits until that many bytes of records follow StartUsn; Timeout is in seconds, 0 waits
    // for as long as it takes.
    auto enough = [&] {
      return !journal_ || journalDeleting_ ||
             static_cast<uint64_t>(std::max<int64_t>(journal_->nextUsn() - start, 0)) >=
                 bytesToWaitFor;
    };
    if (timeout == 0) {
      journalGrew_.wait(lock, enough);
    } else {
      constexpr uint64_t kLongestWait = 86400;  // keeps the deadline arithmetic in range
      journalGrew_.wait_for(lock, std::chrono::seconds(std::min(timeout, kLongestWait)), enough);
    }
    if (uint32_t failure = check()) return failure;
  }
  const UsnJournal::ReadResult result =
      journal_->read(start, LoadU32(in + rj::kReasonMask),
                     LoadU32(in + rj::kReturnOnlyOnClose) != 0, out + 8, outSize - 8);
  if (result.tooSmall) return ntfs::kErrorInsufficientBuffer;
  StoreU64(out, static_cast<uint64_t>(result.resume));
  *returned = 8 + result.bytes;
  return 0;
}

uint32_t SimVolume::queryJournal(uint8_t* out, uint32_t outSize, uint32_t* returned) const {
  namespace jd = ntfs::usn_journal_data;
  if (!journal_) return ntfs::kErrorJournalNotActive;
  if (journalDeleting_) return ntfs::kErrorJournalDeleteInProgress;
  if (outSize < jd::kSize) return ntfs::kErrorInsufficientBuffer;
  StoreU64(out + jd::kUsnJournalId, journal_->id());
  StoreU64(out + jd::kFirstUsn, static_cast<uint64_t>(journal_->firstUsn()));
  StoreU64(out + jd::kNextUsn, static_cast<uint64_t>(journal_->nextUsn()));
  StoreU64(out + jd::kLowestValidUsn, static_cast<uint64_t>(journal_->lowestValidUsn()));
  StoreU64(out + jd::kMaxUsn, static_cast<uint64_t>(kMaxUsn));
  StoreU64(out + jd::kMaximumSize, journal_->maximumSize());
  StoreU64(out + jd::kAllocationDelta, journal_->allocationDelta());
  *returned = jd::kSize;
  return 0;
}

uint32_t SimVolume::createJournalControl(const uint8_t* in, uint32_t inSize) {
  namespace cj = ntfs::create_usn_journal_data;
  if (inSize < cj::kSize) return ntfs::kErrorInvalidParameter;
  if (!createJournalLocked(LoadU64(in + cj::kMaximumSize), LoadU64(in + cj::kAllocationDelta),
                           std::nullopt)) {
    return ntfs::kErrorJournalDeleteInProgress;
  }
  return 0;
}

uint32_t SimVolume::deleteJournalControl(std::unique_lock<std::mutex>& lock, const uint8_t* in,
                                         uint32_t inSize) {
  namespace dj = ntfs::delete_usn_journal_data;
  if (inSize < dj::kSize) return ntfs::kErrorInvalidParameter;
  const uint32_t flags = LoadU32(in + dj::kDeleteFlags);
  if ((flags & (dj::kFlagDelete | dj::kFlagNotify)) == 0) return ntfs::kErrorInvalidParameter;
  if (flags & dj::kFlagDelete) {
    if (!journal_) return ntfs::kErrorJournalNotActive;
    if (journalDeleting_) return ntfs::kErrorJournalDeleteInProgress;
    if (LoadU64(in + dj::kUsnJournalId) != journal_->id()) return ntfs::kErrorInvalidParameter;
    beginJournalDeletionLocked();
  }
  // NOTIFY returns once the deletion is over; the model ends a quick one at once.
  if (flags & dj::kFlagNotify) {
    if (journalDeletionSlow_) {
      journalDeleted_.wait(lock, [this] { return !journalDeleting_; });
    } else {
      finishJournalDeletionLocked();
    }
  }
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
