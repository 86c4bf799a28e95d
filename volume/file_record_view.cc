#include "volume/file_record_view.h"

#include <cstring>

namespace vessiko {

namespace a = ntfs::attribute;
namespace fr = ntfs::file_record;

bool FileRecordView::inUse() const {
  if (bytes_ == nullptr || length_ < fr::kUpdateSequenceArray) return false;
  if (std::memcmp(bytes_ + fr::kMagic, fr::kMagicBytes, 4) != 0) return false;
  if ((LoadU16(bytes_ + fr::kFlags) & fr::kFlagInUse) == 0) return false;
  return firstAttribute() >= fr::kUpdateSequenceArray && firstAttribute() < length_;
}

AttributeView FileRecordView::attributeAt(uint32_t offset) const {
  AttributeView view;
  if (offset >= length_ || length_ - offset < 8) return view;
  const uint8_t* p = bytes_ + offset;
  const uint32_t type = LoadU32(p + a::kType);
  const uint32_t length = LoadU32(p + a::kLength);
  if (type == a::kTypeEnd || length < a::kResidentHeaderSize || length > length_ - offset) {
    return view;
  }
  view.bytes = p;
  view.length = length;
  view.type = type;
  view.nonResident = p[a::kNonResident] != 0;
  return view;
}

uint32_t FileRecordView::find(uint32_t offset, uint32_t type) const {
  for (AttributeView view = attributeAt(offset); !view.atEnd(); view = attributeAt(offset)) {
    if (view.type == type) return offset;
    if (view.type > type) return 0;
    offset = next(offset, view);
  }
  return 0;
}

bool ResidentValue(const AttributeView& view, const uint8_t** value, uint32_t* length) {
  if (view.nonResident || view.length < a::kResidentHeaderSize) return false;
  const uint32_t valueLength = LoadU32(view.bytes + a::kValueLength);
  const uint32_t valueOffset = LoadU16(view.bytes + a::kValueOffset);
  if (valueOffset > view.length || valueLength > view.length - valueOffset) return false;
  *value = view.bytes + valueOffset;
  *length = valueLength;
  return true;
}

bool DataAttributeSize(const AttributeView& view, uint64_t* size) {
  if (view.nonResident) {
    if (view.length < a::kDataSize + 8) return false;
    *size = LoadU64(view.bytes + a::kDataSize);
    return true;
  }
  *size = LoadU32(view.bytes + a::kValueLength);
  return true;
}

}  // namespace vessiko
