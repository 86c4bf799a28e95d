#include "volume/change_application.h"

#include <algorithm>
#include <cstring>
#include <mutex>

#include "index/packed_name.h"
#include "index/record_builder.h"
#include "platform/ntfs_layout.h"
#include "volume/file_record_reader.h"

namespace vessiko {

namespace {

// The largest record a name can make: a packed base name of 765 bytes, the two-byte length, a
// four-byte extension index and an icon slot.
constexpr uint32_t kProbeBytes = FileEntry::sizeFor(kMaxPackedNameBytes, 65536) + 4;

// Pending renames whose new name never came (its folder is not in the index) are forgotten
// beyond this many, but while a build is replayed.
constexpr size_t kMaxPendingRenames = 64;

// What a handler made of a record: the index changed, it held the state already, or the state
// could not be had (the folder is not in the index, memory ran out).
enum class Outcome { kChanged, kAlready, kNotDone };

Outcome OutcomeOf(bool changed) {
  return changed ? Outcome::kChanged : Outcome::kAlready;
}

RecordRef LiveDir(const Index& index, EntryKey key) {
  const DirMapPair* pair = index.dirMap.find(key);
  return pair == nullptr ? kNoRecord : pair->dir;
}

// The key of the folder a record's parent link names. A renamed folder's old record keeps its
// key, so a child not yet re-pointed still names the right folder.
EntryKey ParentKeyOf(const Index& index, uint32_t link) {
  return index.dir(link).key();
}

bool SameName(DirEntry entry, const uint8_t* name, uint32_t length) {
  return entry.nameLength() == length && std::memcmp(entry.name(), name, length) == 0;
}

// Takes a directory record out of the directory list by its own bytes.
void RemoveDirRecord(Index& index, RecordRef dir) REQUIRES(index.dirs.mutex()) {
  const DirEntry entry = index.dir(dir);
  index.dirs.removeMatchingIf(entry.bytes(), index.dirOrder(),
                              [dir](RecordRef candidate) { return candidate == dir; });
}

void TakePending(ChangeContext& c, EntryKey key, RecordRef* old) {
  const auto it = std::find_if(c.pending.begin(), c.pending.end(),
                               [key](const PendingRename& p) { return p.key == key; });
  if (it == c.pending.end()) return;
  *old = it->old;
  c.pending.erase(it);
}

// The directory is there under its key, in its parent, with its name: an identical record
// stays; another is replaced by a new one, which takes over the children of the record it
// replaces and of a record taken out by the old name of a rename.
Outcome PlaceDirectory(ChangeContext& c, EntryKey key, EntryKey parentKey, const char16_t* name,
                       uint32_t length) {
  Index& index = c.index;
  MutexLock lock(index.dirs.mutex());
  const RecordRef parent = LiveDir(index, parentKey);
  if (parent == kNoRecord) return Outcome::kNotDone;
  uint8_t packed[kMaxPackedNameBytes];
  bool nonAscii;
  const uint32_t packedLength = PackDirName(name, length, packed, &nonAscii);
  const RecordRef existing = LiveDir(index, key);
  RecordRef renamed = kNoRecord;
  TakePending(c, key, &renamed);
  if (existing != kNoRecord && ParentKeyOf(index, index.dir(existing).parentLink()) == parentKey &&
      SameName(index.dir(existing), packed, packedLength)) {
    if (renamed != kNoRecord && renamed != existing) c.moved.emplace_back(renamed, existing);
    return Outcome::kAlready;
  }
  const RecordRef dir = index.dirArena.allocate(DirEntry::sizeFor(packedLength));
  if (dir == kNoRecord) return Outcome::kNotDone;
  DirEntry::build(index.dirArena.at(dir), key, parent, packed, packedLength, nonAscii);
  if (!index.dirMap.insert(key, dir)) return Outcome::kNotDone;
  if (!index.dirs.insertSorted(dir, index.dirOrder())) {
    // The map must not name a record the list lacks.
    if (existing != kNoRecord) {
      index.dirMap.insert(key, existing);
    } else {
      index.dirMap.erase(key);
    }
    return Outcome::kNotDone;
  }
  if (existing != kNoRecord) {
    RemoveDirRecord(index, existing);
    c.moved.emplace_back(existing, dir);
  }
  if (renamed != kNoRecord) c.moved.emplace_back(renamed, dir);
  return Outcome::kChanged;
}

// Takes the directory of the key out of the map and the list. The map's record is the one to
// remove: the journal's name may be older than the index's. Returns it, or kNoRecord.
RecordRef RemoveDirectory(ChangeContext& c, EntryKey key) {
  Index& index = c.index;
  MutexLock lock(index.dirs.mutex());
  const RecordRef old = index.dirMap.erase(key);
  if (old != kNoRecord) RemoveDirRecord(index, old);
  return old;
}

bool RenameDirectoryOut(ChangeContext& c, EntryKey key) {
  const RecordRef old = RemoveDirectory(c, key);
  if (old == kNoRecord) return false;
  c.pending.erase(std::remove_if(c.pending.begin(), c.pending.end(),
                                 [key](const PendingRename& p) { return p.key == key; }),
                  c.pending.end());
  if (!c.replayingBuild && c.pending.size() >= kMaxPendingRenames)
    c.pending.erase(c.pending.begin());
  c.pending.push_back({key, old});
  return true;
}

// Whether the file list holds this name of this file in the folder of parentKey; its place goes
// to *block, *slot, or where it would go to *place. `parent` is the folder's live record: when
// the folder is not in the index (kNoRecord), any folder matches.
bool FindFile(const Index& index, const uint8_t* probe, EntryKey parentKey, RecordRef parent,
              uint32_t* block, uint32_t* slot, EntryList::Place* place = nullptr) {
  const uint32_t word = LoadU32(probe);
  const auto match = [&](RecordRef ref) {
    const FileEntry file = index.file(ref);
    return file.recordWord() == word &&
           (parent == kNoRecord || ParentKeyOf(index, file.parentLink()) == parentKey);
  };
  return index.files.findMatching(probe, index.fileOrder(), match, block, slot, place);
}

Outcome AddFile(ChangeContext& c, uint32_t recordNumber, EntryKey parentKey, char16_t* name,
                uint32_t length) {
  Index& index = c.index;
  uint8_t packed[kMaxPackedNameBytes];
  FileEntryParts parts =
      PackFileName(index.extensions, name, length, ExtensionUse::kIntern, packed);
  // Stored without its extension, the file would be another file.
  if (parts.extensionUnavailable) return Outcome::kNotDone;
  parts.recordNumber = recordNumber;
  MutexLock lock(index.files.mutex());
  const RecordRef parent = LiveDir(index, parentKey);
  if (parent == kNoRecord) return Outcome::kNotDone;
  parts.parentLink = parent;
  uint8_t probe[kProbeBytes];
  FileEntry::build(probe, parts);
  uint32_t block;
  uint32_t slot;
  EntryList::Place place;
  if (FindFile(index, probe, parentKey, parent, &block, &slot, &place)) return Outcome::kAlready;
  const RecordRef file = NewFileRecord(index.fileArena, parts);
  return file != kNoRecord && index.files.insertAt(place, file) ? Outcome::kChanged
                                                                : Outcome::kNotDone;
}

Outcome RemoveFile(ChangeContext& c, uint32_t recordNumber, EntryKey parentKey, char16_t* name,
                   uint32_t length) {
  Index& index = c.index;
  uint8_t packed[kMaxPackedNameBytes];
  FileEntryParts parts =
      PackFileName(index.extensions, name, length, ExtensionUse::kLookUp, packed);
  // No file of the index has an extension the table does not hold.
  if (parts.extensionUnavailable) return Outcome::kAlready;
  parts.recordNumber = recordNumber;
  uint8_t probe[kProbeBytes];
  FileEntry::build(probe, parts);
  MutexLock lock(index.files.mutex());
  uint32_t block;
  uint32_t slot;
  if (!FindFile(index, probe, parentKey, LiveDir(index, parentKey), &block, &slot)) {
    return Outcome::kAlready;
  }
  index.files.removeAt(block, slot);
  return Outcome::kChanged;
}

}  // namespace

void ApplyChange(ChangeContext& c, const JournalChange& change) {
  const auto [volume, attributes, reason, fileReference, parentReference, name, length] = change;
  const uint64_t recordNumber = fileReference & ntfs::kRecordNumberMask48;
  const uint64_t parentNumber = parentReference & ntfs::kRecordNumberMask48;
  if (volume >= kVolumeCount || length > kMaxNameUnits) return;
  // A record number that a key cannot hold would name another entry when cut to 27 bits.
  if (!FitsEntryKey(recordNumber) || !FitsEntryKey(parentNumber)) {
    if (!c.reportedWideRecord) {
      c.reportedWideRecord = true;
      c.messages.showMessage("", "", MessageIcon::kNone);
    }
    return;
  }
  const EntryKey key = MakeEntryKey(volume, static_cast<uint32_t>(recordNumber));
  const EntryKey parentKey = MakeEntryKey(volume, static_cast<uint32_t>(parentNumber));
  const bool isDirectory = (attributes & ntfs::kAttributeDirectory) != 0;
  const auto number = static_cast<uint32_t>(recordNumber);

  bool there;
  if ((reason & (ntfs::kReasonRenameOldName | ntfs::kReasonFileDelete)) != 0) {
    there = false;
  } else if ((reason & ntfs::kReasonHardLinkChange) != 0 && !isDirectory) {
    if (c.slot == nullptr) return;
    const NamePresence presence =
        FileHasName(*c.slot, c.index.heap, fileReference, parentNumber, name, length);
    if (presence == NamePresence::kUnknown) return;
    there = presence == NamePresence::kPresent;
  } else if ((reason & (ntfs::kReasonFileCreate | ntfs::kReasonRenameNewName)) != 0) {
    there = true;
  } else {
    return;
  }

  // NTFS writes a file's records one after another for one change (the change, then the
  // close): a record that repeats the one just applied, which left this state, has nothing to do.
  ChangeContext::Applied& last = c.lastApplied;
  if (last.fileReference == fileReference && last.parentReference == parentReference &&
      last.there == there && last.length == length && std::equal(name, name + length, last.name)) {
    return;
  }
  // The handlers lower the extension in place; the journal's next record has it as it is.
  std::copy(name, name + length, last.name);
  Outcome outcome;
  if (isDirectory) {
    if (there) {
      outcome = PlaceDirectory(c, key, parentKey, name, length);
    } else if ((reason & ntfs::kReasonRenameOldName) != 0 || c.replayingBuild) {
      outcome = OutcomeOf(RenameDirectoryOut(c, key));
    } else {
      outcome = OutcomeOf(RemoveDirectory(c, key) != kNoRecord);
    }
  } else {
    outcome = there ? AddFile(c, number, parentKey, name, length)
                    : RemoveFile(c, number, parentKey, name, length);
  }
  last.fileReference = outcome == Outcome::kNotDone ? 0 : fileReference;
  last.parentReference = parentReference;
  last.there = there;
  last.length = length;
  if (outcome == Outcome::kChanged && c.listener != nullptr) {
    c.listener->changeApplied(isDirectory, name, length);
  }
  if (!c.deferSettling) SettleRenamedDirectories(c);
}

void SettleRenamedDirectories(ChangeContext& c) {
  if (!c.moved.empty()) {
    // A directory renamed twice hands its children on twice: each old record goes to the last
    // record of its chain.
    std::vector<std::pair<RecordRef, RecordRef>>& moved = c.moved;
    std::sort(moved.begin(), moved.end());
    const auto target = [&moved](RecordRef at) {
      for (size_t steps = 0; steps <= moved.size(); ++steps) {
        const auto it =
            std::lower_bound(moved.begin(), moved.end(), std::make_pair(at, RecordRef{0}));
        if (it == moved.end() || it->first != at) break;
        at = it->second;
      }
      return at;
    };
    for (auto& [from, to] : moved)
      to = target(to);
    const auto repoint = [&moved](uint32_t link, uint32_t* out) {
      const auto it =
          std::lower_bound(moved.begin(), moved.end(), std::make_pair(link, RecordRef{0}));
      if (it == moved.end() || it->first != link) return false;
      *out = it->second;
      return true;
    };
    Index& index = c.index;
    {
      MutexLock dirLock(index.dirs.mutex());
      MutexLock fileLock(index.files.mutex());
      uint32_t to;
      index.dirs.forEach([&](RecordRef ref) {
        DirEntry child = index.dir(ref);
        if (repoint(child.parentLink(), &to)) child.setParentLink(to);
      });
      index.files.forEach([&](RecordRef ref) {
        FileEntry child = index.file(ref);
        if (repoint(child.parentLink(), &to)) child.setParentLink(to);
      });
    }
    moved.clear();
    if (c.listener != nullptr) c.listener->directoriesRenamed();
  }
  if (c.listener != nullptr) c.listener->changesSettled();
}

}  // namespace vessiko
