#include "mirror/live_file_values.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include "platform/clock.h"
#include "platform/little_endian.h"
#include "platform/ntfs_layout.h"

namespace vessiko {

namespace {

uint64_t FileTimeOf(const struct statx_timestamp& t) {
  return ToFileTime(t.tv_sec, t.tv_nsec);
}

void MarkNotInUse(std::span<uint8_t> record) {
  uint8_t* flags = record.data() + ntfs::file_record::kFlags;
  StoreU16(flags, static_cast<uint16_t>(LoadU16(flags) & ~ntfs::file_record::kFlagInUse));
}

}  // namespace

uint64_t ToFileTime(int64_t seconds, uint32_t nanoseconds) {
  const int64_t before1970 = static_cast<int64_t>(kUnixEpochFileTime / kFileTimeTicksPerSecond);
  if (seconds < -before1970) return 0;
  return static_cast<uint64_t>(seconds + before1970) * kFileTimeTicksPerSecond + nanoseconds / 100;
}

void LiveFileValues::fill(uint64_t recordNumber, std::span<uint8_t> record) {
  namespace fr = ntfs::file_record;
  namespace at = ntfs::attribute;
  namespace fn = ntfs::file_name;
  if (record.size() < fr::kUpdateSequenceArray ||
      (LoadU16(record.data() + fr::kFlags) & fr::kFlagInUse) == 0 || recordNumber < kRootNode ||
      (recordNumber != kRootNode && recordNumber < kFirstEntryNode)) {
    return;
  }
  uint64_t inode = 0;
  NodeKind kind = NodeKind::kFree;
  {
    const auto lock = tree_.readLock();
    const MirrorNode* node = tree_.node(static_cast<uint32_t>(recordNumber));
    if (node == nullptr || !tree_.pathOf(root_, static_cast<uint32_t>(recordNumber), &path_)) {
      MarkNotInUse(record);
      return;
    }
    inode = node->inode;
    kind = node->kind;
  }
  struct statx st {};
  const unsigned mask =
      STATX_TYPE | STATX_INO | STATX_SIZE | STATX_BLOCKS | STATX_ATIME | STATX_MTIME | STATX_BTIME;
  if (statx(AT_FDCWD, path_.c_str(), AT_SYMLINK_NOFOLLOW, mask, &st) != 0) {
    MarkNotInUse(record);
    return;
  }
  // A mount point's stat shows the mounted root; the entry's inode is the one beneath it.
  const bool mountPoint =
      kind == NodeKind::kDirectory && makedev(st.stx_dev_major, st.stx_dev_minor) != rootDevice_;
  if (st.stx_ino != inode && !mountPoint) {
    MarkNotInUse(record);
    return;
  }
  const uint64_t modification = FileTimeOf(st.stx_mtime);
  // Some file systems (overlays of images, for one) report a birth time of 0: none kept.
  const bool hasBirth =
      (st.stx_mask & STATX_BTIME) != 0 && (st.stx_btime.tv_sec != 0 || st.stx_btime.tv_nsec != 0);
  const uint64_t creation = hasBirth ? FileTimeOf(st.stx_btime) : modification;
  const uint64_t size = S_ISREG(st.stx_mode) ? st.stx_size : 0;
  uint32_t offset = LoadU16(record.data() + fr::kFirstAttributeOffset);
  while (offset + at::kResidentHeaderSize <= record.size()) {
    uint8_t* attribute = record.data() + offset;
    const uint32_t type = LoadU32(attribute + at::kType);
    const uint32_t length = LoadU32(attribute + at::kLength);
    if (type == at::kTypeEnd || length < at::kResidentHeaderSize ||
        length > record.size() - offset) {
      break;
    }
    if (type == at::kTypeFileName && attribute[at::kNonResident] == 0) {
      const uint32_t valueOffset = LoadU16(attribute + at::kValueOffset);
      const uint32_t valueLength = LoadU32(attribute + at::kValueLength);
      if (valueOffset <= length && valueLength >= fn::kAttributes &&
          valueLength <= length - valueOffset) {
        uint8_t* value = attribute + valueOffset;
        StoreU64(value + fn::kCreation, creation);
        StoreU64(value + fn::kModification, modification);
        StoreU64(value + fn::kRecordChange, modification);
        StoreU64(value + fn::kLastAccess, FileTimeOf(st.stx_atime));
        StoreU64(value + fn::kAllocatedSize, st.stx_blocks * 512);
        StoreU64(value + fn::kDataSize, size);
      }
    }
    offset += length;
  }
}

}  // namespace vessiko
