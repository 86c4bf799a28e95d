#include "ntfs_model/usn_journal.h"

#include <algorithm>
#include <cstring>

#include "platform/little_endian.h"
#include "platform/ntfs_layout.h"

namespace vessiko {

namespace {

// The name pool drops its dead front once it passes this many units and outweighs the rest.
constexpr size_t kDropNamesFrom = 1 << 16;

}  // namespace

uint32_t UsnRecordLength(size_t nameUnits) {
  return static_cast<uint32_t>((ntfs::usn_record::kHeaderSize + 2 * nameUnits + 7) & ~size_t{7});
}

void WriteUsnRecord(uint8_t* out, const UsnRecordFields& f) {
  namespace ur = ntfs::usn_record;
  const uint32_t length = UsnRecordLength(f.name.size());
  std::memset(out, 0, length);
  StoreU32(out + ur::kRecordLength, length);
  StoreU16(out + ur::kMajorVersion, 2);
  StoreU16(out + ur::kMinorVersion, 0);
  StoreU64(out + ur::kFileReferenceNumber, f.fileReference);
  StoreU64(out + ur::kParentFileReferenceNumber, f.parentReference);
  StoreU64(out + ur::kUsn, static_cast<uint64_t>(f.usn));
  StoreU64(out + ur::kTimeStamp, f.timeStamp);
  StoreU32(out + ur::kReason, f.reason);
  StoreU32(out + ur::kFileAttributes, f.attributes);
  StoreU16(out + ur::kFileNameLength, static_cast<uint16_t>(2 * f.name.size()));
  StoreU16(out + ur::kFileNameOffset, static_cast<uint16_t>(ur::kFileName));
  for (size_t i = 0; i < f.name.size(); ++i)
    StoreU16(out + ur::kFileName + 2 * i, f.name[i]);
}

UsnJournal::UsnJournal(uint64_t id, uint64_t maximumSize, uint64_t allocationDelta,
                       int64_t startUsn)
    : id_(id),
      maximumSize_(maximumSize),
      allocationDelta_(allocationDelta),
      lowestValidUsn_(startUsn),
      firstUsn_(startUsn),
      nextUsn_(startUsn) {}

void UsnJournal::resize(uint64_t maximumSize, uint64_t allocationDelta) {
  maximumSize_ = maximumSize;
  allocationDelta_ = allocationDelta;
  discard();
}

int64_t UsnJournal::append(const UsnRecordFields& fields) {
  Record r{};
  r.usn = nextUsn_;
  r.fileReference = fields.fileReference;
  r.parentReference = fields.parentReference;
  r.timeStamp = fields.timeStamp;
  r.reason = fields.reason;
  r.attributes = fields.attributes;
  r.nameLength = static_cast<uint32_t>(fields.name.size());
  // A change writes several records naming the same file: they share one copy of the name.
  if (!records_.empty() && nameOf(records_.back()) == fields.name) {
    r.nameOffset = records_.back().nameOffset;
  } else {
    r.nameOffset = static_cast<uint32_t>(names_.size());
    names_.append(fields.name);
  }
  nextUsn_ += lengthOf(r);
  records_.push_back(r);
  discard();
  return r.usn;
}

void UsnJournal::discard() {
  while (!records_.empty() && static_cast<uint64_t>(nextUsn_ - firstUsn_) > maximumSize_) {
    records_.pop_front();
    firstUsn_ = records_.empty() ? nextUsn_ : records_.front().usn;
  }
  // The names before the oldest record kept are named by none.
  const size_t dead = records_.empty() ? names_.size() : records_.front().nameOffset;
  if (dead < kDropNamesFrom || dead < names_.size() / 2) return;
  names_.erase(0, dead);
  for (Record& r : records_)
    r.nameOffset -= static_cast<uint32_t>(dead);
}

UsnJournal::ReadResult UsnJournal::read(int64_t start, uint32_t reasonMask, bool onlyOnClose,
                                        uint8_t* out, uint32_t capacity) const {
  ReadResult result;
  auto it = std::lower_bound(records_.begin(), records_.end(), start,
                             [](const Record& r, int64_t usn) { return r.usn < usn; });
  for (; it != records_.end(); ++it) {
    const bool wanted =
        (it->reason & reasonMask) != 0 && (!onlyOnClose || (it->reason & ntfs::kReasonClose) != 0);
    if (!wanted) continue;
    const uint32_t length = lengthOf(*it);
    if (result.bytes + length > capacity) {
      result.tooSmall = result.bytes == 0;
      break;
    }
    WriteUsnRecord(out + result.bytes, {it->fileReference, it->parentReference, it->usn,
                                        it->timeStamp, it->reason, it->attributes, nameOf(*it)});
    result.bytes += length;
  }
  result.resume = it == records_.end() ? std::max(start, nextUsn_) : it->usn;
  return result;
}

}  // namespace vessiko
