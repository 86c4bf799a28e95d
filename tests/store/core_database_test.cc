// The core database: what a save writes (header, record indexes, front-compressed names, packed
// lengths), what a load rebuilds from it, how whole runs react to out-of-date journals and to
// files that cannot be read or written, and how the two database files are saved as a pair that
// no failure, crash or lack of memory leaves mismatched.
#include "store/core_database.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "engine/lifecycle.h"
#include "platform/fakes/failing_heap.h"
#include "platform/fakes/memory_files.h"
#include "platform/little_endian.h"
#include "platform/ntfs_layout.h"
#include "platform/sim/sim_machine.h"
#include "platform/utf.h"
#include "store/database_pair.h"
#include "tests/support/engine_fixture.h"
#include "tests/support/sim_entries.h"
#include "tests/support/test_index.h"
#include "volume/enumeration.h"
#include "volume/journal_reader.h"
#include "volume/volume_discovery.h"

namespace vessiko {
namespace {

using Results = std::vector<std::string>;
using testing::SimDir;
using testing::SimFile;

const DatabasePaths kPaths = DatabasePaths::inFolder("/db", '/');
const CalendarTime kSaveTime{2026, 12, 7, 9, 30, 0, 0};

// An index of a simulated machine as a start-up makes it: discovery first, then a build by
// enumeration, the machine's later changes replayed as the catch-up replays them, or a load.
class MachineIndex {
 public:
  explicit MachineIndex(SimMachine& machine, Heap* heap = nullptr) : t(heap), slots(t.heap()) {
    DiscoverVolumes(machine, slots, rows, t.messages());
  }

  // `fillers` extensions are in the table before the enumeration meets any name, so that the
  // machine's own extensions get indexes from 4 + fillers up.
  void build(uint32_t fillers = 0) {
    Index& index = t.index();
    index.extensions.seedBuiltins();
    for (uint32_t i = 0; i < fillers; ++i) {
      // Two CJK units, ascending with i and spread over many first units: the table's search
      // widens linearly over texts that share a unit.
      std::u16string units{static_cast<char16_t>(0x4E00 + (i >> 8)),
                           static_cast<char16_t>(0x4E00 + (i & 0xFF))};
      ASSERT_EQ(index.extensions.intern(units.data(), 2), static_cast<int32_t>(4 + i));
    }
    EnumerateVolumes(index, slots, t.messages());
  }

  void catchUp() {
    for (uint32_t v = 0; v < kVolumeCount; ++v) {
      if (!slots[v].present()) continue;
      ASSERT_EQ(DrainJournal(v, slots[v], t.index(), t.messages(), nullptr, nullptr), 0u);
    }
  }

  bool save(MemoryFiles& files) {
    CoreDatabaseContext core{t.index(), slots, files, t.messages(), kPaths.core};
    return SaveDatabases(core, kPaths.extensions, kSaveTime);
  }

  bool load(MemoryFiles& files, bool* frozen) {
    return LoadSavedIndex(t.index(), slots, files, t.messages(), kPaths, frozen);
  }

  testing::TestIndex t;
  VolumeSlots slots;
  DroppedVolumeRows rows;
};

std::string Hex(uint32_t value) {
  char text[12];
  std::snprintf(text, sizeof text, "%08X", value);
  return text;
}

// What an index says, by names and paths rather than by record references: the two lists in
// order, and the directory map's live pairs in order.
struct Snapshot {
  std::vector<std::string> dirs;
  std::vector<std::string> files;
  std::vector<std::string> dirMap;
};

Snapshot SnapshotOf(testing::TestIndex& t) {
  const Index& index = t.index();
  Snapshot s;
  for (RecordRef ref : t.dirsInOrder()) {
    const DirEntry dir = index.dir(ref);
    s.dirs.push_back(Hex(dir.key()) + (dir.hasNonAscii() ? " * " : "   ") + t.pathOf(ref));
  }
  for (RecordRef ref : t.filesInOrder())
    s.files.push_back(Hex(index.file(ref).recordWord()) + " " + t.filePath(ref));
  index.dirMap.forEach([&](const DirMapPair& pair) {
    if (pair.dir != kNoRecord) s.dirMap.push_back(Hex(pair.key) + " " + t.pathOf(pair.dir));
  });
  return s;
}

// The RecordIndex of each directory of a list, worked out from the record sizes alone: records
// follow each other in 4096-byte chunks, and one that does not fit the rest of a chunk starts
// the next.
std::vector<RecordIndex> ExpectedPositions(const Index& index, const std::vector<RecordRef>& dirs) {
  std::vector<RecordIndex> out;
  uint32_t chunk = 0;
  uint32_t offset = 0;
  for (RecordRef ref : dirs) {
    const uint32_t size = index.dir(ref).nameLength() + 10;
    if (offset + size > 4096) {
      ++chunk;
      offset = 0;
    }
    out.push_back(chunk << 16 | offset);
    offset += size;
  }
  return out;
}

// The saved file read back field by field, independently of the loader.
struct StoredRecord {
  size_t at = 0;       // offset of the record in the file
  uint32_t first = 0;  // a directory's key, a file's record word
  uint32_t parent = 0;
  uint32_t lengths = 0;            // the packed 24-bit field
  std::vector<uint8_t> name;       // the whole name (or base name), prefix included
  std::vector<uint8_t> extension;  // a file's index bytes
  uint32_t p() const { return lengths & 0x3FF; }
  uint32_t q() const { return lengths >> 10 & 0x3FF; }
  uint32_t size() const { return 11 + q() + static_cast<uint32_t>(extension.size()); }
};

struct StoredVolume {
  bool present = false;
  uint64_t journalId = 0;
  int64_t nextUsn = 0;
};

struct StoredCore {
  uint32_t size = 0, h = 0, d = 0, f = 0, magic1 = 0, magic2 = 0, version = 0;
  uint32_t dirCount = 0, fileCount = 0;
  uint16_t year = 0, month = 0, day = 0, hour = 0;
  StoredVolume volumes[kVolumeCount];
  std::vector<uint32_t> table;
  std::vector<StoredRecord> dirs;
  std::vector<StoredRecord> files;
};

class Cursor {
 public:
  Cursor(const std::vector<uint8_t>& bytes, size_t at) : bytes_(bytes), at_(at) {}
  uint8_t u8() { return bytes_.at(at_++); }
  uint16_t u16() { return static_cast<uint16_t>(u8() | u8() << 8); }
  uint32_t u24() { return u8() | u8() << 8 | static_cast<uint32_t>(u8()) << 16; }
  uint32_t u32() { return u16() | static_cast<uint32_t>(u16()) << 16; }
  uint64_t u64() { return u32() | static_cast<uint64_t>(u32()) << 32; }
  std::vector<uint8_t> take(size_t n) {
    std::vector<uint8_t> out;
    for (size_t i = 0; i < n; ++i)
      out.push_back(u8());
    return out;
  }
  size_t at() const { return at_; }

