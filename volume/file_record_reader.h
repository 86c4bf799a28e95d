// ReadFileRecord: the size, times and attributes of one entry, read from its volume's master
// file table when a row is shown or a filter is applied; the index keeps none of them.
//
// Times and attribute flags come from the record's first $FILE_NAME. The size is that of
// $FILE_NAME when it is not 0 (it is often stale but then still wins), else that of $DATA,
// found in the record or, for a heavily fragmented file, through its $ATTRIBUTE_LIST in an
// extension record.
//
// Every read is bounded by the record, the attribute list and the cluster read. A record that
// is not the one asked for (the volume hands out the nearest lower record in use when the one
// asked for is not in use) or is not in use delivers nothing. A base record without $FILE_NAME
// (a heavily fragmented file whose names live in an extension record) delivers the times and
// flags of the extension record's $FILE_NAME. An attribute list whose $DATA entry leads to a
// record without $DATA (one pointing at itself, say) delivers no size.
//
// Calls for one volume are serialised by the slot's record lock.
#pragma once

#include <cstdint>

#include "volume/volume_slot.h"

namespace vessiko {

enum FileRecordValue : uint32_t {
  kCreationTime = 1,
  kLastAccessTime = 2,
  kRecordChangeTime = 4,
  kSize = 8,
  kAttributes = 16,
};

constexpr uint32_t kAllFileValues =
    kCreationTime | kLastAccessTime | kRecordChangeTime | kSize | kAttributes;

struct FileValues {
  uint32_t delivered = 0;  // the FileRecordValue bits of the values read; the others are 0
  uint64_t creation = 0;
  uint64_t lastAccess = 0;
  uint64_t recordChange = 0;
  uint64_t size = 0;
  uint32_t attributes = 0;
};

// Reads the values whose FileRecordValue bits are in `wanted`; the others are not read.
FileValues ReadFileRecord(VolumeSlots& slots, uint32_t volume, uint32_t recordNumber,
                          uint32_t wanted);

enum class NamePresence { kPresent, kAbsent, kUnknown };

// Whether the file named by the reference (record number and sequence number) has, now, the name
// `name` in the folder of record `parentNumber`: kAbsent when the record is not in use or holds
// another file (its sequence number moved on), kUnknown when the record cannot be read. The names
// are those of the base record and of the extension records its attribute list names.
NamePresence FileHasName(VolumeSlot& slot, PrivateHeap& heap, uint64_t fileReference,
                         uint64_t parentNumber, const char16_t* name, uint32_t length);

}  // namespace vessiko
