// Which directories of the index hang from a volume root through listed directories only. A
// chain that meets a directory the list does not hold (one taken out, or the placeholder of a
// parent that was never found), runs in a circle or runs deeper than any real path does not.
// Each directory is walked once: the answer for every record met on a walk is kept.
//
// The build drops what is not rooted, the save writes only what is, the loader refuses a file
// that holds anything else.
#pragma once

#include <cstdint>

#include "index/index.h"

namespace vessiko {

class RootedDirectories {
 public:
  // Walks the directory list as it stands. ok() is false when memory for the answers ran out
  // (told once, as the heap tells it).
  explicit RootedDirectories(const Index& index);
  ~RootedDirectories();
  RootedDirectories(const RootedDirectories&) = delete;
  RootedDirectories& operator=(const RootedDirectories&) = delete;

  bool ok() const { return slots_ != nullptr; }
  bool rooted(RecordRef dir) const { return state(dir) == kRooted; }

 private:
  static constexpr uint32_t kListed = 1;  // listed, not walked yet
  static constexpr uint32_t kRooted = 2;
  static constexpr uint32_t kCutOff = 3;
  static constexpr uint32_t kOnWalk = 4;

  uint32_t state(RecordRef dir) const;
  void set(RecordRef dir, uint32_t value);
  void walk(RecordRef dir, RecordRef* path);

  const Index& index_;
  uint64_t* slots_ = nullptr;  // ref << 32 | state, open addressing
  uint64_t mask_ = 0;
};

}  // namespace vessiko
