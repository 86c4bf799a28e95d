#include "mirror/live_file_values.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include "platform/clock.h"
#include "platform/little_endian.h"
#include "platform/ntfs_layout.h"

namespace vessiko {

namespace {

uint64_t fileTimeOf(const struct statx_timestamp& t) {
  return toFileTime(t.tv_sec, t.tv_nsec);
}

void markNotInUse(std::span<uint8_t> record) {
  uint8_t* flags = record.data() + ntfs::file_record::kFlags;
  storeU16(flags, static_cast<uint16_t>(loadU16(flags) & ~ntfs::file_record::kFlagInUse));
}

}  // namespace

uint64_t toFileTime(int64_t seconds, uint32_t nanoseconds) {
  const int64_t before1970 = static_cast<int64_t>(kUnixEpochFileTime / kFileTimeTicksPerSecond);
  if (seconds < -before1970) return 0;
  return static_cast<uint64_t>(seconds + before1970) * kFileTimeTicksPerSecond + nanoseconds / 100;
}

void LiveFileValues::fill(uint64_t recordNumber, std::span<uint8_t> record) {
  namespace fr = ntfs::file_record;
  namespace at = ntfs::attribute;
  namespace fn = ntfs::file_name;
  if (record.size() < fr::kUpdateSequenceArray ||
      (loadU16(record.data() + fr::kFlags) & fr::kFlagInUse) == 0 || recordNumber < kRootNode ||
      (recordNumber != kRootNode && recordNumber < kFirstEntryNode)) {
    return;
  }
  uint64_t inode = 0;
  NodeKind kind = NodeKind::kFree;
  {
    const auto lock = tree_.readLock();
    const MirrorNode* node = tree_.node(static_cast<uint32_t>(recordNumber));
    if (node == nullptr || !tree_.pathOf(root_, static_cast<uint32_t>(recordNumber), &path_)) {
      markNotInUse(record);
      return;
    }
    inode = node->inode;
    kind = node->kind;
  }
  struct statx st {};
  const unsigned mask =
      STATX_TYPE | STATX_INO | STATX_SIZE | STATX_BLOCKS | STATX_ATIME | STATX_MTIME | STATX_BTIME;
  if (statx(AT_FDCWD, path_.c_str(), AT_SYMLINK_NOFOLLOW, mask, &st) != 0) {
    markNotInUse(record);
    return;
  }
  // A mount point's stat shows the mounted root; the entry's inode is the one beneath it.
  const bool mountPoint =
      kind == NodeKind::kDirectory && makedev(st.stx_dev_major, st.stx_dev_minor) != rootDevice_;
  if (st.stx_ino != inode && !mountPoint) {
    markNotInUse(record);
    return;
  }
  const uint64_t modification = fileTimeOf(st.stx_mtime);
  // Some file systems (overlays of images, for one) report a birth time of 0: none kept.
  const bool hasBirth =
      (st.stx_mask & STATX_BTIME) != 0 && (st.stx_btime.tv_sec != 0 || st.stx_btime.tv_nsec != 0);
  const uint64_t creation = hasBirth ? fileTimeOf(st.stx_btime) : modification;
  const uint64_t size = S_ISREG(st.stx_mode) ? st.stx_size : 0;
  uint32_t offset = loadU16(record.data() + fr::kFirstAttributeOffset);
  while (offset + at::kResidentHeaderSize <= record.size()) {
    uint8_t* attribute = record.data() + offset;
    const uint32_t type = loadU32(attribute + at::kType);
    const uint32_t length = loadU32(attribute + at::kLength);
    if (type == at::kTypeEnd || length < at::kResidentHeaderSize ||
        length > record.size() - offset) {
      break;
    }
    if (type == at::kTypeFileName && attribute[at::kNonResident] == 0) {
      const uint32_t valueOffset = loadU16(attribute + at::kValueOffset);
      const uint32_t valueLength = loadU32(attribute + at::kValueLength);
      if (valueOffset <= length && valueLength >= fn::kAttributes &&
          valueLength <= length - valueOffset) {
        uint8_t* value = attribute + valueOffset;
        storeU64(value + fn::kCreation, creation);
        storeU64(value + fn::kModification, modification);
        storeU64(value + fn::kRecordChange, modification);
        storeU64(value + fn::kLastAccess, fileTimeOf(st.stx_atime));
        storeU64(value + fn::kAllocatedSize, st.stx_blocks * 512);
        storeU64(value + fn::kDataSize, size);
      }
    }
    offset += length;
  }
}

}  // namespace vessiko
