#include <algorithm>
#include <span>

#include "index/directory_positions.h"
#include "index/heap_array.h"
#include "index/rooted_directories.h"
#include "store/byte_buffer.h"
#include "store/core_database.h"

namespace vessiko {

namespace {

constexpr uint32_t kMaxPrefix = 1023;  // the prefix length takes 10 bits

uint32_t CommonPrefix(const uint8_t* a, uint32_t aLength, const uint8_t* b, uint32_t bLength) {
  const uint32_t most = std::min({aLength, bLength, kMaxPrefix});
  uint32_t n = 0;
  while (n < most && a[n] == b[n])
    ++n;
  return n;
}

// The directory index table's entries, sorted by key.
struct TableEntry {
  EntryKey key;
  RecordIndex position;
  bool operator<(const TableEntry& other) const { return key < other.key; }
};

}  // namespace

void ShowCoreSaveFailure(UserMessages& messages) {
  messages.showMessage("", "", MessageIcon::kNone);
}

bool EncodeCoreDatabase(CoreDatabaseContext& c, const CalendarTime& utc, ByteWriter& out) {
  // Whatever keeps the file from being made, memory aside, is told the same way.
  const auto fail = [&c] {
    ShowCoreSaveFailure(c.messages);
    return false;
  };
  const Index& index = c.index;
  // Only what hangs from a volume root through listed directories is written, so that every
  // parent a record names is in the file: a directory taken out of the lists while entries
  // below it were still listed (a deletion, or the old half of a rename whose new half never
  // came) leaves those entries without a way to a root.
  const RootedDirectories rooted(index);
  if (!rooted.ok()) return false;
  // Where each written directory lands when the loader allocates them in list order.
  DirectoryPositions positions(index.heap, index.dirs.itemCount());
  HeapArray<TableEntry> table(index.heap, index.dirs.itemCount());
  if (!positions.ok() || !table.ok()) {
    index.heap.reportFailure();
    return false;
  }

  size_t written = 0;
  RecordArena::Replay replay;
  const bool placed = index.dirs.forEach([&](RecordRef ref) {
    if (!rooted.rooted(ref)) return true;
    const DirEntry dir = index.dir(ref);
    const RecordRef place = replay.next(dir.recordSize());
    if (!RecordArena::hasIndex(place)) return false;
    const RecordIndex position = RecordArena::indexOf(place);
    positions.set(ref, position);
    table[written++] = {dir.key(), position};
    return true;
  });
  if (!placed) return fail();
  std::sort(table.begin(), table.begin() + written);
  for (size_t i = 1; i < written; ++i) {
    if (table[i - 1].key == table[i].key) return fail();  // one record per key, always
  }

  out.reserve(1024 + 16 * (static_cast<size_t>(index.dirs.itemCount()) + index.files.itemCount()));
  out.u32(0);  // total size, H, D and F are filled in at the end
  out.u32(0);
  out.u32(0);
  out.u32(0);
  out.u32(kCoreMagic1);
  out.u32(kCoreMagic2);
  out.u32(kCoreVersion);
  out.u32(static_cast<uint32_t>(written));
  const size_t fileCountAt = out.size();
  out.u32(0);
  out.u16(utc.year);
  out.u16(utc.month);
  out.u16(utc.day);
  out.u16(utc.hour);
  for (uint32_t v = 0; v < kVolumeCount; ++v) {
    const VolumeSlot& slot = c.slots[v];
    out.u8(slot.present() ? 1 : 0);
    if (slot.present()) {
      out.u64(slot.journalLost ? 0 : slot.journalId);
      out.u64(static_cast<uint64_t>(slot.nextUsn));
    }
  }
  out.patchU32(4, static_cast<uint32_t>(out.size()));
  for (size_t i = 0; i < written; ++i)
    out.u32(table[i].position);
  out.patchU32(8, static_cast<uint32_t>(out.size()));

  const uint8_t* previous = nullptr;
  uint32_t previousLength = 0;
  index.dirs.forEach([&](RecordRef ref) {
    if (!rooted.rooted(ref)) return;
    const DirEntry dir = index.dir(ref);
    uint32_t parent = kNoRecordIndex;
    if (dir.parentLink() != kNoRecord) positions.find(dir.parentLink(), &parent);
    const uint32_t p = CommonPrefix(previous, previousLength, dir.name(), dir.nameLength());
    const uint32_t q = dir.nameLength() - p;
    out.u32(dir.key());
    out.u32(parent);
    out.u24(p | q << 10 | (dir.hasNonAscii() ? 1u << 20 : 0));
    out.bytes(dir.name() + p, q);
    previous = dir.name();
    previousLength = dir.nameLength();
  });
  out.patchU32(12, static_cast<uint32_t>(out.size()));

  uint32_t files = 0;
  previous = nullptr;
  previousLength = 0;
  index.files.forEach([&](RecordRef ref) {
    const FileEntry file = index.file(ref);
    uint32_t parent = 0;
    if (!positions.find(file.parentLink(), &parent)) return;
    const uint8_t* name;
    const uint32_t length = file.nameBytes(&name);
    const uint32_t width = FileEntry::widthBytes(file.widthCode());
    const uint32_t p = CommonPrefix(previous, previousLength, name, length);
    const uint32_t q = length - p;
    out.u32(file.recordWord());
    out.u32(parent);
    out.u24(p | q << 10 | width << 20);
    out.bytes(name + p, q);
    out.bytes(name + length, width);  // the index as stored, at its width
    previous = name;
    previousLength = length;
    ++files;
  });
  if (!out.ok()) return false;
  if (out.size() > UINT32_MAX) return fail();
  out.patchU32(0, static_cast<uint32_t>(out.size()));
  out.patchU32(static_cast<uint32_t>(fileCountAt), files);
  return true;
}

bool SaveCoreDatabase(CoreDatabaseContext& c, const CalendarTime& utc) {
  ByteWriter image(c.index.heap);
  if (!EncodeCoreDatabase(c, utc, image)) return false;
  const std::span<const uint8_t> pieces[] = {image.written()};
  uint32_t error = 0;
  if (c.files.replaceWith(c.path, pieces, &error)) return true;
  ShowCoreSaveFailure(c.messages);
  return false;
}

}  // namespace vessiko
