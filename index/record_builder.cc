#include "index/record_builder.h"

#include "index/file_name_split.h"
#include "index/packed_name.h"

namespace vessiko {

FileEntryParts PackFileName(ExtensionTable& extensions, char16_t* name, uint32_t length,
                            ExtensionUse use, uint8_t* scratch) {
  if (length > kMaxNameUnits) length = kMaxNameUnits;  // callers refuse longer names first
  const NameSplit split = SplitFileName(name, length);
  FileEntryParts parts;
  if (split.hasExtension) {
    char16_t* extension = name + split.extensionStart;
    if (use == ExtensionUse::kIntern) {
      parts.extension = extensions.intern(extension, split.extensionLength);
    } else {
      parts.extension = extensions.lookup(extension, split.extensionLength);
    }
    parts.extensionUnavailable = parts.extension < 0;
  }
  parts.nameLength = encodePackedName(scratch, name, split.baseLength);
  parts.name = scratch;
  parts.nonAscii = parts.nameLength > split.baseLength;
  return parts;
}

RecordRef NewFileRecord(RecordArena& arena, const FileEntryParts& parts) {
  const RecordRef ref = arena.allocate(FileEntry::sizeFor(parts));
  if (ref != kNoRecord) FileEntry::build(arena.at(ref), parts);
  return ref;
}

uint32_t PackDirName(const char16_t* name, uint32_t length, uint8_t* scratch, bool* nonAscii) {
  if (length > kMaxNameUnits) length = kMaxNameUnits;  // callers refuse longer names first
  const uint32_t packed = encodePackedName(scratch, name, length);
  *nonAscii = packed > length;
  return packed;
}

RecordRef NewDirRecord(RecordArena& arena, EntryKey key, uint32_t parentLink, const char16_t* name,
                       uint32_t length) {
  uint8_t packed[kMaxPackedNameBytes];
  bool nonAscii;
  const uint32_t packedLength = PackDirName(name, length, packed, &nonAscii);
  const RecordRef ref = arena.allocate(DirEntry::sizeFor(packedLength));
  if (ref != kNoRecord) {
    DirEntry::build(arena.at(ref), key, parentLink, packed, packedLength, nonAscii);
  }
  return ref;
}

}  // namespace vessiko
