#include "index/rooted_directories.h"

namespace vessiko {

RootedDirectories::RootedDirectories(const Index& index)
    : index_(index), states_(index.heap, index.dirs.itemCount()) {
  HeapArray<RecordRef> path(index.heap, kMaxDirectoryDepth + 1);
  if (!states_.ok() || !path.ok()) {
    index.heap.reportFailure();
    return;
  }
  ok_ = true;
  index.dirs.forEach([&](RecordRef ref) { states_.set(ref, kListed); });
  index.dirs.forEach([&](RecordRef ref) { walk(ref, path); });
}

void RootedDirectories::walk(RecordRef dir, HeapArray<RecordRef>& path) {
  uint32_t length = 0;
  uint32_t known = kCutOff;
  for (RecordRef at = dir;;) {
    uint32_t state = 0;
    if (!states_.find(at, &state) || state == kOnWalk) break;  // not listed, or a circle
    if (state != kListed) {
      known = state;
      break;
    }
    if (length > kMaxDirectoryDepth) break;  // deeper than any path
    states_.set(at, kOnWalk);
    path[length++] = at;
    const uint32_t parent = index_.dir(at).parentLink();
    if (parent == kNoRecord) {
      known = kRooted;
      break;
    }
    at = parent;
  }
  for (uint32_t i = 0; i < length; ++i)
    states_.set(path[i], known);
}

}  // namespace vessiko
