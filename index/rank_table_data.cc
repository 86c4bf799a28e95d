#include "index/rank_table_data.h"

#include "platform/resources.h"

namespace vessiko {

std::span<const uint8_t> RankTableBytes() {
  return RankTableResource();
}

}  // namespace vessiko
