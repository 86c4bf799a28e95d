#include "index/dir_entry.h"

#include <cstring>

namespace vessiko {

void DirEntry::build(uint8_t* out, EntryKey key, uint32_t parentLink, const uint8_t* packed,
                     uint32_t length, bool nonAscii) {
  StoreU32(out, key);
  StoreU32(out + 4, parentLink);
  StoreU16(out + 8, static_cast<uint16_t>(length | (nonAscii ? kNonAsciiFlag : 0)));
  std::memcpy(out + kHeaderBytes, packed, length);
}

void DirEntry::initRoot(uint8_t* out, uint32_t volume) {
  const uint8_t name[2] = {static_cast<uint8_t>('A' + volume), ':'};
  build(out, RootKey(volume), kNoRecord, name, 2, false);
}

}  // namespace vessiko
