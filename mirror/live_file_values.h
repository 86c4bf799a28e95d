// The sizes and times of a mirrored entry, read from the real file at the moment its FILE
// record is asked for. The tree keeps none of them (reading them for every entry at start
// would cost a stat per entry); a record gets them from a stat of the entry's path instead:
//
//   creation        the birth time where the file system keeps one, else the modification time
//   modification    the modification time
//   record change   the modification time (shown as "最近修改时间")
//   last access     the access time
//   sizes           allocated bytes and the size of a regular file; 0 for anything else
//
// Thread safety: a plain function of its arguments; any thread.
#pragma once

#include <cstdint>
#include <string>

#include "ntfs_model/file_record_builder.h"

namespace vessiko {

struct LiveValues {
  FileTimes times;
  uint64_t allocatedSize = 0;
  uint64_t dataSize = 0;
};

// The values of the entry at `path`, which the tree knows as `inode`. False when it is gone or
// is now another inode: its record is then not in use. A directory on another device than
// rootDevice is a mount point, whose stat shows the mounted root: its inode is not compared.
bool ReadLiveValues(const std::string& path, uint64_t inode, bool directory, uint64_t rootDevice,
                    LiveValues* values);

// A time of the file system as a FILETIME (100 ns ticks since 1601, UTC); 0 before 1601.
uint64_t ToFileTime(int64_t seconds, uint32_t nanoseconds);

}  // namespace vessiko
