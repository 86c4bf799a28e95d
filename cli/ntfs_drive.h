// NtfsDrive: an NTFS partition or image that the face reads in place from its file table, and
// where it is mounted, if anywhere. Its entries' paths are shown under the mount point (or
// under "L:" when it is not mounted), and a folder below the mount point names its record:
// NTFS drivers on Linux (ntfs-3g, ntfs3) give a file's record number as its inode number.
// Those drivers write no change journal: while the volume is mounted read-write its journal is
// not trusted for a catch-up, and the index is read anew at each start (once they have had it,
// the volume itself tells: see ImageJournal).
#pragma once

#include <sys/types.h>

#include <memory>
#include <string>
#include <string_view>

#include "ntfs_image/image_volume.h"

namespace vessiko {

struct NtfsDrive {
  char letter = 0;
  std::string source;      // the partition or image, absolute
  std::string mountPoint;  // empty when it is not mounted
  dev_t device = 0;        // the mounted file system's device
  std::shared_ptr<NtfsImageVolume> volume;

  // Opens the volume and finds where it is mounted; false with the reason in *error.
  bool open(char driveLetter, const std::string& path, std::string* error);
  // The record of the folder at `path` (absolute, without symbolic links) when it lies under
  // the mount point; false otherwise.
  bool folderRecord(std::string_view path, uint32_t* record) const;
  // How the index's paths of this drive begin.
  std::string root() const { return mountPoint.empty() ? std::string{letter, ':'} : mountPoint; }
};

struct MountPlace {
  std::string path;  // empty when the volume is not mounted
  bool readOnly = true;
};

// Where `source` is mounted according to /proc/self/mountinfo's text: the mount whose source
// names the same file, or whose device is the block device `source`.
MountPlace MountPlaceOf(std::string_view mountInfo, const std::string& source);

}  // namespace vessiko