 private:
  const std::vector<uint8_t>& bytes_;
  size_t at_;
};

StoredCore ReadCore(const std::vector<uint8_t>& bytes) {
  StoredCore s;
  Cursor in(bytes, 0);
  s.size = in.u32();
  s.h = in.u32();
  s.d = in.u32();
  s.f = in.u32();
  s.magic1 = in.u32();
  s.magic2 = in.u32();
  s.version = in.u32();
  s.dirCount = in.u32();
  s.fileCount = in.u32();
  s.year = in.u16();
  s.month = in.u16();
  s.day = in.u16();
  s.hour = in.u16();
  for (StoredVolume& v : s.volumes) {
    v.present = in.u8() == 1;
    if (v.present) {
      v.journalId = in.u64();
      v.nextUsn = static_cast<int64_t>(in.u64());
    }
  }
  EXPECT_EQ(in.at(), s.h);
  while (in.at() < s.d)
    s.table.push_back(in.u32());
  const auto name = [](Cursor& c, const StoredRecord& r, const StoredRecord* previous) {
    std::vector<uint8_t> whole;
    if (previous != nullptr) whole.assign(previous->name.begin(), previous->name.begin() + r.p());
    const std::vector<uint8_t> suffix = c.take(r.q());
    whole.insert(whole.end(), suffix.begin(), suffix.end());
    return whole;
  };
  Cursor dirs(bytes, s.d);
  while (dirs.at() < s.f) {
    StoredRecord r;
    r.at = dirs.at();
    r.first = dirs.u32();
    r.parent = dirs.u32();
    r.lengths = dirs.u24();
    r.name = name(dirs, r, s.dirs.empty() ? nullptr : &s.dirs.back());
    s.dirs.push_back(std::move(r));
  }
  EXPECT_EQ(dirs.at(), s.f);
  Cursor files(bytes, s.f);
  while (files.at() < bytes.size()) {
    StoredRecord r;
    r.at = files.at();
    r.first = files.u32();
    r.parent = files.u32();
    r.lengths = files.u24();
    r.name = name(files, r, s.files.empty() ? nullptr : &s.files.back());
    r.extension = files.take(r.lengths >> 20);
    s.files.push_back(std::move(r));
  }
  return s;
}

std::vector<uint8_t> Packed(const std::u16string& name) {
  std::vector<uint8_t> out;
  for (char16_t u : name) {
    if (u < 0x80) {
      out.push_back(static_cast<uint8_t>(u));
    } else {
      out.insert(out.end(), {0x81, static_cast<uint8_t>(u), static_cast<uint8_t>(u >> 8)});
    }
  }
  return out;
}

const StoredRecord* FindStored(const std::vector<StoredRecord>& records,
                               const std::u16string& name) {
  for (const StoredRecord& r : records) {
    if (r.name == Packed(name)) return &r;
  }
  return nullptr;
}

std::vector<uint8_t> RawLengths(const std::vector<uint8_t>& bytes, const StoredRecord& r) {
  return {bytes.begin() + static_cast<std::ptrdiff_t>(r.at + 8),
          bytes.begin() + static_cast<std::ptrdiff_t>(r.at + 11)};
}

std::vector<uint8_t> BytesOf(std::initializer_list<uint8_t> list) {
  return list;
}

// Two volumes holding names of every kind the file stores: ASCII and CJK, the longest names,
// names repeated in other folders, files without an extension or with an empty one, and more
// than 256 extensions.
struct RichMachine {
  RichMachine() : c(machine.addNtfsDrive('C', u"System")), d(machine.addNtfsDrive('D', u"Data")) {
    docs = c.create(SimDir(5, u"Documents"));
    c.create(SimFile(docs, u"report.txt", 100));
    c.create(SimFile(docs, u"Report (2).TXT", 100));
    c.create(SimFile(docs, u"会议记录.docx", 10));
    c.create(SimFile(docs, u"报告.文档", 10));
    c.create(SimFile(docs, u"notes.", 1));
    c.create(SimFile(docs, u".bashrc", 1));
    c.create(SimFile(docs, u"Makefile", 1));
    chinese = c.create(SimDir(5, u"资料"));
    c.create(SimFile(chinese, u"照片.jpg", 1));
    c.create(SimFile(chinese, std::u16string(251, u'文') + u".txt", 1));
    c.create(SimDir(chinese, std::u16string(255, u'长')));
    const uint64_t longAscii = c.create(SimDir(5, std::u16string(255, u'l')));
    c.create(SimFile(longAscii, std::u16string(251, u'x') + u".log", 1));
    for (const uint64_t parent : {docs, chinese}) {
      const uint64_t twin = c.create(SimDir(parent, u"twin"));
      c.create(SimFile(twin, u"same.txt", 1));
    }
    const uint64_t many = c.create(SimDir(5, u"many"));
    for (int i = 0; i < 300; ++i) {
      char name[16];
      std::snprintf(name, sizeof name, "f.e%03d", i);
      c.create(SimFile(many, Utf8ToUtf16(name), 1));
    }
    uint64_t deep = 5;
    for (int level = 0; level < 12; ++level)
      deep = d.create(SimDir(deep, u"level" + Utf8ToUtf16(std::to_string(level))));
    d.create(SimFile(deep, u"bottom.dat", 1));
    music = d.create(SimDir(5, u"Music"));
    for (int i = 0; i < 40; ++i)
      tracks.push_back(
          d.create(SimFile(music, u"track" + Utf8ToUtf16(std::to_string(i)) + u".mp3", 1)));
  }

  // Creations, deletions, renames and moves of files and folders, made while no index follows.
  void change() {
    const uint64_t fresh = c.create(SimDir(5, u"Fresh"));
    c.create(SimFile(fresh, u"new.rare1", 1));
    c.create(SimFile(fresh, u"新文件.txt", 1));
    const uint64_t temp = c.create(SimFile(docs, u"temp.tmp", 1));
    c.remove(temp);
    for (int i = 0; i < 10; ++i)
      d.remove(tracks[i]);
    const uint64_t empty = d.create(SimDir(5, u"empty"));
    d.remove(empty);
    c.rename(docs, 5, u"Papers");  // a folder with children
    const uint64_t archive = c.create(SimDir(5, u"archive"));
    c.rename(chinese, archive, u"资料库");  // moved and renamed
    d.rename(tracks[20], 5, u"moved.mp3");
    d.rename(tracks[21], music, u"renamed.flac");
  }

