#include "platform/resources.h"

#include <cstddef>

// Generated at build time from index/data/zisort.bin.
extern const uint8_t kEmbeddedRankTable[];
extern const size_t kEmbeddedRankTableSize;

namespace vessiko {

std::span<const uint8_t> RankTableResource() {
  return {kEmbeddedRankTable, kEmbeddedRankTableSize};
}

}  // namespace vessiko
