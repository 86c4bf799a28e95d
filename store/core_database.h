// The core database, "kavume_core.db": the whole directory and file index between runs, with
// each volume's journal position at the moment it was written, so that the next start loads
// the index in one read and replays only the changes made while the program was closed.
//
// Little-endian, four sections:
//
//   0   total size u32 | H u32 | D u32 | F u32 | 0xD0DBC7E0 | 0xC7E0D0DB | 0x01000001
//   28  directory count u32 | file count u32 | UTC year, month, day, hour u16 each
//   44  26 volume entries, drive A first: present u8, then, when present, the journal
//       identifier u64 and the next USN i64
//   H   directory index table: the RecordIndex of every directory, in ascending key order
//   D   directory records, in list order:
//         key u32 | parent RecordIndex u32 (0xFFFFFFFF for a root) | lengths u24 | suffix
//         lengths: prefix p (bits 0-9), suffix q (10-19), non-ASCII flag (bit 20)
//   F   file records, in list order:
//         record word u32 | parent RecordIndex u32 | lengths u24 | suffix | extension index
//         lengths: p (0-9), q (10-19), width of the extension index in bytes 0/1/2/4 (20-23)
//
// A name is the first p bytes of the previous record's name of its section, then the q stored
// bytes. A RecordIndex (chunk << 16 | offset) is where a directory record lands when the
// records are allocated in list order from an empty arena, so the loader finds every parent
// by position without looking up a single name. The file icon slots are not stored.
//
// The magic numbers, the version and the layout are fixed: files of earlier runs must load.
#pragma once

#include <cstdint>
#include <string>

#include "index/index.h"
#include "platform/clock.h"
#include "platform/files.h"
#include "platform/user_messages.h"
#include "volume/volume_slot.h"

namespace vessiko {

class ByteWriter;

constexpr uint32_t kCoreMagic1 = 0xD0DBC7E0;
constexpr uint32_t kCoreMagic2 = 0xC7E0D0DB;
constexpr uint32_t kCoreVersion = 0x01000001;
constexpr uint32_t kCoreVolumeEntries = 44;
// The header of a file without a present volume.
constexpr uint32_t kCoreSmallestHeader = kCoreVolumeEntries + kVolumeCount;

struct CoreDatabaseContext {
  Index& index;
  VolumeSlots& slots;
  Files& files;
  UserMessages& messages;
  const std::string& path;
};

// Writes the index and the volumes' journal positions, the crash-safe way: a temporary file
// replaces the old one only once it is whole. The index is read, not changed. The caller holds
// the index lock and has stopped the journal monitors. A failure shows an empty message box;
// an index too large for the format (directory records past 65536 chunks) is not written.
// Memory that runs out is told as the index's heap tells it ("申请内存失败:%d"), and nothing is
// written. (SaveDatabases writes this file together with the extension database.)
bool SaveCoreDatabase(CoreDatabaseContext& context, const CalendarTime& utcNow)
    REQUIRES(context.index.lock);

// The bytes SaveCoreDatabase writes, appended to image (its buffer from the index's heap), with
// the same failures told the same way; false for any of them.
bool EncodeCoreDatabase(CoreDatabaseContext& context, const CalendarTime& utcNow, ByteWriter& image)
    REQUIRES(context.index.lock);

// The empty message box that tells a core database that could not be written.
void ShowCoreSaveFailure(UserMessages& messages);

// Loads the index into the context's fresh, empty index. 1 when it is loaded (*frozen set when
// the user chose to keep an out-of-date one), 0 when it must be built by enumeration. Every
// record is checked; the first inconsistency rejects the whole file, and the caller then
// starts the build from fresh containers. The file's bytes and the loader's tables come from
// the index's heap: memory that runs out ("申请内存失败:%d") rejects the file too.
// *highestExtension gets the largest extension index a file record uses (-1 for none), to be
// checked against the extension database.
int LoadCoreDatabase(CoreDatabaseContext& context, bool* frozen, int64_t* highestExtension);

}  // namespace vessiko