  SimMachine machine;
  SimVolume& c;
  SimVolume& d;
  uint64_t docs = 0;
  uint64_t chinese = 0;
  uint64_t music = 0;
  std::vector<uint64_t> tracks;
};

// Saves the built index, loads it into a fresh one and compares the two, and what the file
// says, with what the index held.
void ExpectRoundTrip(SimMachine& machine, MachineIndex& built) {
  MemoryFiles files;
  ASSERT_TRUE(built.save(files));
  const Index& original = built.t.index();
  const std::vector<RecordRef> dirs = built.t.dirsInOrder();
  const std::vector<RecordRef> fileRefs = built.t.filesInOrder();
  const std::vector<RecordIndex> positions = ExpectedPositions(original, dirs);
  std::map<RecordRef, RecordIndex> positionOf;
  for (size_t i = 0; i < dirs.size(); ++i)
    positionOf[dirs[i]] = positions[i];

  const std::vector<uint8_t> bytes = files.get(kPaths.core);
  const StoredCore stored = ReadCore(bytes);
  EXPECT_EQ(stored.size, bytes.size());
  EXPECT_EQ(stored.magic1, 0xD0DBC7E0u);
  EXPECT_EQ(stored.magic2, 0xC7E0D0DBu);
  EXPECT_EQ(stored.version, 0x01000001u);
  EXPECT_EQ(stored.dirCount, dirs.size());
  EXPECT_EQ(stored.fileCount, fileRefs.size());
  EXPECT_EQ(stored.h, 44u + 24u + 2u * 17u);  // C and D present
  EXPECT_EQ(stored.d - stored.h, 4 * dirs.size());
  EXPECT_EQ((std::vector<uint16_t>{stored.year, stored.month, stored.day, stored.hour}),
            (std::vector<uint16_t>{2026, 12, 7, 9}));
  for (uint32_t v = 0; v < kVolumeCount; ++v) {
    EXPECT_EQ(stored.volumes[v].present, built.slots[v].present()) << v;
    EXPECT_EQ(stored.volumes[v].journalId, built.slots[v].present() ? built.slots[v].journalId : 0);
    EXPECT_EQ(stored.volumes[v].nextUsn, built.slots[v].present() ? built.slots[v].nextUsn : 0);
  }

  // The table: every directory's position, in ascending key order.
  std::vector<std::pair<EntryKey, RecordIndex>> byKey;
  for (size_t i = 0; i < dirs.size(); ++i)
    byKey.emplace_back(original.dir(dirs[i]).key(), positions[i]);
  std::sort(byKey.begin(), byKey.end());
  std::vector<uint32_t> table;
  for (const auto& [key, position] : byKey)
    table.push_back(position);
  EXPECT_EQ(stored.table, table);

  // Records in list order, each naming its parent by the parent's position.
  ASSERT_EQ(stored.dirs.size(), dirs.size());
  for (size_t i = 0; i < dirs.size(); ++i) {
    const DirEntry dir = original.dir(dirs[i]);
    const StoredRecord& r = stored.dirs[i];
    EXPECT_EQ(r.first, dir.key());
    EXPECT_EQ(r.parent,
              dir.parentLink() == kNoRecord ? kNoRecordIndex : positionOf.at(dir.parentLink()));
    EXPECT_EQ(r.name, std::vector<uint8_t>(dir.name(), dir.name() + dir.nameLength()));
    EXPECT_EQ((r.lengths >> 20) != 0, dir.hasNonAscii());
  }
  ASSERT_EQ(stored.files.size(), fileRefs.size());
  for (size_t i = 0; i < fileRefs.size(); ++i) {
    const FileEntry file = original.file(fileRefs[i]);
    const StoredRecord& r = stored.files[i];
    const uint8_t* name;
    const uint32_t length = file.nameBytes(&name);
    EXPECT_EQ(r.first, file.recordWord());
    EXPECT_EQ(r.parent, positionOf.at(file.parentLink()));
    EXPECT_EQ(r.name, std::vector<uint8_t>(name, name + length));
    EXPECT_EQ(r.extension.size(), FileEntry::widthBytes(file.widthCode()));
  }

  MachineIndex loaded(machine);
  bool frozen = true;
  ASSERT_TRUE(loaded.load(files, &frozen));
  EXPECT_FALSE(frozen);
  EXPECT_TRUE(loaded.t.messages().messages().empty());
  const Snapshot before = SnapshotOf(built.t);
  const Snapshot after = SnapshotOf(loaded.t);
  EXPECT_EQ(after.dirs, before.dirs);
  EXPECT_EQ(after.files, before.files);
  EXPECT_EQ(after.dirMap, before.dirMap);
  EXPECT_EQ(after.dirMap.size(), after.dirs.size());

  // The loader allocated every directory where the save said it would be.
  const std::vector<RecordRef> loadedDirs = loaded.t.dirsInOrder();
  ASSERT_EQ(loadedDirs.size(), positions.size());
  for (size_t i = 0; i < loadedDirs.size(); ++i) {
    EXPECT_EQ(RecordArena::indexOf(loadedDirs[i]), positions[i]) << i;
    EXPECT_EQ(loaded.t.index().dirArena.recordAt(positions[i]), loadedDirs[i]) << i;
  }
  // The catch-up goes on from where the saved run stopped.
  for (uint32_t v = 0; v < kVolumeCount; ++v)
    EXPECT_EQ(loaded.slots[v].nextUsn, built.slots[v].present() ? built.slots[v].nextUsn : 0);
}

TEST(CoreDatabaseRoundTrip, ReproducesAFreshBuildAndTheIndexAfterChanges) {
  RichMachine m;
  MachineIndex built(m.machine);
  ASSERT_NO_FATAL_FAILURE(built.build());
  ASSERT_GT(built.t.index().extensions.count(), 300u);  // indexes of two bytes too
  ExpectRoundTrip(m.machine, built);

  m.change();
  ASSERT_NO_FATAL_FAILURE(built.catchUp());
  const EntryKey docs = MakeEntryKey(2, static_cast<uint32_t>(m.docs & ntfs::kRecordNumberMask48));
  EXPECT_EQ(built.t.pathOf(built.t.index().dirMap.find(docs)->dir), "C:\\Papers");
  // Removed and re-made records left the arena out of list order: the saved positions are
  // not where the records sit in memory, yet follow each other without gaps.
  const std::vector<RecordRef> dirs = built.t.dirsInOrder();
  std::vector<RecordIndex> inMemory;
  for (RecordRef ref : dirs)
    inMemory.push_back(RecordArena::indexOf(ref));
  EXPECT_NE(inMemory, ExpectedPositions(built.t.index(), dirs));
  ExpectRoundTrip(m.machine, built);
}

TEST(CoreDatabaseLayout, ADirectoryThatDoesNotFitTheRestOfAChunkStartsTheNext) {
  SimMachine machine;
  SimVolume& c = machine.addNtfsDrive('C');
  // The root "C:" takes 12 bytes; then records of 210 bytes: 19 of them end at 4002, and the
  // 20th, which would end at 4212, starts chunk 1.
  std::vector<uint64_t> dirs;
  for (int i = 0; i < 24; ++i) {
    char prefix[16];
    std::snprintf(prefix, sizeof prefix, "d%02d", i);
    dirs.push_back(c.create(SimDir(5, Utf8ToUtf16(prefix) + std::u16string(197, u'x'))));
  }
  c.create(SimFile(dirs[19], u"inside.txt", 1));
  MachineIndex built(machine);
  ASSERT_NO_FATAL_FAILURE(built.build());
  MemoryFiles files;
  ASSERT_TRUE(built.save(files));

  const std::vector<uint8_t> bytes = files.get(kPaths.core);
  const StoredCore stored = ReadCore(bytes);
  ASSERT_EQ(stored.files.size(), 1u);
  EXPECT_EQ(stored.files[0].parent, 0x00010000u);
  ASSERT_EQ(stored.table.size(), 25u);
  EXPECT_EQ(stored.table[0], 0u);  // the root has the lowest key
  EXPECT_EQ(stored.table[19], 12u + 18u * 210u);
  EXPECT_EQ(stored.table[20], 0x00010000u);
  EXPECT_EQ(stored.table[21], 0x000100D2u);

  MachineIndex loaded(machine);
  bool frozen = false;
  ASSERT_TRUE(loaded.load(files, &frozen));
  const Index& index = loaded.t.index();
  const RecordRef moved = index.dirArena.recordAt(0x00010000);
  ASSERT_NE(moved, kNoRecord);
  EXPECT_EQ(loaded.t.pathOf(moved), "C:\\d19" + std::string(197, 'x'));
  EXPECT_EQ(loaded.t.filePath(loaded.t.filesInOrder().at(0)),
            "C:\\d19" + std::string(197, 'x') + "\\inside.txt");
}

TEST(CoreDatabaseLayout, PackedLengthsExtensionWidthsAndRepeatedNames) {
  SimMachine machine;
  SimVolume& c = machine.addNtfsDrive('C');
  const uint64_t abc = c.create(SimDir(5, u"abc"));
  const uint64_t abcCjk = c.create(SimDir(5, u"abc文de"));
  c.create(SimDir(abc, u"twin"));
  c.create(SimDir(abcCjk, u"twin"));
  c.create(SimFile(abc, u"aaaaaaa.exe", 1));
  c.create(SimFile(abc, u"bbb.txt", 1));
  c.create(SimFile(abc, u"noext", 1));
  c.create(SimFile(abc, u"same.exe", 1));
  c.create(SimFile(abcCjk, u"same.exe", 1));
  MachineIndex built(machine);
  // "txt", the first new extension, gets index 300.
  ASSERT_NO_FATAL_FAILURE(built.build(296));
  MemoryFiles files;
  ASSERT_TRUE(built.save(files));
  const std::vector<uint8_t> bytes = files.get(kPaths.core);
  const StoredCore stored = ReadCore(bytes);

  // Directories in list order: abc, abc文de, C:, twin, twin.
  ASSERT_EQ(stored.dirs.size(), 5u);
  EXPECT_EQ(stored.dirs[1].name, Packed(u"abc文de"));
  EXPECT_EQ(RawLengths(bytes, stored.dirs[1]), BytesOf({0x03, 0x14, 0x10}));  // p 3, q 5, flag
  EXPECT_EQ(stored.dirs[4].name, Packed(u"twin"));
  EXPECT_EQ(RawLengths(bytes, stored.dirs[4]), BytesOf({0x04, 0x00, 0x00}));  // q 0

  // Files in list order: aaaaaaa.exe, bbb.txt, noext, same.exe, same.exe.
  ASSERT_EQ(stored.files.size(), 5u);
  const StoredRecord& first = stored.files[0];
  EXPECT_EQ(RawLengths(bytes, first), BytesOf({0x00, 0x1C, 0x10}));  // p 0, q 7, one byte
  EXPECT_EQ(first.extension, BytesOf({0x01}));                       // "exe"
  EXPECT_EQ(first.size(), 4u + 4u + 3u + 7u + 1u);                   // the icon slot is not stored
  const StoredRecord* wide = FindStored(stored.files, u"bbb");
  ASSERT_NE(wide, nullptr);
  EXPECT_EQ(wide->lengths >> 20, 2u);
  EXPECT_EQ(wide->extension, BytesOf({0x2C, 0x01}));  // 300
  const StoredRecord* none = FindStored(stored.files, u"noext");
  ASSERT_NE(none, nullptr);
  EXPECT_EQ(none->lengths >> 20, 0u);
  EXPECT_TRUE(none->extension.empty());
  EXPECT_EQ((none + 1)->at, none->at + 11 + none->q());  // no index bytes follow the name
  EXPECT_EQ(stored.files[4].name, Packed(u"same"));
  EXPECT_EQ(RawLengths(bytes, stored.files[4]), BytesOf({0x04, 0x00, 0x10}));  // q 0

  MachineIndex loaded(machine);
  bool frozen = false;
  ASSERT_TRUE(loaded.load(files, &frozen));
  EXPECT_EQ(SnapshotOf(loaded.t).files, SnapshotOf(built.t).files);
  EXPECT_EQ(SnapshotOf(loaded.t).dirs, SnapshotOf(built.t).dirs);
}

TEST(CoreDatabaseLayout, AFourByteExtensionIndex) {
  SimMachine machine;
  SimVolume& c = machine.addNtfsDrive('C');
  c.create(SimFile(5, u"aaaaaaa.zzz", 1));
  MachineIndex built(machine);
  ASSERT_NO_FATAL_FAILURE(built.build(65532));  // "zzz" gets 65536
  MemoryFiles files;
  ASSERT_TRUE(built.save(files));
  const std::vector<uint8_t> bytes = files.get(kPaths.core);
  const StoredCore stored = ReadCore(bytes);
  ASSERT_EQ(stored.files.size(), 1u);
  EXPECT_EQ(RawLengths(bytes, stored.files[0]), BytesOf({0x00, 0x1C, 0x40}));
  EXPECT_EQ(stored.files[0].extension, BytesOf({0x00, 0x00, 0x01, 0x00}));

  MachineIndex loaded(machine);
  bool frozen = false;
  ASSERT_TRUE(loaded.load(files, &frozen));
  EXPECT_EQ(loaded.t.filePath(loaded.t.filesInOrder().at(0)), "C:\\aaaaaaa.zzz");
  EXPECT_EQ(loaded.t.index().file(loaded.t.filesInOrder().at(0)).extensionIndex(), 65536);
}

// A folder out of the lists by the old half of a rename whose new half never came: its
// children still name its old record and have no way to a root through listed folders. The
// save leaves them out, so the file stays loadable (walking up through the old record would
// reach a root and write the child folder without a parent, which the loader rejects).
TEST(CoreDatabaseSave, ChildrenOfAFolderTakenOutByAHalfAppliedRenameAreLeftOut) {
  SimMachine machine;
  SimVolume& c = machine.addNtfsDrive('C');
  const uint64_t top = c.create(SimDir(5, u"top"));
  const uint64_t child = c.create(SimDir(top, u"child"));
  c.create(SimFile(child, u"inside.txt", 1));
  c.create(SimFile(5, u"kept.txt", 1));
  MachineIndex built(machine);
  ASSERT_NO_FATAL_FAILURE(built.build());
  ChangeContext context{built.t.index(), built.t.messages(), nullptr};
  char16_t name[] = u"top";
  ApplyChange(context, {2, ntfs::kAttributeDirectory, ntfs::kReasonRenameOldName, top, 5, name, 3});
  MemoryFiles files;
  ASSERT_TRUE(built.save(files));

  MachineIndex loaded(machine);
  bool frozen = false;
  ASSERT_TRUE(loaded.load(files, &frozen));
  EXPECT_EQ(SnapshotOf(loaded.t).dirs, Results{"10000005   C:"});
  ASSERT_EQ(loaded.t.filesInOrder().size(), 1u);
  EXPECT_EQ(loaded.t.filePath(loaded.t.filesInOrder()[0]), "C:\\kept.txt");
}

// Builds and saves the index of a machine whose drive C holds one file, a.txt.
void SaveOneFile(SimMachine& machine, MemoryFiles& files) {
  machine.addNtfsDrive('C').create(SimFile(5, u"a.txt", 1));
  MachineIndex built(machine);
  ASSERT_NO_FATAL_FAILURE(built.build());
  ASSERT_TRUE(built.save(files));
}

// A file record that keeps a small extension index in more bytes than it needs (found by the
// corruption test). Records are matched by their record words, and a removal probe is built
// with the narrowest width, so such a file could never be removed or renamed by the journal:
// the loader rejects it.
TEST(CoreDatabaseLoad, AnExtensionIndexStoredWiderThanItNeedsIsRejected) {
  SimMachine machine;
  MemoryFiles files;
  ASSERT_NO_FATAL_FAILURE(SaveOneFile(machine, files));
  std::vector<uint8_t> bytes = files.get(kPaths.core);
  const StoredRecord file = ReadCore(bytes).files.at(0);
  ASSERT_EQ(file.extension, BytesOf({0x04}));
  // The same index, 4, in two bytes: width code 2 in the record word and in the lengths.
  bytes[file.at + 3] = static_cast<uint8_t>((bytes[file.at + 3] & 0xCF) | 0x20);
  bytes[file.at + 10] = static_cast<uint8_t>((bytes[file.at + 10] & 0x0F) | 0x20);
  bytes.insert(bytes.begin() + static_cast<std::ptrdiff_t>(file.at + 11 + file.q() + 1), 0x00);
  StoreU32(bytes.data(), static_cast<uint32_t>(bytes.size()));
  files.put(kPaths.core, bytes);

  MachineIndex loaded(machine);
  bool frozen = false;
  EXPECT_FALSE(loaded.load(files, &frozen));
}

// A file record's word must be the one its fields build: one whose layout bits say otherwise is
// refused, and the file with it.
TEST(CoreDatabaseLoad, AFileRecordWordItsFieldsDoNotBuildIsRejected) {
  SimMachine machine;
  MemoryFiles files;
  ASSERT_NO_FATAL_FAILURE(SaveOneFile(machine, files));
  const std::vector<uint8_t> saved = files.get(kPaths.core);
  const StoredRecord file = ReadCore(saved).files.at(0);
  for (const uint32_t bit :
       {FileEntry::kIconSlotBit, FileEntry::kLongFormBit, FileEntry::kNonAsciiBit}) {
    std::vector<uint8_t> bytes = saved;
    StoreU32(bytes.data() + file.at, file.first ^ bit);
    files.put(kPaths.core, bytes);
    MachineIndex loaded(machine);
    bool frozen = false;
    EXPECT_FALSE(loaded.load(files, &frozen)) << std::hex << bit;
  }
}

// Each stored directory may repeat the whole name before it in eleven bytes, so a small file
// can ask for far more directory records than a RecordIndex can place (its chunk takes 16
// bits): the loader stops there instead of wrapping the positions around.
TEST(CoreDatabaseLoad, MoreDirectoriesThanRecordIndexesCanPlaceAreRejected) {
  SimMachine machine;
  SimVolume& c = machine.addNtfsDrive('C');
  c.create(SimDir(5, std::u16string(255, u'\u6587')));
  MachineIndex built(machine);
  ASSERT_NO_FATAL_FAILURE(built.build());
  MemoryFiles files;
  ASSERT_TRUE(built.save(files));
  const std::vector<uint8_t> saved = files.get(kPaths.core);
  const StoredCore stored = ReadCore(saved);
  const StoredRecord& last = stored.dirs.back();
  ASSERT_EQ(last.name.size(), 765u);

  // 775-byte records, five to a chunk: 65536 chunks and a few records more.
  const uint32_t dirs = 5 * 65536 + 10;
  const auto added = dirs - static_cast<uint32_t>(stored.dirs.size());
  std::vector<uint8_t> bytes(saved.begin(), saved.begin() + stored.h);
  bytes.resize(bytes.size() + 4ULL * dirs);  // the table: never reached
  const size_t d = bytes.size();
  bytes.insert(bytes.end(), saved.begin() + stored.d, saved.begin() + stored.f);
  uint8_t repeat[11];
  StoreU32(repeat + 4, 0);
  const uint32_t lengths = 765 | (last.lengths & 1u << 20);  // all prefix, flag kept
  repeat[8] = static_cast<uint8_t>(lengths);
  repeat[9] = static_cast<uint8_t>(lengths >> 8);
  repeat[10] = static_cast<uint8_t>(lengths >> 16);
  for (uint32_t i = 0; i < added; ++i) {
    StoreU32(repeat, last.first + 1 + i);
    bytes.insert(bytes.end(), repeat, repeat + sizeof repeat);
  }
  const size_t f = bytes.size();
  bytes.insert(bytes.end(), saved.begin() + stored.f, saved.end());
  StoreU32(bytes.data(), static_cast<uint32_t>(bytes.size()));
  StoreU32(bytes.data() + 8, static_cast<uint32_t>(d));
  StoreU32(bytes.data() + 12, static_cast<uint32_t>(f));
  StoreU32(bytes.data() + 28, dirs);
  files.put(kPaths.core, bytes);

  MachineIndex loaded(machine);
  bool frozen = false;
  EXPECT_FALSE(loaded.load(files, &frozen));
}

// --- Whole runs of the engine.

class CoreDatabaseRuns : public ::testing::Test {
 protected:
  CoreDatabaseRuns() : c_(f_.machine.addNtfsDrive('C', u"System")) {
    docs_ = c_.create(SimDir(5, u"docs"));
    for (int i = 0; i < 50; ++i)
      c_.create(SimFile(docs_, u"report" + Utf8ToUtf16(std::to_string(i)) + u".txt", 100));
  }

