// Builds directory and file records from UTF-16 names, as the enumeration, the change
// application and the loaders need them. A file name is split into base name and extension;
// the extension is interned (or, for a removal probe, only looked up) in the extension table,
// which lowers its letters in the caller's buffer.
#pragma once

#include <cstdint>

#include "index/dir_entry.h"
#include "index/extension_table.h"
#include "index/file_entry.h"
#include "index/record_arena.h"

namespace vessiko {

enum class ExtensionUse { kIntern, kLookUp };

// Fills parts (all but recordNumber and parentLink) from a file name of `length` units, with
// the packed base name in scratch (room for kMaxPackedNameBytes). An extension that the table
// does not hold, or cannot take, sets extensionUnavailable: no record may then be built, since
// one without the extension would name another file.
FileEntryParts PackFileName(ExtensionTable& extensions, char16_t* name, uint32_t length,
                            ExtensionUse use, uint8_t* scratch);

// A new record in the arena; kNoRecord when memory ran out.
RecordRef NewFileRecord(RecordArena& arena, const FileEntryParts& parts);
RecordRef NewDirRecord(RecordArena& arena, EntryKey key, uint32_t parentLink, const char16_t* name,
                       uint32_t length);

// Packs a directory name into scratch; returns its length and sets *nonAscii.
uint32_t PackDirName(const char16_t* name, uint32_t length, uint8_t* scratch, bool* nonAscii);

}  // namespace vessiko
