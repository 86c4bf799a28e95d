#include "volume/enumeration.h"

#include <algorithm>
#include <array>
#include <cassert>
#include <cstdint>
#include <vector>

#include "index/packed_name.h"
#include "index/record_builder.h"
#include "index/record_compaction.h"
#include "index/sort_entry_list.h"
#include "volume/journal_reader.h"
#include "volume/parent_links.h"
#include "volume/usn_record.h"

namespace vessiko {

namespace {

constexpr uint32_t kEnumOutputBytes = 0x80008;  // 512 KiB of records and the 8-byte position

struct ScanState {
  Index& index;
  uint32_t volume;
  EntryKey lastDirKey;
  // The journal position of discovery: records changed since were read after those changes.
  int64_t discoveredUsn;
  JournalReader::SeenRecords& seen;
  bool reportedWideRecord = false;
};

// Record numbers that do not fit the 27 bits of a key cannot be indexed: a key of the cut
// number would name another entry. The user is told once per volume.
bool FitsKeys(ScanState& scan, const UsnRecord& record, UserMessages& messages) {
  if (FitsEntryKey(record.recordNumber()) && FitsEntryKey(record.parentRecordNumber())) return true;
  if (!scan.reportedWideRecord) {
    scan.reportedWideRecord = true;
    messages.showMessage("", "", MessageIcon::kNone);
  }
  return false;
}

void AddDirectory(ScanState& scan, const UsnRecord& record, char16_t* units) {
  const auto number = static_cast<uint32_t>(record.recordNumber());
  // The root is made by the program, never read.
  if (number == kRootRecordNumber) return;
  Index& index = scan.index;
  const EntryKey key = MakeEntryKey(scan.volume, number);
  const RecordRef ref =
      NewDirRecord(index.dirArena, key,
                   MakeEntryKey(scan.volume, static_cast<uint32_t>(record.parentRecordNumber())),
                   units, record.nameLength);
  if (ref == kNoRecord || !index.dirs.append(ref)) return;
  // The enumeration hands out ascending record numbers; should it not, the ordered insert
  // keeps the map sorted.
  if (key > scan.lastDirKey) {
    index.dirMap.append(key, ref);
    scan.lastDirKey = key;
  } else {
    index.dirMap.insert(key, ref);
  }
}

void AddFile(ScanState& scan, const UsnRecord& record, char16_t* units, uint8_t* packed) {
  Index& index = scan.index;
  FileEntryParts parts =
      PackFileName(index.extensions, units, record.nameLength, ExtensionUse::kIntern, packed);
  // Stored without its extension, the file would be another file.
  if (parts.extensionUnavailable) return;
  parts.recordNumber = static_cast<uint32_t>(record.recordNumber());
  parts.parentLink = MakeEntryKey(scan.volume, static_cast<uint32_t>(record.parentRecordNumber()));
  const RecordRef ref = NewFileRecord(index.fileArena, parts);
  if (ref != kNoRecord) index.files.append(ref);
}

void ScanVolume(Index& index, VolumeSlot& slot, uint32_t volume, uint8_t* output,
                UserMessages& messages, const std::atomic<bool>* cancel,
                JournalReader::SeenRecords& seen) {
  namespace e = ntfs::mft_enum_data;
  const RecordRef rootRef = index.dirArena.allocate(DirEntry::kRootBytes);
  if (rootRef == kNoRecord) return;
  DirEntry::initRoot(index.dirArena.at(rootRef), volume);
  index.dirs.append(rootRef);
  index.dirMap.append(RootKey(volume), rootRef);

  ScanState scan{index, volume, RootKey(volume), slot.nextUsn, seen};
  uint8_t in[e::kSize];
  StoreU64(in + e::kStartFileReferenceNumber, 0);
  StoreU64(in + e::kLowUsn, 0);
  // Every file in use, whatever its last USN: a file written to while the table is read (its
  // USN then lies past the journal position of discovery) must not be left out. The journal is
  // replayed from that position afterwards, skipping what the table showed already.
  StoreU64(in + e::kHighUsn, static_cast<uint64_t>(INT64_MAX));
  char16_t units[kMaxNameUnits + 1];
  uint8_t packed[kMaxPackedNameBytes];
  for (;;) {
    if (cancel != nullptr && *cancel) return;
    uint32_t returned = 0;
    uint32_t error = 0;
    // A failure is how the end of the table is reported; any other failure ends it too.
    if (!slot.volume->control(ntfs::kEnumUsnData, in, sizeof in, output, kEnumOutputBytes,
                              &returned, &error) ||
        returned < 8) {
      return;
    }
    const uint32_t records = ForEachUsnRecord(output, returned, [&](const UsnRecord& record) {
      // USN 0: the file has not changed since the journal began.
      if (record.usn >= scan.discoveredUsn && record.usn != 0 &&
          (seen.empty() || seen.back().first != record.recordNumber())) {
        seen.emplace_back(record.recordNumber(), record.usn);
      }
      if (!FitsKeys(scan, record, messages)) return;
      CopyUsnName(record, units);
      if (record.isDirectory()) {
        AddDirectory(scan, record, units);
      } else {
        AddFile(scan, record, units, packed);
      }
    });
    const uint64_t next = LoadU64(output);
    // A call that brings nothing new, or does not move on, would repeat forever.
    if (records == 0 || next <= LoadU64(in + e::kStartFileReferenceNumber)) return;
    StoreU64(in + e::kStartFileReferenceNumber, next);
  }
}

}  // namespace

int EnumerateVolumes(Index& index, VolumeSlots& slots, UserMessages& messages,
                     const std::atomic<bool>* cancel, WorkerPool* workers) {
  assert(index.dirs.itemCount() == 0 && index.files.itemCount() == 0);
  auto* output = static_cast<uint8_t*>(index.heap.allocate(kEnumOutputBytes, false));
  if (output == nullptr) return 0;
  std::array<JournalReader::SeenRecords, kVolumeCount> seen;
  for (uint32_t volume = 0; volume < kVolumeCount; ++volume) {
    VolumeSlot& slot = slots[volume];
    if (!slot.present()) continue;
    ShowStatus(messages, -1, "正在扫描(%c)盘，请稍候...", static_cast<char>('A' + volume));
    ScanVolume(index, slot, volume, output, messages, cancel, seen[volume]);
    // The replay looks records up by number; the table comes in record-number order already.
    std::sort(seen[volume].begin(), seen[volume].end());
  }
  index.heap.free(output);
  if (cancel != nullptr && *cancel) return 0;

  ShowStatus(messages, -1, "正在构建文件目录数据库，请稍候...");
  LinkParents(index, slots);

  WorkerPool& lanes = workers != nullptr ? *workers : WorkerPool::shared();
  ShowStatus(messages, -1, "正在排序文件夹，请稍候...");
  if (!SortDirList(index, lanes)) return 1;
  ShowStatus(messages, -1, "正在排序文件，请稍候...");
  if (!SortFileList(index, lanes)) return 1;

  // The changes made since discovery, but those the table showed already, so that the index is
  // the volumes as they are now; then whatever still hangs from no root goes.
  bool lost = false;
  for (uint32_t volume = 0; volume < kVolumeCount; ++volume) {
    if (slots[volume].present() && !slots[volume].unfollowed) {
      lost = DrainJournal(volume, slots[volume], index, messages, nullptr, cancel, &seen[volume]) ==
                 ntfs::kErrorJournalEntryDeleted ||
             lost;
    }
  }
  // Folders the replay took out and nothing made anew are gone, and the records are about to
  // move: nothing may wait for a new name any longer.
  for (uint32_t volume = 0; volume < kVolumeCount; ++volume)
    slots[volume].pendingRenames.clear();
  if (cancel != nullptr && *cancel) return 0;
  if (!DropUnrooted(index)) return 1;
  CompactRecords(index);
  return lost ? 2 : 0;
}

}  // namespace vessiko
