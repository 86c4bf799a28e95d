#include "index/file_entry.h"

#include <cassert>
#include <cstring>

namespace vessiko {

uint32_t FileEntry::recordWordFor(const FileEntryParts& parts) {
  uint32_t word = parts.recordNumber & 0x7FFFFFF;
  word |= widthCodeFor(parts.extension) << kWidthShift;
  if (hasIconSlotFor(parts.extension)) word |= kIconSlotBit;
  if (parts.nameLength >= kLongFormFrom) word |= kLongFormBit;
  if (parts.nonAscii) word |= kNonAsciiBit;
  return word;
}

void FileEntry::build(uint8_t* out, const FileEntryParts& parts) {
  const uint32_t word = recordWordFor(parts);
  StoreU32(out, word);
  StoreU32(out + 4, parts.parentLink);
  uint8_t* p;
  if ((word & kLongFormBit) != 0) {
    StoreU16(out + 8, static_cast<uint16_t>(parts.nameLength));
    p = out + 10;
  } else {
    out[8] = static_cast<uint8_t>(parts.nameLength);
    p = out + 9;
  }
  std::memcpy(p, parts.name, parts.nameLength);
  p += parts.nameLength;
  const auto index = static_cast<uint32_t>(parts.extension);
  switch (widthCodeFor(parts.extension)) {
    case 1:
      *p++ = static_cast<uint8_t>(index);
      break;
    case 2:
      StoreU16(p, static_cast<uint16_t>(index));
      p += 2;
      break;
    case 3:
      StoreU32(p, index);
      p += 4;
      break;
    default:
      break;
  }
  if ((word & kIconSlotBit) != 0) StoreU32(p, 0xFFFFFFFF);
}

int32_t FileEntry::extensionIndex(const uint8_t* pastName, uint32_t* code) const {
  const uint32_t width = widthCode();
  if (code != nullptr) *code = width;
  switch (width) {
    case 1:
      return pastName[0];
    case 2:
      return LoadU16(pastName);
    case 3:
      return static_cast<int32_t>(LoadU32(pastName));
    default:
      return -1;
  }
}

int32_t FileEntry::extensionIndex() const {
  return extensionIndex(pastName());
}

int32_t FileEntry::iconSlot() const {
  assert(hasIconSlot());
  return static_cast<int32_t>(LoadU32(pastName() + 1));
}

void FileEntry::setIconSlot(int32_t icon) {
  StoreU32(pastName() + 1, static_cast<uint32_t>(icon));
}

uint32_t FileEntry::recordSize() const {
  const uint8_t* name;
  return sizeFor(nameBytes(&name), widthCode(), (recordWord() & kIconSlotBit) != 0);
}

}  // namespace vessiko
