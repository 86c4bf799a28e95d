// Data the program ships inside itself: on Windows as resources of the executable, on Linux
// linked in as bytes.
#pragma once

#include <cstdint>
#include <span>

namespace vessiko {

// The pinyin rank table: resource "ZISORT" 107, language 2052. Empty when missing.
std::span<const uint8_t> RankTableResource();

}  // namespace vessiko
