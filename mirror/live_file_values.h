// LiveFileValues: the sizes and times of mirrored entries, taken from the real files at the
// moment the file-record reader asks. The mirror builds its records without them (reading
// them for every entry at start would cost a stat per entry); each record the volume hands
// out gets its $FILE_NAME values filled in from a stat of the entry's path instead:
//
//   creation        the birth time where the file system keeps one, else the modification time
//   modification    the modification time
//   record change   the modification time (shown as "最近修改时间")
//   last access     the access time
//   sizes           allocated bytes and the size of a regular file; 0 for anything else
//
// A record whose entry is gone, or is now another inode, is handed out as not in use, so the
// reader delivers nothing for it.
//
// Thread safety: called by the volume under its own lock, one call at a time; reads the tree
// under the tree's read lock.
#pragma once

#include <cstdint>
#include <span>
#include <string>

#include "mirror/mirror_tree.h"

namespace vessiko {

class LiveFileValues {
 public:
  LiveFileValues(const MirrorTree& tree, std::string root, uint64_t rootDevice)
      : tree_(tree), root_(std::move(root)), rootDevice_(rootDevice) {}

  // The volume's record rewriter.
  void fill(uint64_t recordNumber, std::span<uint8_t> record);

 private:
  const MirrorTree& tree_;
  std::string root_;
  uint64_t rootDevice_;
  std::string path_;  // reused: calls never overlap
};

// A time of the file system as a FILETIME (100 ns ticks since 1601, UTC); 0 before 1601.
uint64_t ToFileTime(int64_t seconds, uint32_t nanoseconds);

}  // namespace vessiko
