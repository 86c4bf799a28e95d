#include "index/dir_entry.h"

#include <cstring>

namespace vessiko {

void DirEntry::build(uint8_t* out, EntryKey key, uint32_t parentLink, const uint8_t* packed,
                     uint32_t length, bool nonAscii) {
  storeU32(out, key);
  storeU32(out + 4, parentLink);
  storeU16(out + 8, static_cast<uint16_t>(length | (nonAscii ? kNonAsciiFlag : 0)));
  std::memcpy(out + kHeaderBytes, packed, length);
}

void DirEntry::initRoot(uint8_t* out, uint32_t volume) {
  const uint8_t name[2] = {static_cast<uint8_t>('A' + volume), ':'};
  build(out, rootKey(volume), kNoRecord, name, 2, false);
}

}  // namespace vessiko
