// Which directories of the index hang from a volume root through listed directories only. A
// chain that meets a directory the list does not hold (one taken out, or the placeholder of a
// parent that was never found), runs in a circle or runs deeper than any real path does not.
// Each directory is walked once: the answer for every record met on a walk is kept.
//
// The build drops what is not rooted, the save writes only what is, the loader refuses a file
// that holds anything else.
#pragma once

#include <cstdint>

#include "index/directory_positions.h"
#include "index/heap_array.h"
#include "index/index.h"

namespace vessiko {

class RootedDirectories {
 public:
  // Walks the directory list as it stands. ok() is false when memory for the answers ran out
  // (told once, as the heap tells it).
  explicit RootedDirectories(const Index& index);

  bool ok() const { return ok_; }
  bool rooted(RecordRef dir) const {
    uint32_t state = 0;
    return ok_ && states_.find(dir, &state) && state == kRooted;
  }

 private:
  static constexpr uint32_t kListed = 1;  // listed, not walked yet
  static constexpr uint32_t kRooted = 2;
  static constexpr uint32_t kCutOff = 3;
  static constexpr uint32_t kOnWalk = 4;

  void walk(RecordRef dir, HeapArray<RecordRef>& path);

  const Index& index_;
  DirectoryPositions states_;  // of every listed directory
  bool ok_ = false;
};

}  // namespace vessiko
