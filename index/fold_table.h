// FoldTable: ASCII case folding, 'A'-'Z' to 'a'-'z' and every other unit below 128 unchanged.
// The collation and the case-insensitive matching use it.
#pragma once

#include <array>
#include <cstdint>

namespace vessiko {

constexpr std::array<uint8_t, 128> MakeFoldTable() {
  std::array<uint8_t, 128> table{};
  for (int c = 0; c < 128; ++c)
    table[c] = static_cast<uint8_t>(c >= 'A' && c <= 'Z' ? c + 32 : c);
  return table;
}

inline constexpr std::array<uint8_t, 128> kFoldTable = MakeFoldTable();

}  // namespace vessiko
