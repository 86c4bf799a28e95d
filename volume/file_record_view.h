// Bounded reading of one NTFS file record: the header, the attributes one by one, resident
// values and non-resident sizes (volume/mapping_pairs.h decodes the runs). Every read is checked
// against the record's length, so a damaged or hostile record is never read outside its buffer; an
// attribute that does not fit ends the walk as the end marker does.
#pragma once

#include <cstdint>

#include "platform/little_endian.h"
#include "platform/ntfs_layout.h"

namespace vessiko {

struct AttributeView {
  const uint8_t* bytes = nullptr;
  uint32_t length = 0;
  uint32_t type = ntfs::attribute::kTypeEnd;
  bool nonResident = false;

  bool atEnd() const { return type == ntfs::attribute::kTypeEnd; }
};

class FileRecordView {
 public:
  FileRecordView() = default;
  FileRecordView(const uint8_t* bytes, uint32_t length) : bytes_(bytes), length_(length) {}

  // A FILE record in use whose first attribute lies inside it.
  bool inUse() const;
  uint16_t sequenceNumber() const { return LoadU16(bytes_ + ntfs::file_record::kSequenceNumber); }
  uint32_t firstAttribute() const {
    return LoadU16(bytes_ + ntfs::file_record::kFirstAttributeOffset);
  }

  // The attribute at offset; an end marker when it is 0xFFFFFFFF or does not fit the record.
  AttributeView attributeAt(uint32_t offset) const;
  // Offset of the attribute after the one at offset.
  uint32_t next(uint32_t offset, const AttributeView& a) const { return offset + a.length; }

  // Walks from offset and returns the offset of the first attribute of `type`, or 0 when the
  // walk meets the end or a type above it (attributes are sorted by type).
  uint32_t find(uint32_t offset, uint32_t type) const;

 private:
  const uint8_t* bytes_ = nullptr;
  uint32_t length_ = 0;
};

// The value of a resident attribute; false when it is non-resident or does not fit.
bool ResidentValue(const AttributeView& a, const uint8_t** value, uint32_t* length);
// The size of a data attribute: the data size of a non-resident one, the value length of a
// resident one. False when the header does not fit.
bool DataAttributeSize(const AttributeView& a, uint64_t* size);
// f(type, lowest VCN, record number holding the attribute) for every entry of an attribute
// list held as bytes, in order, up to the first entry that does not fit.
template <class F>
void ForEachListEntry(const uint8_t* list, size_t length, F&& f) {
  namespace le = ntfs::attribute_list_entry;
  size_t at = 0;
  while (length - at >= le::kHeaderSize) {
    const uint8_t* entry = list + at;
    const uint32_t entryLength = LoadU16(entry + le::kLength);
    if (entryLength < le::kHeaderSize || entryLength > length - at) return;
    f(LoadU32(entry + le::kType), LoadU64(entry + le::kLowestVcn),
      LoadU64(entry + le::kSegmentReference) & ntfs::kRecordNumberMask48);
    at += entryLength;
  }
}

}  // namespace vessiko