  std::vector<uint8_t> core() const { return f_.files.get(kPaths.core); }
  std::vector<uint8_t> extensions() const { return f_.files.get(kPaths.extensions); }
  bool statusShown(const std::string& text) const {
    const auto statuses = f_.messages.statuses();
    return std::find(statuses.begin(), statuses.end(), text) != statuses.end();
  }
  // A first run that builds the index and saves it at close.
  void firstRun() {
    f_.startRun();
    f_.closeRun();
    ASSERT_FALSE(core().empty());
    f_.messages.clear();
  }

  testing::EngineFixture f_;
  SimVolume& c_;
  uint64_t docs_;
};

TEST(CoreDatabaseRun, AnIndexWithoutDirectoriesSavesSeventyBytesThatNoRunAccepts) {
  testing::EngineFixture empty;
  empty.machine.addDrive('C', ntfs::kDriveFixed, u"FAT32");
  empty.startRun();
  empty.closeRun();
  const std::vector<uint8_t> bytes = empty.files.get(kPaths.core);
  ASSERT_EQ(bytes.size(), 70u);
  const StoredCore stored = ReadCore(bytes);
  EXPECT_EQ(stored.size, 70u);
  EXPECT_EQ(stored.h, 70u);
  EXPECT_EQ(stored.d, 70u);
  EXPECT_EQ(stored.f, 70u);
  EXPECT_EQ(stored.dirCount, 0u);

  empty.messages.clear();
  empty.startRun();
  const auto statuses = empty.messages.statuses();
  EXPECT_NE(std::find(statuses.begin(), statuses.end(), "正在构建文件目录数据库，请稍候..."),
            statuses.end());
  EXPECT_EQ(std::find(statuses.begin(), statuses.end(), "正在更新数据库..."), statuses.end());
  EXPECT_TRUE(empty.messages.messages().empty());
  EXPECT_TRUE(empty.messages.questions().empty());
}

// A change that makes a saved database out of date.
struct Staleness {
  const char* name;
  void (*before)(SimMachine&);  // before the first run
  void (*after)(SimMachine&);   // between the runs
};

void Nothing(SimMachine&) {}
void AddDataDrive(SimMachine& m) {
  SimVolume& d = m.addNtfsDrive('D', u"Data");
  d.create(SimFile(d.create(SimDir(5, u"music")), u"song.mp3", 1));
}
void RemoveDataDrive(SimMachine& m) {
  m.removeDrive('D');
}
void RecreateJournal(SimMachine& m) {
  SimVolume& c = m.volume('C');
  const uint64_t id = c.journal().id;
  ASSERT_TRUE(c.beginJournalDeletion());
  c.finishJournalDeletion();
  ASSERT_TRUE(c.createJournal(32ULL << 20, 8ULL << 20));
  ASSERT_NE(c.journal().id, id);
}
void DiscardRecords(SimMachine& m) {
  SimVolume& c = m.volume('C');
  const int64_t saved = c.journal().nextUsn;
  for (int i = 0; i < 20; ++i)
    c.create(SimFile(5, u"churn" + Utf8ToUtf16(std::to_string(i)) + u".tmp", 1));
  ASSERT_TRUE(c.createJournal(64, 64));  // a smaller maximum drops the oldest records
  ASSERT_GT(c.journal().firstUsn, saved);
}

const Staleness kStaleness[] = {
    {"VolumeAdded", Nothing, AddDataDrive},
    {"VolumeRemoved", AddDataDrive, RemoveDataDrive},
    {"JournalRecreated", Nothing, RecreateJournal},
    {"RecordsDiscarded", Nothing, DiscardRecords},
};

const char kPromptText[] =
    "当前数据库存储时间： 2026年12月7日9时。已经过期！\r\n您是否需要更新？\r\n\r\n"
    "提醒：如果选择是，需要您耐心等待...^_^\r\n"
    "      如果选择否，本次软件将不会监视文件系统的改变！此时，您仍然\r\n"
    "      可以搜索到以前保存的文件！";

class OutOfDate : public CoreDatabaseRuns, public ::testing::WithParamInterface<Staleness> {
 protected:
  // The first run, the change that makes its database stale, and a file made afterwards that
  // only a rebuild or a catch-up would find.
  void prepare() {
    ASSERT_NO_FATAL_FAILURE(GetParam().before(f_.machine));
    ASSERT_NO_FATAL_FAILURE(firstRun());
    ASSERT_NO_FATAL_FAILURE(GetParam().after(f_.machine));
    c_.create(SimFile(docs_, u"later.txt", 1));
  }
  void expectPrompt() {
    const auto questions = f_.messages.questions();
    ASSERT_EQ(questions.size(), 1u);
    EXPECT_EQ(questions[0].caption, "友情更新提醒");
    // The hour of the save in UTC: the clock's local time is 17:30.
    EXPECT_EQ(questions[0].text, kPromptText);
    EXPECT_EQ(questions[0].icon, MessageIcon::kInformation);
  }
};

TEST_P(OutOfDate, YesRebuildsTheIndex) {
  ASSERT_NO_FATAL_FAILURE(prepare());
  f_.messages.queueAnswer(true);
  Engine& engine = f_.startRun();
  expectPrompt();
  EXPECT_TRUE(statusShown("正在扫描(C)盘，请稍候..."));
  EXPECT_FALSE(engine.lifecycle().frozen());
  EXPECT_TRUE(engine.lifecycle().monitoring());
  EXPECT_EQ(f_.search("later"), Results{"F C:\\docs\\later.txt"});
  const std::vector<uint8_t> stale = core();
  f_.closeRun();
  EXPECT_NE(core(), stale);

  f_.messages.clear();
  f_.startRun();
  EXPECT_TRUE(f_.messages.questions().empty());
  EXPECT_TRUE(statusShown("正在更新数据库..."));
}

TEST_P(OutOfDate, NoKeepsTheSavedIndexFrozenAndSavesNothing) {
  ASSERT_NO_FATAL_FAILURE(prepare());
  const std::vector<uint8_t> savedCore = core();
  const std::vector<uint8_t> savedExtensions = extensions();
  const int replaces = f_.files.replaceCount();
  for (int run = 0; run < 2; ++run) {
    f_.messages.clear();
    f_.messages.queueAnswer(false);
    Engine& engine = f_.startRun();
    expectPrompt();
    EXPECT_TRUE(engine.lifecycle().frozen());
    EXPECT_FALSE(engine.lifecycle().monitoring());
    EXPECT_FALSE(statusShown("正在更新数据库..."));
    EXPECT_FALSE(statusShown("正在扫描(C)盘，请稍候..."));
    EXPECT_TRUE(engine.ui().searchEnabled);
    EXPECT_EQ(f_.search("report7"), Results{"F C:\\docs\\report7.txt"});
    EXPECT_EQ(f_.search("later"), Results{});
    f_.closeRun();
    EXPECT_EQ(core(), savedCore);
    EXPECT_EQ(extensions(), savedExtensions);
    EXPECT_EQ(f_.files.replaceCount(), replaces);
  }
}

INSTANTIATE_TEST_SUITE_P(EveryCause, OutOfDate, ::testing::ValuesIn(kStaleness),
                         [](const auto& info) { return std::string(info.param.name); });

TEST_F(CoreDatabaseRuns, AMissingFileIsBuiltSilently) {
  f_.startRun();
  EXPECT_TRUE(statusShown("正在加载数据库..."));
  EXPECT_TRUE(statusShown("正在扫描(C)盘，请稍候..."));
  EXPECT_TRUE(f_.messages.messages().empty());
  EXPECT_TRUE(f_.messages.questions().empty());
}

TEST_F(CoreDatabaseRuns, AFileBelowTheSmallestHeaderOrOfUnknownSize) {
  f_.files.put(kPaths.core, std::vector<uint8_t>(69, 0));
  f_.startRun();
  EXPECT_EQ(f_.messages.errors(), Results{"获取文件大小失败:0"});
  EXPECT_TRUE(statusShown("正在扫描(C)盘，请稍候..."));
  EXPECT_EQ(f_.search("report7"), Results{"F C:\\docs\\report7.txt"});
  f_.closeRun();

  f_.messages.clear();
  f_.files.failSize(kPaths.core, 5);
  f_.startRun();
  EXPECT_EQ(f_.messages.errors(), Results{"获取文件大小失败:5"});
  EXPECT_TRUE(statusShown("正在扫描(C)盘，请稍候..."));
}

TEST_F(CoreDatabaseRuns, AShortReadIsReportedAndTheIndexBuilt) {
  ASSERT_NO_FATAL_FAILURE(firstRun());
  f_.files.failReadAfter(kPaths.core, 100);
  f_.startRun();
  EXPECT_EQ(f_.messages.errors(), Results{"读文件失败:30"});
  EXPECT_TRUE(statusShown("正在扫描(C)盘，请稍候..."));
  EXPECT_EQ(f_.search("report7"), Results{"F C:\\docs\\report7.txt"});
}

TEST_F(CoreDatabaseRuns, AMissingExtensionDatabaseRebuildsFromAnEmptyIndex) {
  ASSERT_NO_FATAL_FAILURE(firstRun());
  c_.create(SimFile(docs_, u"added.txt", 1));
  ASSERT_TRUE(f_.files.remove(kPaths.extensions));
  Engine& engine = f_.startRun();
  EXPECT_EQ(f_.messages.errors(), Results{"读扩展名文件失败:2"});
  EXPECT_TRUE(statusShown("正在扫描(C)盘，请稍候..."));
  // Nothing of the loaded records is left beside the built ones.
  EXPECT_EQ(engine.index().dirs.itemCount(), 2u);
  EXPECT_EQ(engine.index().files.itemCount(), 51u);
  EXPECT_EQ(f_.search("report7"), Results{"F C:\\docs\\report7.txt"});
  EXPECT_EQ(f_.search("added"), Results{"F C:\\docs\\added.txt"});
  EXPECT_TRUE(engine.index().extensions.seeded());
}

TEST_F(CoreDatabaseRuns, AFailedSaveShowsAnEmptyBoxAndKeepsTheOldFile) {
  ASSERT_NO_FATAL_FAILURE(firstRun());
  const std::vector<uint8_t> old = core();
  ASSERT_GT(old.size(), extensions().size() + 100);
  c_.create(SimFile(docs_, u"between.txt", 1));
  f_.startRun();
  f_.files.failWriteAfter(extensions().size() + 50);  // the extension file still fits
  f_.closeRun();
  const auto messages = f_.messages.messages();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0].caption, "");
  EXPECT_EQ(messages[0].text, "");
  EXPECT_EQ(messages[0].icon, MessageIcon::kNone);
  EXPECT_EQ(core(), old);

