// EntryKey: the 32-bit name of a directory in the index, volume index (0 for drive A to 25 for
// Z) in the top five bits and the low 27 bits of the MFT record number below. Keys compare as
// unsigned numbers, so every key of drive A sorts before every key of drive B.
#pragma once

#include <cstdint>

namespace vessiko {

using EntryKey = uint32_t;

constexpr uint32_t kVolumeShift = 27;
constexpr uint32_t kRecordNumberMask = 0x7FFFFFF;
constexpr uint32_t kVolumeCount = 26;
// Every volume's root directory is MFT record 5.
constexpr uint32_t kRootRecordNumber = 5;

constexpr EntryKey MakeEntryKey(uint32_t volume, uint32_t recordNumber) {
  return volume << kVolumeShift | (recordNumber & kRecordNumberMask);
}
constexpr uint32_t VolumeOf(EntryKey key) {
  return key >> kVolumeShift;
}
constexpr uint32_t RecordNumberOf(EntryKey key) {
  return key & kRecordNumberMask;
}
constexpr EntryKey RootKey(uint32_t volume) {
  return MakeEntryKey(volume, kRootRecordNumber);
}
// Record numbers above 27 bits cannot be named by a key.
constexpr bool FitsEntryKey(uint64_t recordNumber) {
  return recordNumber <= kRecordNumberMask;
}

}  // namespace vessiko
