// Short ways to describe new entries of a simulated volume in tests.
#pragma once

#include <string>

#include "platform/ntfs_layout.h"
#include "platform/sim/sim_volume.h"

namespace vessiko::testing {

inline SimEntry SimDir(uint64_t parent, std::u16string name) {
  SimEntry entry;
  entry.parent = parent;
  entry.name = std::move(name);
  entry.attributes = ntfs::kAttributeDirectory;
  return entry;
}

inline SimEntry SimFile(uint64_t parent, std::u16string name, uint64_t size = 0,
                        uint32_t attributes = 0) {
  SimEntry entry;
  entry.parent = parent;
  entry.name = std::move(name);
  entry.size = size;
  entry.attributes = attributes;
  return entry;
}

}  // namespace vessiko::testing
