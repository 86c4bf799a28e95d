// PackedName: names inside records. A UTF-16 unit below 0x80 is one byte equal to it; every
// other unit is three bytes, the marker 0x81 and the unit in little-endian order. A name of n
// units with k units at or above 0x80 packs to n + 2k bytes, so a name has a non-ASCII unit
// exactly when its packed length exceeds its unit count.
#pragma once

#include <cstdint>

namespace vessiko {

constexpr uint8_t kPackedMarker = 0x81;
// NTFS names have at most 255 units.
constexpr uint32_t kMaxNameUnits = 255;
constexpr uint32_t kMaxPackedNameBytes = 3 * kMaxNameUnits;

// Writes the packed bytes of units[0..count) to out (room for 3 * count bytes) and returns
// their number.
uint32_t encodePackedName(uint8_t* out, const char16_t* units, uint32_t count);

// Writes the units of bytes[0..count) and a NUL unit to out (room for count + 1 units) and
// returns the unit count. Any byte with the top bit set is a marker; a marker without its two
// bytes ends the name.
uint32_t decodePackedName(char16_t* out, const uint8_t* bytes, uint32_t count);

// True when the bytes are a well-formed packed name: every marker is 0x81 with two bytes
// after it, and it holds a unit at or above 0x80.
bool IsWellFormedPackedName(const uint8_t* bytes, uint32_t count);

}  // namespace vessiko
