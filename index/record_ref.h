// References to records. A record is named by a 32-bit handle into its RecordArena, not by a
// native pointer, so that every list element, map value and parent link costs 4 bytes on a
// 64-bit build. The handle is the chunk number times 4096 plus the byte offset in the chunk.
#pragma once

#include <cstdint>

namespace vessiko {

using RecordRef = uint32_t;

// No record has this handle: the arena never makes chunk 0xFFFFF. It marks "no parent" and a
// retired directory in the directory map.
constexpr RecordRef kNoRecord = 0xFFFFFFFF;

// The persistent position of a directory record in its arena: chunk << 16 | offset.
using RecordIndex = uint32_t;
constexpr RecordIndex kNoRecordIndex = 0xFFFFFFFF;

}  // namespace vessiko
