// Little-endian loads and stores on unaligned bytes. Every on-disk and on-volume layout of the
// system is little-endian; these helpers are the only way the code reads or writes one, so a
// struct is never cast over raw bytes.
#pragma once

#include <cstdint>
#include <cstring>

namespace vessiko {

inline uint16_t LoadU16(const uint8_t* p) {
  return static_cast<uint16_t>(p[0] | p[1] << 8);
}
inline uint32_t LoadU32(const uint8_t* p) {
  uint32_t v;
  std::memcpy(&v, p, 4);
  return v;  // both targets are little-endian x86_64
}
inline uint64_t LoadU64(const uint8_t* p) {
  uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}
inline int64_t LoadI64(const uint8_t* p) {
  return static_cast<int64_t>(LoadU64(p));
}

inline void StoreU16(uint8_t* p, uint16_t v) {
  p[0] = static_cast<uint8_t>(v);
  p[1] = static_cast<uint8_t>(v >> 8);
}
inline void StoreU32(uint8_t* p, uint32_t v) {
  std::memcpy(p, &v, 4);
}
inline void StoreU64(uint8_t* p, uint64_t v) {
  std::memcpy(p, &v, 8);
}

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the layouts are read natively");

}  // namespace vessiko