  // The old file still loads, and the catch-up replays what came after it.
  f_.files.clearFailures();
  f_.messages.clear();
  f_.startRun();
  EXPECT_TRUE(statusShown("正在更新数据库..."));
  EXPECT_EQ(f_.search("between"), Results{"F C:\\docs\\between.txt"});
}

// --- The pair of files.

// Two saves of one machine, a file apart, whose extension tables give the same texts other
// indexes: the newer core file beside the older extension file loads with the wrong extensions.
struct PairMachine {
  PairMachine() : c(machine.addNtfsDrive('C')) {
    docs = c.create(SimDir(5, u"docs"));
    for (const char16_t* name : {u"a.zip", u"b.mp3", u"c.txt", u"d"})
      c.create(SimFile(docs, name, 1));
  }
  SimMachine machine;
  SimVolume& c;
  uint64_t docs = 0;
};

class DatabasePair : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NO_FATAL_FAILURE(old_.build(2));
    ASSERT_TRUE(old_.save(files_));
    oldPair_ = pairOnDisk();
    m_.c.create(SimFile(m_.docs, u"e.zip", 1));
    fresh_ = std::make_unique<MachineIndex>(machine_);
    ASSERT_NO_FATAL_FAILURE(fresh_->build());
    MemoryFiles other;
    ASSERT_TRUE(fresh_->save(other));
    newPair_ = {other.get(kPaths.core), other.get(kPaths.extensions)};
    fresh_->t.messages().clear();
  }

  using Pair = std::pair<std::vector<uint8_t>, std::vector<uint8_t>>;
  Pair pairOnDisk() const { return {files_.get(kPaths.core), files_.get(kPaths.extensions)}; }

  // What a start-up loads from the files: the old index, the new one, or nothing (a rebuild).
  enum class Loaded { kOld, kNew, kNothing, kMismatched };
  Loaded load(MemoryFiles& files) {
    MachineIndex loaded(machine_);
    bool frozen = false;
    if (!loaded.load(files, &frozen)) return Loaded::kNothing;
    const Snapshot s = SnapshotOf(loaded.t);
    const auto same = [&s](MachineIndex& built) {
      const Snapshot b = SnapshotOf(built.t);
      return s.dirs == b.dirs && s.files == b.files;
    };
    return same(old_) ? Loaded::kOld : same(*fresh_) ? Loaded::kNew : Loaded::kMismatched;
  }

  PairMachine m_;
  SimMachine& machine_ = m_.machine;
  MachineIndex old_{machine_};
  std::unique_ptr<MachineIndex> fresh_;
  MemoryFiles files_;
  Pair oldPair_;
  Pair newPair_;
};

