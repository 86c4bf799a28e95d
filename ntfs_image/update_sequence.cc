#include "ntfs_image/update_sequence.h"

#include <cstring>

#include "platform/little_endian.h"
#include "platform/ntfs_layout.h"

namespace vessiko {

bool ApplyUpdateSequence(std::span<uint8_t> structure) {
  namespace fr = ntfs::file_record;
  const size_t size = structure.size();
  if (size < fr::kSectorStride || size % fr::kSectorStride != 0) return false;
  uint8_t* p = structure.data();
  const uint32_t offset = LoadU16(p + fr::kUpdateSequenceOffset);
  const uint32_t count = LoadU16(p + fr::kUpdateSequenceCount);
  const size_t strides = size / fr::kSectorStride;
  // The number and one saved pair per stride, inside the first stride, before its last bytes.
  if (count != strides + 1 || offset % 2 != 0 || offset < fr::kUpdateSequenceCount + 2 ||
      offset + 2 * size_t{count} > fr::kSectorStride - 2) {
    return false;
  }
  const uint8_t* array = p + offset;
  for (size_t i = 0; i < strides; ++i) {
    if (std::memcmp(p + (i + 1) * fr::kSectorStride - 2, array, 2) != 0) return false;
  }
  for (size_t i = 0; i < strides; ++i)
    std::memcpy(p + (i + 1) * fr::kSectorStride - 2, array + 2 * (i + 1), 2);
  return true;
}

bool ReadyFileRecord(std::span<uint8_t> record) {
  return ApplyUpdateSequence(record) &&
         std::memcmp(record.data(), ntfs::file_record::kMagicBytes, 4) == 0;
}

}  // namespace vessiko
