// Builds indexes of synthetic names (1M and 10M entries by default; counts on the command
// line), sorts them, inserts and removes 100k entries in sorted order, and reports time and
// bytes per entry. Every result is checked before it is reported.
//
//   build/linux-release/tools/bench/index_bench [entries...]
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "index/index.h"
#include "index/packed_name.h"
#include "index/record_builder.h"
#include "index/sort_entry_list.h"
#include "platform/fakes/recording_messages.h"
#include "tools/bench/bench_arguments.h"
#include "tools/bench/bench_clock.h"
#include "tools/synth/synthetic_names.h"

namespace vessiko {
namespace {

constexpr uint32_t kChanges = 100000;
constexpr uint32_t kVolume = 2;  // drive C

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "check failed: %s\n", what);
  std::exit(1);
}

template <class Order>
void CheckSorted(const EntryList& list, const Order& order) {
  RecordRef previous = kNoRecord;
  uint64_t seen = 0;
  list.forEach([&](RecordRef ref) {
    if (previous != kNoRecord && order(previous, ref) > 0) Fail("list order");
    previous = ref;
    ++seen;
  });
  if (seen != list.itemCount()) Fail("item count");
}

uint64_t ListBytes(const EntryList& list) {
  return static_cast<uint64_t>(list.blockCount()) * EntryList::Array::kBlockBytes;
}

void Run(uint32_t entries) {
  RecordingMessages messages;
  PrivateHeap heap(messages);
  Index index(heap, Collation::loadCollationTable());
  index.extensions.seedBuiltins();
  SyntheticNames names(entries);
  uint8_t packed[kMaxPackedNameBytes];

  // One directory in ten, as on a typical system volume.
  const uint32_t dirs = entries / 10;
  uint64_t nameUnits = 0;
  Stopwatch build;
  for (uint32_t i = 0; i < dirs; ++i) {
    const std::u16string& name = names.nextFolderName();
    nameUnits += name.size();
    const RecordRef ref =
        NewDirRecord(index.dirArena, MakeEntryKey(kVolume, 16 + i), RootKey(kVolume), name.data(),
                     static_cast<uint32_t>(name.size()));
    if (ref == kNoRecord || !index.dirs.append(ref)) Fail("directory allocation");
  }
  for (uint32_t i = dirs; i < entries; ++i) {
    std::u16string& name = names.nextFileName();
    nameUnits += name.size();
    FileEntryParts parts =
        PackFileName(index.extensions, name.data(), static_cast<uint32_t>(name.size()),
                     ExtensionUse::kIntern, packed);
    parts.recordNumber = 16 + i;
    parts.parentLink = RootKey(kVolume);
    const RecordRef ref = NewFileRecord(index.fileArena, parts);
    if (ref == kNoRecord || !index.files.append(ref)) Fail("file allocation");
  }
  const double buildSeconds = build.seconds();

  WorkerPool& workers = WorkerPool::shared();
  Stopwatch sortDirs;
  if (!SortDirList(index, workers)) Fail("memory for sorting");
  const double sortDirSeconds = sortDirs.seconds();
  Stopwatch sortFiles;
  if (!SortFileList(index, workers)) Fail("memory for sorting");
  const double sortFileSeconds = sortFiles.seconds();
  CheckSorted(index.dirs, index.dirOrder());
  CheckSorted(index.files, index.fileOrder());

  const uint64_t recordBytes = index.dirArena.bytesReserved() + index.fileArena.bytesReserved();
  const uint64_t refBytes = ListBytes(index.dirs) + ListBytes(index.files);

  // 100k changes: new files inserted at their places, then removed again by probes.
  SyntheticNames changes(entries + 1);
  std::vector<std::u16string> added;
  added.reserve(kChanges);
  for (uint32_t i = 0; i < kChanges; ++i)
    added.push_back(changes.fileName());
  const FileOrder order = index.fileOrder();
  Stopwatch insert;
  for (uint32_t i = 0; i < kChanges; ++i) {
    std::u16string name = added[i];
    FileEntryParts parts =
        PackFileName(index.extensions, name.data(), static_cast<uint32_t>(name.size()),
                     ExtensionUse::kIntern, packed);
    parts.recordNumber = 0x4000000 + i;
    parts.parentLink = RootKey(kVolume);
    const RecordRef ref = NewFileRecord(index.fileArena, parts);
    if (ref == kNoRecord || !index.files.insertSorted(ref, order)) Fail("insert");
  }
  const double insertSeconds = insert.seconds();
  CheckSorted(index.files, order);
  if (index.files.itemCount() != entries - dirs + kChanges) Fail("count after inserts");

  uint8_t probe[FileEntry::sizeFor(kMaxPackedNameBytes, 65536)];
  Stopwatch remove;
  for (uint32_t i = 0; i < kChanges; ++i) {
    std::u16string name = added[i];
    FileEntryParts parts =
        PackFileName(index.extensions, name.data(), static_cast<uint32_t>(name.size()),
                     ExtensionUse::kLookUp, packed);
    parts.recordNumber = 0x4000000 + i;
    FileEntry::build(probe, parts);
    if (!index.files.removeMatching(probe, order)) Fail("remove");
  }
  const double removeSeconds = remove.seconds();
  CheckSorted(index.files, order);
  if (index.files.itemCount() != entries - dirs) Fail("count after removals");

  std::printf("%10u entries (%u folders), %.1f units a name on average\n", entries, dirs,
              static_cast<double>(nameUnits) / entries);
  std::printf("  build (pack, allocate, append)   %8.3f s\n", buildSeconds);
  std::printf("  sort folders                     %8.3f s\n", sortDirSeconds);
  std::printf("  sort files                       %8.3f s\n", sortFileSeconds);
  std::printf("  insert 100k files in order       %8.3f s  (%.2f us each)\n", insertSeconds,
              insertSeconds * 1e6 / kChanges);
  std::printf("  remove those 100k by probe       %8.3f s  (%.2f us each)\n", removeSeconds,
              removeSeconds * 1e6 / kChanges);
  std::printf("  memory: records %.1f + list references %.1f = %.1f bytes per entry\n",
              static_cast<double>(recordBytes) / entries, static_cast<double>(refBytes) / entries,
              static_cast<double>(recordBytes + refBytes) / entries);
}

}  // namespace
}  // namespace vessiko

int main(int argc, char** argv) {
  for (uint32_t n : vessiko::EntryCounts(argc, argv))
    vessiko::Run(n);
  return 0;
}