// What the pair save keeps from happening, and how these tests tell each pair.
TEST_F(DatabasePair, TheNewCoreBesideTheOldExtensionsLoadsMismatched) {
  MemoryFiles files;
  files.put(kPaths.core, newPair_.first);
  files.put(kPaths.extensions, oldPair_.second);
  EXPECT_EQ(load(files), Loaded::kMismatched);
  files.put(kPaths.extensions, newPair_.second);
  EXPECT_EQ(load(files), Loaded::kNew);
  EXPECT_EQ(load(files_), Loaded::kOld);
}

// A step of the save that fails, what the user is told ("" for the empty box), and what a start-up
// then loads.
struct FailedStep {
  const char* name;
  void (*fail)(MemoryFiles&);
  const char* told;
  bool overAnOldPair;
  bool oldPairStays;  // otherwise no core file is left, and a start-up rebuilds
};

const std::string kNewCore = kPaths.core + ".new";
const std::string kNewExtensions = kPaths.extensions + ".new";
const std::string kOldCore = kPaths.core + ".old";
const std::string kOldExtensions = kPaths.extensions + ".old";
constexpr uint32_t kDenied = 5;  // ERROR_ACCESS_DENIED

const FailedStep kFailedSteps[] = {
    {"WritingTheCore", [](MemoryFiles& f) { f.failWrite(kNewCore, 112); }, "", true, true},
    {"ADiskThatFillsUp", [](MemoryFiles& f) { f.failWriteAfter(100); }, "", true, true},
    {"WritingTheExtensions", [](MemoryFiles& f) { f.failWrite(kNewExtensions, 112); },
     "写入扩展名文件失败:112", true, true},
    {"TheExtensionsOfAFirstSave", [](MemoryFiles& f) { f.failWrite(kNewExtensions, 112); },
     "写入扩展名文件失败:112", false, true},
    {"MovingTheOldCoreAside", [](MemoryFiles& f) { f.failMove(kPaths.core, kDenied); }, "", true,
     true},
    {"MovingTheOldExtensionsAside", [](MemoryFiles& f) { f.failMove(kPaths.extensions, kDenied); },
     "写入扩展名文件失败:5", true, true},
    {"PlacingTheExtensions", [](MemoryFiles& f) { f.failMove(kNewExtensions, kDenied); },
     "写入扩展名文件失败:5", true, true},
    {"PlacingTheExtensionsOfAFirstSave",
     [](MemoryFiles& f) { f.failMove(kNewExtensions, kDenied); }, "写入扩展名文件失败:5", false,
     true},
    {"PlacingTheCore", [](MemoryFiles& f) { f.failMove(kNewCore, kDenied); }, "", true, true},
    {"PlacingTheCoreOfAFirstSave", [](MemoryFiles& f) { f.failMove(kNewCore, kDenied); }, "", false,
     true},
    {"PlacingTheCoreAndPuttingBackTheOldExtensions",
     [](MemoryFiles& f) {
       f.failMove(kNewCore, kDenied);
       f.failMove(kOldExtensions, kDenied);
     },
     "", true, false},
    {"PlacingTheCoreAndPuttingBackTheOldCore",
     [](MemoryFiles& f) {
       f.failMove(kNewCore, kDenied);
       f.failMove(kOldCore, kDenied);
     },
     "", true, false},
};

