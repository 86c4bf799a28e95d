#include "index/packed_name.h"

namespace vessiko {

uint32_t encodePackedName(uint8_t* out, const char16_t* units, uint32_t count) {
  uint8_t* p = out;
  for (uint32_t i = 0; i < count; ++i) {
    const char16_t u = units[i];
    if (u < 0x80) {
      *p++ = static_cast<uint8_t>(u);
    } else {
      p[0] = kPackedMarker;
      p[1] = static_cast<uint8_t>(u);
      p[2] = static_cast<uint8_t>(u >> 8);
      p += 3;
    }
  }
  return static_cast<uint32_t>(p - out);
}

uint32_t decodePackedName(char16_t* out, const uint8_t* bytes, uint32_t count) {
  uint32_t n = 0;
  uint32_t i = 0;
  while (i < count) {
    const uint8_t b = bytes[i];
    if (b < 0x80) {
      out[n++] = b;
      ++i;
    } else {
      if (count - i < 3) break;
      out[n++] = static_cast<char16_t>(bytes[i + 1] | bytes[i + 2] << 8);
      i += 3;
    }
  }
  out[n] = 0;
  return n;
}

bool IsWellFormedPackedName(const uint8_t* bytes, uint32_t count) {
  uint32_t i = 0;
  while (i < count) {
    if (bytes[i] < 0x80) {
      ++i;
      continue;
    }
    if (bytes[i] != kPackedMarker || count - i < 3) return false;
    // A unit below 0x80 is always stored as one byte.
    if ((bytes[i + 1] | bytes[i + 2] << 8) < 0x80) return false;
    i += 3;
  }
  return true;
}

}  // namespace vessiko
