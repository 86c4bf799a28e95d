// The update sequence of a multi-sector NTFS structure (a FILE record, an index block) as it
// lies on disk: the last two bytes of every 512-byte stride hold the sequence number, and the
// array in the header keeps the bytes they replaced. A stride whose last bytes differ from the
// number was not written with the others (a torn write).
#pragma once

#include <cstdint>
#include <span>

namespace vessiko {

// Checks every stride and puts the saved bytes back. False, with the bytes as they were, when
// the header's array does not fit, does not match the structure's size, or a stride is torn.
bool ApplyUpdateSequence(std::span<uint8_t> structure);

// A FILE record as read from disk, made ready to read: its update sequence applied and its magic
// checked. False for a torn record or one that is no FILE record.
bool ReadyFileRecord(std::span<uint8_t> record);

}  // namespace vessiko