class FailedPairSave : public DatabasePair, public ::testing::WithParamInterface<FailedStep> {};

TEST_P(FailedPairSave, IsToldAndLeavesTheOldPairOrNoCore) {
  const FailedStep& step = GetParam();
  if (!step.overAnOldPair) {
    ASSERT_TRUE(files_.remove(kPaths.core));
    ASSERT_TRUE(files_.remove(kPaths.extensions));
  }
  const Pair before = pairOnDisk();
  step.fail(files_);
  EXPECT_FALSE(fresh_->save(files_));
  const auto told = fresh_->t.messages().messages();
  ASSERT_EQ(told.size(), 1u);
  EXPECT_EQ(told[0].text, step.told);
  EXPECT_EQ(told[0].caption, *step.told == '\0' ? "" : "错误");

  files_.clearFailures();
  if (step.oldPairStays) {
    EXPECT_EQ(pairOnDisk(), before);
    // No temporary file stays behind.
    std::vector<std::string> left;
    if (step.overAnOldPair) left = {kPaths.core, kPaths.extensions};
    EXPECT_EQ(files_.paths(), left);
  } else {
    EXPECT_FALSE(files_.exists(kPaths.core));
  }
  EXPECT_EQ(load(files_),
            step.overAnOldPair && step.oldPairStays ? Loaded::kOld : Loaded::kNothing);

  // The next save puts the new pair in place over whatever was left.
  EXPECT_TRUE(fresh_->save(files_));
  EXPECT_EQ(pairOnDisk(), newPair_);
  EXPECT_EQ(files_.paths(), (std::vector<std::string>{kPaths.core, kPaths.extensions}));
}

