// Reading USN_RECORD_V2 records out of the output of FSCTL_ENUM_USN_DATA and
// FSCTL_READ_USN_JOURNAL. Both outputs start with an 8-byte position and are followed by
// records, each RecordLength long. The walk is bounded by the bytes returned: a record that
// claims less than its header, more than what is left, or a name that does not fit it ends the
// walk, so a damaged or hostile output is never read past its end.
#pragma once

#include <cstdint>

#include "platform/little_endian.h"
#include "platform/ntfs_layout.h"

namespace vessiko {

struct UsnRecord {
  uint64_t fileReference;
  uint64_t parentReference;
  int64_t usn;
  uint32_t reason;
  uint32_t attributes;
  const uint8_t* name;  // UTF-16 little-endian, nameLength units, at offset 60
  uint32_t nameLength;

  uint64_t recordNumber() const { return fileReference & ntfs::kRecordNumberMask48; }
  uint64_t parentRecordNumber() const { return parentReference & ntfs::kRecordNumberMask48; }
  bool isDirectory() const { return (attributes & ntfs::kAttributeDirectory) != 0; }
};

// Calls visit(const UsnRecord&) for each record of output[8..returned); returns the number of
// records visited. Records whose name is longer than an NTFS name (255 units) are skipped.
template <class Visit>
uint32_t ForEachUsnRecord(const uint8_t* output, uint32_t returned, Visit&& visit) {
  namespace r = ntfs::usn_record;
  uint32_t count = 0;
  uint32_t at = 8;
  while (returned > at && returned - at >= r::kHeaderSize) {
    const uint8_t* p = output + at;
    const uint32_t length = LoadU32(p + r::kRecordLength);
    if (length < r::kHeaderSize || length > returned - at) break;
    const uint32_t nameBytes = LoadU16(p + r::kFileNameLength);
    if (nameBytes <= length - r::kHeaderSize && nameBytes / 2 <= 255) {
      UsnRecord record;
      record.fileReference = LoadU64(p + r::kFileReferenceNumber);
      record.parentReference = LoadU64(p + r::kParentFileReferenceNumber);
      record.usn = LoadI64(p + r::kUsn);
      record.reason = LoadU32(p + r::kReason);
      record.attributes = LoadU32(p + r::kFileAttributes);
      record.name = p + r::kFileName;
      record.nameLength = nameBytes / 2;
      visit(record);
      ++count;
    }
    at += length;
  }
  return count;
}

// Copies a record's name into units (room for 255 units).
inline void CopyUsnName(const UsnRecord& record, char16_t* units) {
  for (uint32_t i = 0; i < record.nameLength; ++i)
    units[i] = LoadU16(record.name + 2 * i);
}

}  // namespace vessiko
