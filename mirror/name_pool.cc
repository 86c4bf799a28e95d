#include "mirror/name_pool.h"

#include <cstring>

namespace vessiko {

uint32_t NamePool::store(std::string_view name) {
  if (blocks_.empty() || used_ + name.size() > kBlockSize) {
    // The rest of the last block stays unused: a name never straddles two blocks.
    blocks_.emplace_back(kBlockSize);
    used_ = 0;
  }
  const auto offset = static_cast<uint32_t>((blocks_.size() - 1) << kBlockBits | used_);
  std::memcpy(blocks_.back().data() + used_, name.data(), name.size());
  used_ += name.size();
  return offset;
}

}  // namespace vessiko