INSTANTIATE_TEST_SUITE_P(EveryStep, FailedPairSave, ::testing::ValuesIn(kFailedSteps),
                         [](const auto& info) { return std::string(info.param.name); });

// The machine stops after any number of the save's changes (every change lasting when made):
// what is left loads as the old pair or the new one, or not at all.
TEST_F(DatabasePair, ACrashAtAnyMomentLeavesNothingMismatched) {
  for (int changes = 0;; ++changes) {
    SCOPED_TRACE(changes);
    MemoryFiles files;
    files.put(kPaths.core, oldPair_.first);
    files.put(kPaths.extensions, oldPair_.second);
    files.crashAfter(changes);
    const bool saved = fresh_->save(files);
    files.clearFailures();
    const Pair left{files.get(kPaths.core), files.get(kPaths.extensions)};
    const Loaded loaded = load(files);
    if (left == oldPair_) {
      EXPECT_EQ(loaded, Loaded::kOld);
    } else if (left == newPair_) {
      EXPECT_EQ(loaded, Loaded::kNew);
    } else {
      EXPECT_TRUE(left.first.empty());
      EXPECT_EQ(loaded, Loaded::kNothing);
    }
    if (saved) {
      EXPECT_EQ(left, newPair_);
      break;
    }
    ASSERT_LT(changes, 20);
  }
}

// Every allocation of the save, in turn, is refused: the memory message, nothing kept of the
// save's memory, and the old pair.
TEST_F(DatabasePair, ASaveThatRunsOutOfMemoryWritesNothing) {
  FailingHeap heap;
  MachineIndex fresh(machine_, &heap);
  ASSERT_NO_FATAL_FAILURE(fresh.build());
  const int64_t live = heap.live();
  int64_t allowed = 0;
  for (;; ++allowed) {
    SCOPED_TRACE(allowed);
    fresh.t.messages().clear();
    heap.failAfter(allowed);
    const bool saved = fresh.save(files_);
    heap.allowAll();
    EXPECT_EQ(heap.live(), live);
    if (saved) {
      EXPECT_EQ(pairOnDisk(), newPair_);
      break;
    }
    EXPECT_EQ(fresh.t.messages().errors(), Results{"申请内存失败:8"});
    EXPECT_EQ(fresh.t.messages().messages().size(), 1u);
    EXPECT_EQ(pairOnDisk(), oldPair_);
    EXPECT_EQ(files_.paths(), (std::vector<std::string>{kPaths.core, kPaths.extensions}));
    ASSERT_LT(allowed, 50);
  }
  EXPECT_GT(allowed, 0);  // the save's buffers come from the index's heap
}

// Every allocation of the core file's load, in turn, is refused: the memory message, and a
// rejected load (the start-up then rebuilds). A file larger than the memory left is refused the
// same way.
TEST_F(DatabasePair, ALoadThatRunsOutOfMemoryIsRejected) {
  for (int64_t allowed = 0;; ++allowed) {
    SCOPED_TRACE(allowed);
    FailingHeap heap;
    MachineIndex loaded(machine_, &heap);
    CoreDatabaseContext core{loaded.t.index(), loaded.slots, files_, loaded.t.messages(),
                             kPaths.core};
    bool frozen = false;
    int64_t highestExtension = -1;
    heap.failAfter(allowed);
    const int result = LoadCoreDatabase(core, &frozen, &highestExtension);
    heap.allowAll();
    if (result == 1) {
      EXPECT_EQ(loaded.t.index().files.itemCount(), old_.t.index().files.itemCount());
      break;
    }
    EXPECT_EQ(loaded.t.messages().errors(), Results{"申请内存失败:8"});
    ASSERT_LT(allowed, 200);
  }

  for (int i = 0; i < 3000; ++i)
    m_.c.create(SimFile(m_.docs, u"many" + Utf8ToUtf16(std::to_string(i)) + u".txt", 1));
  MachineIndex large(machine_);
  ASSERT_NO_FATAL_FAILURE(large.build());
  MemoryFiles files;
  ASSERT_TRUE(large.save(files));
  FailingHeap heap;
  MachineIndex loaded(machine_, &heap);
  heap.failAbove(files.get(kPaths.core).size() - 1);
  bool frozen = false;
  EXPECT_FALSE(loaded.load(files, &frozen));
  EXPECT_EQ(loaded.t.messages().errors(), Results{"申请内存失败:8"});
}

}  // namespace
}  // namespace vessiko
