// Where the mirror registers the directories it watches for changes: the inotify watcher, or
// nothing when changes are not followed (a failed inotify set-up).
#pragma once

#include <cstdint>
#include <string>

namespace vessiko {

class WatchRegistry {
 public:
  virtual ~WatchRegistry() = default;
  // Starts watching a directory before its entries are read, so no change between the read
  // and the watch is missed. The watch, or -1 when the directory cannot be watched.
  virtual int32_t watch(const std::string& path) = 0;
  // The watch now stands for this record of the tree.
  virtual void bind(int32_t watch, uint32_t record) = 0;
  // The directory leaves the tree: its watch ends.
  virtual void release(int32_t watch) = 0;
};

}  // namespace vessiko
