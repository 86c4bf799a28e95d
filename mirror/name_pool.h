// NamePool: the bytes of names in blocks of 64 KiB that never move. A name is stored whole in one
// block, so growing the pool copies nothing and never needs the old and the new storage at once,
// as a growing string would. Names are not removed one by one: their owner counts the bytes it
// no longer uses and, when they weigh enough, stores the live names into a new pool.
//
// Thread safety: none; its owner guards it.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

#include "mirror/zeroed_array.h"

namespace vessiko {

class NamePool {
 public:
  // Where the name now lives: an offset for at(). REQUIRES: a name shorter than a block, and
  // fewer than 4 GiB in the pool.
  uint32_t store(std::string_view name);
  std::string_view at(uint32_t offset, size_t length) const {
    return std::string_view(blocks_[offset >> kBlockBits].data() + (offset & kBlockMask), length);
  }
  // Bytes of the blocks in use, the unused end of the last one left out.
  size_t bytes() const { return blocks_.empty() ? 0 : (blocks_.size() - 1) * kBlockSize + used_; }

 private:
  static constexpr uint32_t kBlockBits = 16;
  static constexpr size_t kBlockSize = size_t{1} << kBlockBits;
  static constexpr uint32_t kBlockMask = kBlockSize - 1;

  std::vector<ZeroedArray<char>> blocks_;
  size_t used_ = 0;  // bytes of the last block in use
};

}  // namespace vessiko
