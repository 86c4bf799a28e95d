#include "mirror/live_file_values.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

#include "platform/clock.h"

namespace vessiko {

namespace {

uint64_t FileTimeOf(const struct statx_timestamp& t) {
  return ToFileTime(t.tv_sec, t.tv_nsec);
}

}  // namespace

uint64_t ToFileTime(int64_t seconds, uint32_t nanoseconds) {
  const int64_t before1970 = static_cast<int64_t>(kUnixEpochFileTime / kFileTimeTicksPerSecond);
  if (seconds < -before1970) return 0;
  return static_cast<uint64_t>(seconds + before1970) * kFileTimeTicksPerSecond + nanoseconds / 100;
}

bool ReadLiveValues(const std::string& path, uint64_t inode, bool directory, uint64_t rootDevice,
                    LiveValues* values) {
  struct statx st {};
  const unsigned mask =
      STATX_TYPE | STATX_INO | STATX_SIZE | STATX_BLOCKS | STATX_ATIME | STATX_MTIME | STATX_BTIME;
  if (statx(AT_FDCWD, path.c_str(), AT_SYMLINK_NOFOLLOW, mask, &st) != 0) return false;
  const bool mountPoint = directory && makedev(st.stx_dev_major, st.stx_dev_minor) != rootDevice;
  if (st.stx_ino != inode && !mountPoint) return false;
  const uint64_t modification = FileTimeOf(st.stx_mtime);
  // Some file systems (overlays of images, for one) report a birth time of 0: none kept.
  const bool hasBirth =
      (st.stx_mask & STATX_BTIME) != 0 && (st.stx_btime.tv_sec != 0 || st.stx_btime.tv_nsec != 0);
  values->times.creation = hasBirth ? FileTimeOf(st.stx_btime) : modification;
  values->times.modification = modification;
  values->times.recordChange = modification;
  values->times.lastAccess = FileTimeOf(st.stx_atime);
  values->allocatedSize = st.stx_blocks * 512;
  values->dataSize = S_ISREG(st.stx_mode) ? st.stx_size : 0;
  return true;
}

}  // namespace vessiko
