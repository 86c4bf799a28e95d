#include "volume/change_application.h"

#include <cstring>
#include <mutex>

#include "index/packed_name.h"
#include "index/record_builder.h"
#include "platform/ntfs_layout.h"

namespace vessiko {

namespace {

// The largest record a name can make: a packed base name of 765 bytes, the two-byte length, a
// four-byte extension index and an icon slot.
constexpr uint32_t kProbeBytes = FileEntry::sizeFor(kMaxPackedNameBytes, 65536) + 4;

RecordRef liveDir(const Index& index, EntryKey key) {
  const DirMapPair* pair = index.dirMap.find(key);
  return pair == nullptr ? kNoRecord : pair->dir;
}

bool sameName(const Index& index, RecordRef dir, const uint8_t* name, uint32_t length) {
  const DirEntry entry = index.dir(dir);
  return entry.nameLength() == length && std::memcmp(entry.name(), name, length) == 0;
}

// Hands the children of one directory record to another. Holds the directory list's lock
// already; takes the file list's.
void reparentChildren(Index& index, RecordRef from, RecordRef to) {
  for (uint32_t b = 0; b < index.dirs.blockCount(); ++b) {
    const EntryList::Block& block = index.dirs.block(b);
    for (uint32_t s = block.first; s < block.end; ++s) {
      DirEntry child = index.dir(block.slots[s]);
      if (child.parentLink() == from) child.setParentLink(to);
    }
  }
  std::lock_guard fileLock(index.files.mutex());
  for (uint32_t b = 0; b < index.files.blockCount(); ++b) {
    const EntryList::Block& block = index.files.block(b);
    for (uint32_t s = block.first; s < block.end; ++s) {
      FileEntry child = index.file(block.slots[s]);
      if (child.parentLink() == from) child.setParentLink(to);
    }
  }
}

// Takes a directory record out of the directory list by its own bytes. Holds the list's lock.
void removeDirRecord(Index& index, RecordRef dir) {
  const DirEntry entry = index.dir(dir);
  index.dirs.removeMatchingIf(entry.bytes(), index.dirOrder(),
                              [dir](RecordRef candidate) { return candidate == dir; });
}

// Puts a directory under its key: a new record in the list and the map. When the map holds a
// live record for the key already (a replayed change, or a deletion that was never seen), an
// identical one stays as it is; another is replaced, its children moving to the new record.
// Returns the record that now stands for the key, kNoRecord when none could be made.
RecordRef placeDirectory(Index& index, EntryKey key, RecordRef parent, const char16_t* name,
                         uint32_t length) {
  uint8_t packed[kMaxPackedNameBytes];
  bool nonAscii;
  const uint32_t packedLength = packDirName(name, length, packed, &nonAscii);
  const RecordRef existing = liveDir(index, key);
  if (existing != kNoRecord && index.dir(existing).parentLink() == parent &&
      sameName(index, existing, packed, packedLength)) {
    return existing;
  }
  const RecordRef dir = index.dirArena.allocate(DirEntry::sizeFor(packedLength));
  if (dir == kNoRecord) return kNoRecord;
  DirEntry::build(index.dirArena.at(dir), key, parent, packed, packedLength, nonAscii);
  if (!index.dirMap.insert(key, dir) || !index.dirs.insertSorted(dir, index.dirOrder())) {
    return kNoRecord;
  }
  if (existing != kNoRecord) {
    removeDirRecord(index, existing);
    reparentChildren(index, existing, dir);
  }
  return dir;
}

void addDirectory(ChangeContext& c, EntryKey key, EntryKey parentKey, const char16_t* name,
                  uint32_t length) {
  Index& index = c.index;
  std::lock_guard lock(index.dirs.mutex());
  const RecordRef parent = liveDir(index, parentKey);
  if (parent == kNoRecord) return;
  placeDirectory(index, key, parent, name, length);
}

// Takes the directory out of the map and the list and returns the record the map held. The
// map's record is the one to remove: the journal's name may be older than the index's.
RecordRef removeDirectory(ChangeContext& c, EntryKey key, const char16_t* name, uint32_t length) {
  Index& index = c.index;
  uint8_t probe[DirEntry::sizeFor(kMaxPackedNameBytes)];
  uint8_t packed[kMaxPackedNameBytes];
  bool nonAscii;
  const uint32_t packedLength = packDirName(name, length, packed, &nonAscii);
  DirEntry::build(probe, key, 0, packed, packedLength, nonAscii);
  std::lock_guard lock(index.dirs.mutex());
  const RecordRef old = index.dirMap.erase(key);
  if (old != kNoRecord) {
    removeDirRecord(index, old);
  } else {
    index.dirs.removeMatching(probe, index.dirOrder());
  }
  return old;
}

void renameDirectoryIn(ChangeContext& c, EntryKey key, EntryKey parentKey, const char16_t* name,
                       uint32_t length) {
  Index& index = c.index;
  {
    std::lock_guard lock(index.dirs.mutex());
    const RecordRef parent = liveDir(index, parentKey);
    if (parent == kNoRecord) return;
    const RecordRef dir = placeDirectory(index, key, parent, name, length);
    if (dir == kNoRecord) return;
    if (c.pendingOldDir != kNoRecord && c.pendingOldDir != dir) {
      reparentChildren(index, c.pendingOldDir, dir);
    }
  }
  // The visible paths below the directory show its new name.
  c.messages.redrawResults(0, 100);
}

void addFile(ChangeContext& c, uint32_t recordNumber, EntryKey parentKey, char16_t* name,
             uint32_t length) {
  Index& index = c.index;
  uint8_t packed[kMaxPackedNameBytes];
  FileEntryParts parts =
      packFileName(index.extensions, name, length, ExtensionUse::kIntern, packed);
  parts.recordNumber = recordNumber;
  std::lock_guard lock(index.files.mutex());
  const RecordRef parent = liveDir(index, parentKey);
  if (parent == kNoRecord) return;
  parts.parentLink = parent;
  // The same name of the same file in the same folder is there already.
  uint8_t probe[kProbeBytes];
  FileEntry::build(probe, parts);
  const uint32_t word = loadU32(probe);
  const FileOrder order = index.fileOrder();
  if (index.files.containsMatching(probe, order, [&](RecordRef ref) {
        const FileEntry file = index.file(ref);
        return file.recordWord() == word && file.parentLink() == parent;
      })) {
    return;
  }
  const RecordRef file = newFileRecord(index.fileArena, parts);
  if (file != kNoRecord) index.files.insertSorted(file, order);
}

void removeFile(ChangeContext& c, uint32_t recordNumber, EntryKey parentKey, char16_t* name,
                uint32_t length) {
  Index& index = c.index;
  uint8_t packed[kMaxPackedNameBytes];
  FileEntryParts parts =
      packFileName(index.extensions, name, length, ExtensionUse::kLookUp, packed);
  parts.recordNumber = recordNumber;
  uint8_t probe[kProbeBytes];
  FileEntry::build(probe, parts);
  const uint32_t word = loadU32(probe);
  std::lock_guard lock(index.files.mutex());
  // Of two hard links with the same name, the one in the journal's folder goes.
  const RecordRef parent = liveDir(index, parentKey);
  index.files.removeMatchingIf(probe, index.fileOrder(), [&](RecordRef ref) {
    const FileEntry file = index.file(ref);
    return file.recordWord() == word && (parent == kNoRecord || file.parentLink() == parent);
  });
}

}  // namespace

void ApplyChange(ChangeContext& c, uint32_t volume, uint32_t attributes, uint32_t reason,
                 uint64_t fileReference, uint64_t parentReference, char16_t* name,
                 uint32_t length) {
  const uint64_t recordNumber = fileReference & ntfs::kRecordNumberMask48;
  const uint64_t parentNumber = parentReference & ntfs::kRecordNumberMask48;
  if (volume >= kVolumeCount || length > kMaxNameUnits) return;
  // A record number that a key cannot hold would name another entry when cut to 27 bits.
  if (!fitsEntryKey(recordNumber) || !fitsEntryKey(parentNumber)) {
    if (!c.reportedWideRecord) {
      c.reportedWideRecord = true;
      c.messages.showMessage("", "", MessageIcon::kNone);
    }
    return;
  }
  const EntryKey key = makeEntryKey(volume, static_cast<uint32_t>(recordNumber));
  const EntryKey parentKey = makeEntryKey(volume, static_cast<uint32_t>(parentNumber));
  const bool isDirectory = (attributes & ntfs::kAttributeDirectory) != 0;
  const bool created = (reason & ntfs::kReasonFileCreate) != 0;
  const bool deleted = (reason & ntfs::kReasonFileDelete) != 0;
  const bool closed = (reason & ntfs::kReasonClose) != 0;
  const auto number = static_cast<uint32_t>(recordNumber);

  if (created && deleted) return;
  if (created && closed) {
    if (isDirectory) {
      addDirectory(c, key, parentKey, name, length);
    } else {
      addFile(c, number, parentKey, name, length);
    }
  } else if ((reason & ntfs::kReasonRenameNewName) != 0 && closed) {
    if (isDirectory) {
      renameDirectoryIn(c, key, parentKey, name, length);
    } else {
      addFile(c, number, parentKey, name, length);
    }
  } else if ((reason & ntfs::kReasonRenameOldName) != 0) {
    if (created) return;
    if (isDirectory) {
      c.pendingOldDir = removeDirectory(c, key, name, length);
      c.index.dirArena.release(c.pendingOldDir, 0);
    } else {
      removeFile(c, number, parentKey, name, length);
    }
  } else if (deleted && closed) {
    if (isDirectory) {
      removeDirectory(c, key, name, length);
    } else {
      removeFile(c, number, parentKey, name, length);
    }
  } else {
    return;
  }
  if (c.listener != nullptr) c.listener->changeApplied(isDirectory, name, length);
}

}  // namespace vessiko
