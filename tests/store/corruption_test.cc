// Saved databases damaged at random, then loaded as a start-up loads them: no load may crash
// or touch memory out of bounds (this suite runs under AddressSanitizer and UBSan), and every
// load ends either refused or with an index that holds together, which a checker of its own
// verifies before searching it.
//
// VESSIKO_CORRUPTION_ROUNDS sets the number of damaged loads (2000 by default). Round r always
// applies the same damage, so a failing round comes back with the same count.
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <map>
#include <memory>
#include <random>
#include <string>
#include <unordered_set>
#include <utility>
#include <vector>

#include "engine/lifecycle.h"
#include "index/fold_table.h"
#include "platform/fakes/memory_files.h"
#include "platform/fakes/recording_messages.h"
#include "platform/little_endian.h"
#include "platform/ntfs_layout.h"
#include "platform/sim/sim_machine.h"
#include "platform/utf.h"
#include "search/memory_scope_view.h"
#include "search/run_search.h"
#include "store/core_database.h"
#include "store/extension_database.h"
#include "tests/support/search_fixture.h"
#include "tests/support/sim_entries.h"
#include "tools/synth/synthetic_names.h"
#include "volume/enumeration.h"
#include "volume/journal_reader.h"
#include "volume/volume_discovery.h"

namespace vessiko {
namespace {

using testing::SimDir;
using testing::SimFile;
using Bytes = std::vector<uint8_t>;

const DatabasePaths kPaths = DatabasePaths::inFolder("/db", '/');

int RoundsToRun() {
  const char* text = std::getenv("VESSIKO_CORRUPTION_ROUNDS");
  return text != nullptr ? std::atoi(text) : 2000;
}

// --- The databases to damage.

// A tree of synthetic names under a volume's root.
struct Tree {
  std::vector<uint64_t> folders = {SimVolume::kRootDirectory};
  std::vector<uint64_t> files;
};

Tree FillVolume(SimVolume& volume, uint32_t entries, uint64_t seed) {
  SyntheticNames names(seed);
  std::mt19937 random(static_cast<uint32_t>(seed));
  Tree tree;
  while (tree.folders.size() + tree.files.size() < entries + 1) {
    const uint64_t parent = tree.folders[random() % tree.folders.size()];
    const bool folder = random() % 8 == 0;
    const uint64_t ref = volume.create(folder ? SimDir(parent, names.folderName())
                                              : SimFile(parent, names.fileName(), 1));
    if (ref == 0) continue;  // a name taken twice in one folder
    (folder ? tree.folders : tree.files).push_back(ref);
  }
  return tree;
}

// Three volumes, a few thousand entries: synthetic ASCII and CJK names, the longest names, and
// more than 256 extensions. The index is built, then follows changes made afterwards.
struct SavedDatabases {
  SavedDatabases() {
    SimVolume& c = machine.addNtfsDrive('C', u"System");
    SimVolume& d = machine.addNtfsDrive('D', u"Data");
    SimVolume& e = machine.addNtfsDrive('E', u"Backup");
    Tree cTree = FillVolume(c, 1800, 1);
    Tree dTree = FillVolume(d, 900, 2);
    FillVolume(e, 300, 3);
    const uint64_t kinds = c.create(SimDir(5, u"extensions"));
    for (int i = 0; i < 320; ++i) {
      char name[40];
      std::snprintf(name, sizeof name, "file%03d.k%03d", i, i);
      c.create(SimFile(kinds, Utf8ToUtf16(name), 1));
    }
    const uint64_t longest = c.create(SimDir(5, std::u16string(255, u'长')));
    c.create(SimFile(longest, std::u16string(250, u'L') + u".text", 1));
    c.create(SimFile(longest, std::u16string(250, u'文') + u".文档", 1));
    c.create(SimDir(longest, std::u16string(255, u'n')));
    c.create(SimFile(5, u"notes.", 1));
    c.create(SimFile(5, u"Makefile", 1));

    MachineSlots built(machine);
    built.index.extensions.seedBuiltins();
    EnumerateVolumes(built.index, built.slots, built.messages);

    // Changes the index follows: creations, deletions, renames and moves of files and folders.
    std::mt19937 random(9);
    SyntheticNames names(10);
    for (int i = 0; i < 300; ++i) {
      SimVolume& volume = i % 3 == 0 ? d : c;
      Tree& tree = i % 3 == 0 ? dTree : cTree;
      const uint64_t folder = tree.folders[random() % tree.folders.size()];
      const uint64_t file = tree.files[random() % tree.files.size()];
      switch (random() % 5) {
        case 0:
          volume.create(SimFile(folder, names.fileName(), 1));
          break;
        case 1:
          volume.remove(file);
          break;
        case 2:
          volume.rename(file, folder, names.fileName());
          break;
        case 3:
          // Under the root: a folder never moves below itself.
          if (folder != SimVolume::kRootDirectory) volume.rename(folder, 5, names.folderName());
          break;
        default:
          volume.remove(volume.create(SimDir(folder, names.folderName())));
      }
    }
    for (uint32_t v = 0; v < kVolumeCount; ++v) {
      if (built.slots[v].present()) {
        DrainJournal(v, built.slots[v], built.index, built.messages, nullptr, nullptr);
      }
    }
    CoreDatabaseContext context{built.index, built.slots, files, built.messages, kPaths.core};
    saved = SaveCoreDatabase(context, {2026, 12, 7, 9, 0, 0, 0});
    SaveExtensionDatabase(kPaths.extensions, built.index.extensions, files, built.messages);
    core = files.get(kPaths.core);
    extensions = files.get(kPaths.extensions);
    dirCount = built.index.dirs.itemCount();
    fileCount = built.index.files.itemCount();
  }

  // The volume slots of a start-up on the machine, and an index to go with them.
  struct MachineSlots {
    explicit MachineSlots(SimMachine& machine) : slots(heap) {
      DiscoverVolumes(machine, slots, rows, messages);
    }
    RecordingMessages messages;
    PrivateHeap heap{messages};
    VolumeSlots slots;
    DroppedVolumeRows rows;
    Index index{heap, Collation::loadCollationTable()};
  };

  SimMachine machine;
  MemoryFiles files;
  bool saved = false;
  Bytes core;
  Bytes extensions;
  uint32_t dirCount = 0;
  uint32_t fileCount = 0;
};

// --- Damage.

// Where the records of an undamaged core file and extension file begin.
struct Layout {
  uint32_t h = 0, d = 0, f = 0;
  std::vector<size_t> dirs, files;   // record offsets
  std::vector<uint32_t> positions;   // the directory index table
  std::vector<uint32_t> dirIndexes;  // each directory record's RecordIndex, in list order
  std::vector<size_t> extensions;    // record offsets in the extension file
};

// The packed 24-bit lengths field of a record.
uint32_t LengthsAt(const Bytes& bytes, size_t at) {
  return bytes[at + 8] | bytes[at + 9] << 8 | static_cast<uint32_t>(bytes[at + 10]) << 16;
}

Layout LayoutOf(const Bytes& core, const Bytes& extensions) {
  Layout l;
  l.h = LoadU32(&core[4]);
  l.d = LoadU32(&core[8]);
  l.f = LoadU32(&core[12]);
  for (size_t at = l.h; at < l.d; at += 4)
    l.positions.push_back(LoadU32(&core[at]));
  const auto q = [&core](size_t at) { return (LengthsAt(core, at) >> 10) & 0x3FF; };
  uint32_t chunk = 0;
  uint32_t offset = 0;
  for (size_t at = l.d; at < l.f; at += 11 + q(at)) {
    l.dirs.push_back(at);
    const uint32_t size = 10 + (LengthsAt(core, at) & 0x3FF) + q(at);
    if (offset + size > 4096) {
      ++chunk;
      offset = 0;
    }
    l.dirIndexes.push_back(chunk << 16 | offset);
    offset += size;
  }
  for (size_t at = l.f; at < core.size(); at += 11 + q(at) + (core[at + 10] >> 4))
    l.files.push_back(at);
  for (size_t at = 4; at < extensions.size();) {
    l.extensions.push_back(at);
    at += 8;
    while (LoadU16(&extensions[at]) != 0)
      at += 2;
    at += 2;
  }
  return l;
}

class Damager {
 public:
  Damager(uint64_t seed, const Layout& layout, Bytes core, Bytes extensions)
      : random_(seed), l_(layout), core_(std::move(core)), ext_(std::move(extensions)) {}

  // One to three kinds of damage, the file-shaping ones last since they move the records.
  void apply() {
    const int count = 1 + static_cast<int>(pick(3) == 0 ? pick(3) : 0);
    for (int i = 0; i < count; ++i) {
      switch (pick(15)) {
        case 0:
          flipBits(core_);
          break;
        case 1:
          randomRun(core_);
          break;
        case 2:
          headerField();
          break;
        case 3:
          volumeEntry();
          break;
        case 4:
          tableEntry();
          break;
        case 5:
          directoryField();
          break;
        case 6:
          fileField();
          break;
        case 7:
          swapRecords(l_.dirs, l_.f, "directory");
          break;
        case 8:
          swapRecords(l_.files, core_.size(), "file");
          break;
        case 9:
          flipBits(ext_);
          break;
        case 10:
          extensionRecord();
          break;
        case 11:
          flipInSection();
          break;
        case 12:
          extensionField();
          break;
        case 13:
          cycle();
          break;
        default:
          break;  // only a change of shape, below
      }
    }
    switch (pick(10)) {
      case 0:
        truncate(core_);
        break;
      case 1:
        extend(core_);
        break;
      case 2:
        duplicate();
        break;
      case 3:
        swapSections();
        break;
      case 4:
        truncate(ext_);
        break;
      case 5:
        extend(ext_);
        break;
      default:
        break;
    }
  }

  const Bytes& core() const { return core_; }
  const Bytes& extensions() const { return ext_; }
  const std::string& description() const { return what_; }

 private:
  uint64_t pick(uint64_t n) { return random_() % n; }
  void note(const std::string& text) { what_ += (what_.empty() ? "" : "; ") + text; }

  // A wrong value a field might hold: a neighbour of the right one, an extreme, another
  // field's value, a directory position.
  uint32_t plausible(uint32_t value) {
    switch (pick(9)) {
      case 0:
        return value + 1;
      case 1:
        return value - 1;
      case 2:
        return value + 4;
      case 3:
        return 0;
      case 4:
        return 0xFFFFFFFF;
      case 5:
        return static_cast<uint32_t>(core_.size());
      case 6:
        return l_.positions[pick(l_.positions.size())];
      case 7:
        return value ^ (1u << pick(32));
      default:
        return static_cast<uint32_t>(random_());
    }
  }
  void patch(Bytes& bytes, size_t at, uint32_t value, size_t width) {
    for (size_t i = 0; i < std::min<size_t>(width, 4) && at + i < bytes.size(); ++i)
      bytes[at + i] = static_cast<uint8_t>(value >> (8 * i));
  }
  void fixSize() { StoreU32(core_.data(), static_cast<uint32_t>(core_.size())); }

  void flipBits(Bytes& bytes) {
    if (bytes.empty()) return;
    const int n = 1 + static_cast<int>(pick(8));
    for (int i = 0; i < n; ++i)
      bytes[pick(bytes.size())] ^= static_cast<uint8_t>(1u << pick(8));
    note(std::to_string(n) + " bits flipped in the " + (&bytes == &core_ ? "core" : "extension") +
         " file");
  }
  void flipInSection() {
    const size_t starts[] = {0, l_.h, l_.d, l_.f, core_.size()};
    const size_t s = pick(4);
    if (starts[s + 1] <= starts[s]) return;
    const size_t at = starts[s] + pick(starts[s + 1] - starts[s]);
    core_[at] ^= static_cast<uint8_t>(1u << pick(8));
    note("a bit flipped at " + std::to_string(at) + " in section " + std::to_string(s));
  }
  void randomRun(Bytes& bytes) {
    const size_t at = pick(bytes.size());
    const size_t n = 1 + pick(64);
    for (size_t i = at; i < at + n && i < bytes.size(); ++i)
      bytes[i] = static_cast<uint8_t>(random_());
    note(std::to_string(n) + " random bytes at " + std::to_string(at));
  }
  void headerField() {
    const size_t fields[] = {0, 4, 8, 12, 16, 20, 24, 28, 32};
    const size_t at = fields[pick(std::size(fields))];
    patch(core_, at, plausible(LoadU32(&core_[at])), 4);
    if (at != 0 && pick(2) == 0) fixSize();
    note("header field at " + std::to_string(at) + " changed");
    if (pick(3) == 0) {  // the date and hour are kept as they are, whatever they say
      patch(core_, 36 + 2 * pick(4), static_cast<uint32_t>(random_()), 2);
      note("date changed");
    }
  }
  void volumeEntry() {
    size_t at = 44;
    std::vector<size_t> entries;
    while (at < l_.h) {
      entries.push_back(at);
      at += core_[at] == 1 ? 17 : 1;
    }
    const size_t entry = entries[pick(entries.size())];
    switch (pick(4)) {
      case 0:
        core_[entry] = static_cast<uint8_t>(pick(3));
        break;
      case 1:
        patch(core_, entry + 1, plausible(LoadU32(&core_[entry + 1])), 4);
        break;
      case 2:
        patch(core_, entry + 9, plausible(LoadU32(&core_[entry + 9])), 4);
        break;
      default:
        patch(core_, entry + 13, plausible(LoadU32(&core_[entry + 13])), 4);
        break;
    }
    note("volume entry at " + std::to_string(entry) + " changed");
  }
  void tableEntry() {
    const size_t n = l_.positions.size();
    const size_t a = l_.h + 4 * pick(n);
    const size_t b = l_.h + 4 * pick(n);
    if (pick(2) == 0) {
      for (size_t i = 0; i < 4; ++i)
        std::swap(core_[a + i], core_[b + i]);
      note("table entries swapped");
    } else {
      patch(core_, a, pick(2) == 0 ? LoadU32(&core_[b]) : plausible(LoadU32(&core_[a])), 4);
      note("table entry changed");
    }
  }
  void directoryField() {
    const size_t at = l_.dirs[pick(l_.dirs.size())];
    const uint32_t lengths = LengthsAt(core_, at);
    switch (pick(6)) {
      case 0: {  // another directory's key, or the key of a root
        const size_t other = l_.dirs[pick(l_.dirs.size())];
        patch(core_, at,
              pick(2) == 0 ? LoadU32(&core_[other]) : (LoadU32(&core_[at]) & ~0x7FFFFFFu) | 5, 4);
        break;
      }
      case 1:  // a parent elsewhere: itself, a descendant (a cycle), another volume, none
        patch(core_, at + 4, plausible(LoadU32(&core_[at + 4])), 4);
        break;
      case 2:
        patch(core_, at + 8, lengths + (pick(2) == 0 ? 1 : -1), 3);
        break;  // p
      case 3:
        patch(core_, at + 8, lengths + (pick(2) == 0 ? 1024 : -1024), 3);
        break;  // q
      case 4:
        patch(core_, at + 8, lengths ^ (1u << (20 + pick(4))), 3);
        break;  // flag bits
      default:
        patch(core_, at + 11 + pick(((lengths >> 10) & 0x3FF) + 1),
              static_cast<uint32_t>(random_()), 1);
        break;
    }
    note("directory record at " + std::to_string(at) + " changed");
  }
  void fileField() {
    const size_t at = l_.files[pick(l_.files.size())];
    const uint32_t word = LoadU32(&core_[at]);
    const uint32_t lengths = LengthsAt(core_, at);
    const size_t extensionAt = at + 11 + ((lengths >> 10) & 0x3FF);
    switch (pick(6)) {
      case 0:
        patch(core_, at, word ^ (1u << (27 + pick(5))), 4);
        break;  // a flag bit
      case 1:
        patch(core_, at + 4, plausible(LoadU32(&core_[at + 4])), 4);
        break;  // parent
      case 2:
        patch(core_, at + 8, lengths + (pick(2) == 0 ? 1 : 1024), 3);
        break;
      case 3:
        patch(core_, at + 8, (lengths & 0xFFFFF) | static_cast<uint32_t>(pick(16)) << 20, 3);
        break;
      case 4:  // an extension index the table may not have
        patch(core_, extensionAt, plausible(lengths >> 20 == 0 ? 0 : core_[extensionAt]),
              lengths >> 20);
        break;
      default:
        patch(core_, at + 11, static_cast<uint32_t>(random_()), 1);
        break;
    }
    note("file record at " + std::to_string(at) + " changed");
  }
  // A directory made the child of one of its children: a chain of parents in a circle.
  void cycle() {
    const size_t i = pick(l_.dirs.size());
    const uint32_t parent = LoadU32(&core_[l_.dirs[i] + 4]);
    const auto k = std::find(l_.dirIndexes.begin(), l_.dirIndexes.end(), parent);
    if (k == l_.dirIndexes.end()) return;  // a root
    StoreU32(&core_[l_.dirs[k - l_.dirIndexes.begin()] + 4], l_.dirIndexes[i]);
    note("directory records " + std::to_string(i) + " and " +
         std::to_string(k - l_.dirIndexes.begin()) + " each other's parent");
  }
  // Two records of a section exchanged, the bytes between them kept.
  void swapRecords(const std::vector<size_t>& records, size_t end, const char* kind) {
    if (records.size() < 2) return;
    const size_t i = pick(records.size() - 1);
    const size_t j = pick(2) == 0 ? i + 1 : i + 1 + pick(records.size() - i - 1);
    const auto endOf = [&](size_t k) { return k + 1 < records.size() ? records[k + 1] : end; };
    Bytes a(core_.begin() + records[i], core_.begin() + endOf(i));
    Bytes middle(core_.begin() + endOf(i), core_.begin() + records[j]);
    Bytes b(core_.begin() + records[j], core_.begin() + endOf(j));
    Bytes swapped = b;
    swapped.insert(swapped.end(), middle.begin(), middle.end());
    swapped.insert(swapped.end(), a.begin(), a.end());
    std::copy(swapped.begin(), swapped.end(), core_.begin() + records[i]);
    note(std::string(kind) + " records " + std::to_string(i) + " and " + std::to_string(j) +
         " swapped");
  }
  void extensionRecord() {
    const size_t n = l_.extensions.size();
    const size_t at = l_.extensions[pick(n)];
    switch (pick(3)) {
      case 0:
        patch(ext_, at, plausible(LoadU32(&ext_[at])), 4);
        break;
      case 1:
        patch(ext_, at, LoadU32(&ext_[l_.extensions[pick(n)]]), 4);
        break;
      default:
        patch(ext_, 0, plausible(LoadU32(ext_.data())), 4);
        break;
    }
    note("extension index or count changed");
  }
  void extensionField() {
    const size_t at = l_.extensions[pick(l_.extensions.size())] + 8;
    if (ext_[at] == 0 && ext_[at + 1] == 0) return;
    const uint16_t units[] = {u'A', u'Z', u'~', 0x6587, 0xFFFF, u'0'};
    patch(ext_, at, units[pick(std::size(units))], 2);
    note("extension text changed");
  }
  void truncate(Bytes& bytes) {
    const size_t size = pick(2) == 0 ? pick(bytes.size() + 1)
                                     : bytes.size() - std::min<size_t>(bytes.size(), 1 + pick(64));
    bytes.resize(size);
    if (&bytes == &core_ && size >= 4 && pick(2) == 0) fixSize();
    note("cut to " + std::to_string(size) + " bytes");
  }
  void extend(Bytes& bytes) {
    const size_t n = 1 + pick(256);
    for (size_t i = 0; i < n; ++i)
      bytes.push_back(static_cast<uint8_t>(random_()));
    if (&bytes == &core_ && pick(2) == 0) fixSize();
    note(std::to_string(n) + " bytes of garbage appended");
  }
  // A record, or a whole section, written twice, with counts and offsets that agree.
  void duplicate() {
    if (core_.size() < l_.f) return;
    switch (pick(3)) {
      case 0: {
        const size_t i = pick(l_.files.size());
        const size_t end = i + 1 < l_.files.size() ? l_.files[i + 1] : core_.size();
        const Bytes record(core_.begin() + l_.files[i], core_.begin() + end);
        core_.insert(core_.begin() + end, record.begin(), record.end());
        StoreU32(&core_[32], LoadU32(&core_[32]) + 1);
        note("file record " + std::to_string(i) + " written twice");
        break;
      }
      case 1: {
        const Bytes files(core_.begin() + l_.f, core_.end());
        core_.insert(core_.end(), files.begin(), files.end());
        StoreU32(&core_[32], LoadU32(&core_[32]) * 2);
        note("file section written twice");
        break;
      }
      default: {
        const size_t i = pick(l_.dirs.size());
        const size_t end = i + 1 < l_.dirs.size() ? l_.dirs[i + 1] : l_.f;
        const Bytes record(core_.begin() + l_.dirs[i], core_.begin() + end);
        core_.insert(core_.begin() + end, record.begin(), record.end());
        const Bytes entry(core_.begin() + l_.h, core_.begin() + l_.h + 4);
        core_.insert(core_.begin() + l_.h + 4 * pick(l_.positions.size() + 1), entry.begin(),
                     entry.end());
        StoreU32(&core_[8], l_.d + 4);
        StoreU32(&core_[12], static_cast<uint32_t>(l_.f + 4 + record.size()));
        StoreU32(&core_[28], LoadU32(&core_[28]) + 1);
        note("directory record " + std::to_string(i) + " written twice");
      }
    }
    fixSize();
  }
  // The directory records and the file records exchanged, the offsets following.
  void swapSections() {
    if (core_.size() < l_.f) return;
    Bytes out(core_.begin(), core_.begin() + l_.d);
    out.insert(out.end(), core_.begin() + l_.f, core_.end());
    out.insert(out.end(), core_.begin() + l_.d, core_.begin() + l_.f);
    StoreU32(&out[12], static_cast<uint32_t>(l_.d + (core_.size() - l_.f)));
    core_ = std::move(out);
    note("directory and file sections swapped");
  }

  std::mt19937_64 random_;
  const Layout& l_;
  Bytes core_;
  Bytes ext_;
  std::string what_;
};

// --- The checker.

bool WellFormed(const uint8_t* name, uint32_t length, bool nonAscii) {
  uint32_t units = 0;
  bool marker = false;
  for (uint32_t i = 0; i < length; ++units) {
    if (name[i] < 0x80) {
      ++i;
      continue;
    }
    if (name[i] != 0x81 || length - i < 3 || (name[i + 1] | name[i + 2] << 8) < 0x80) return false;
    marker = true;
    i += 3;
  }
  return length > 0 && units <= 255 && marker == nonAscii;
}

std::u16string UnitsOf(const uint8_t* name, uint32_t length) {
  std::u16string out;
  for (uint32_t i = 0; i < length;) {
    if (name[i] < 0x80) {
      out.push_back(name[i++]);
    } else {
      out.push_back(static_cast<char16_t>(name[i + 1] | name[i + 2] << 8));
      i += 3;
    }
  }
  return out;
}

std::vector<RecordRef> Listed(const EntryList& list) {
  std::vector<RecordRef> refs;
  list.forEach([&](RecordRef ref) { refs.push_back(ref); });
  return refs;
}

// Whether a record of `size` bytes at ref lies inside the arena's chunks.
bool InArena(const RecordArena& arena, RecordRef ref, uint32_t size) {
  const uint32_t chunk = ref >> RecordArena::kChunkShift;
  const uint32_t offset = ref & (RecordArena::kChunkBytes - 1);
  if (chunk >= arena.chunkCount() || offset + size > RecordArena::kChunkBytes) return false;
  return chunk + 1 < arena.chunkCount() || offset + size <= arena.usedInCurrentChunk();
}

// What a loaded index gives the rest of the program to rely on, checked without trusting the
// loader: records inside their arenas, well-formed names and record words, lists in collation
// order, every parent chain ending at its volume's root, a directory map of exactly the
// listed directories, extension indexes inside a consistent table. Empty when it holds.
std::string Inconsistency(const Index& index) {
  const Collation& collation = index.collation;
  const std::vector<RecordRef> dirs = Listed(index.dirs);
  const std::vector<RecordRef> files = Listed(index.files);
  if (dirs.size() != index.dirs.itemCount() || files.size() != index.files.itemCount()) {
    return "list counts";
  }
  std::unordered_set<RecordRef> dirSet;
  for (RecordRef ref : dirs) {
    if (!InArena(index.dirArena, ref, DirEntry::kHeaderBytes) ||
        !InArena(index.dirArena, ref, index.dir(ref).recordSize())) {
      return "a directory record outside its arena";
    }
    if (!dirSet.insert(ref).second) return "a directory listed twice";
    const DirEntry dir = index.dir(ref);
    if (!WellFormed(dir.name(), dir.nameLength(), dir.hasNonAscii())) return "a directory name";
  }
  for (size_t i = 1; i < dirs.size(); ++i) {
    const DirEntry a = index.dir(dirs[i - 1]);
    const DirEntry b = index.dir(dirs[i]);
    if (collation.compareNames(a.name(), a.name() + a.nameLength(), b.name(),
                               b.name() + b.nameLength()) > 0) {
      return "directories out of order at " + std::to_string(i);
    }
  }
  // Each chain up from a record ends at the root of the record's volume.
  const auto rooted = [&](RecordRef parent, uint32_t volume) {
    for (size_t steps = 0; steps <= dirs.size(); ++steps) {
      if (dirSet.count(parent) == 0) return false;
      const DirEntry dir = index.dir(parent);
      if (VolumeOf(dir.key()) != volume) return false;
      if (dir.parentLink() == kNoRecord) return dir.key() == RootKey(volume);
      parent = dir.parentLink();
    }
    return false;
  };
  for (RecordRef ref : dirs) {
    if (!rooted(ref, VolumeOf(index.dir(ref).key()))) return "a directory without a way to a root";
  }

  uint32_t live = 0;
  bool first = true;
  EntryKey previousKey = 0;
  std::string mapProblem;
  index.dirMap.forEach([&](const DirMapPair& pair) {
    if (!first && pair.key <= previousKey) {
      mapProblem = "directory map out of order";
      return false;
    }
    first = false;
    previousKey = pair.key;
    if (pair.dir == kNoRecord) return true;
    ++live;
    if (dirSet.count(pair.dir) == 0 || index.dir(pair.dir).key() != pair.key) {
      mapProblem = "a map pair naming no listed directory of its key";
      return false;
    }
    return true;
  });
  if (!mapProblem.empty()) return mapProblem;
  if (live != dirs.size()) return "the map and the list differ";
  for (RecordRef ref : dirs) {
    const DirMapPair* pair = index.dirMap.find(index.dir(ref).key());
    if (pair == nullptr || pair->dir != ref) return "a directory the map does not find";
  }

  const ExtensionTable& extensions = index.extensions;
  const uint32_t count = extensions.count();
  std::vector<bool> seen(count, false);
  const char16_t* previousText = nullptr;
  for (uint32_t position = 0; position < count; ++position) {
    const int32_t i = extensions.sortedIndexAt(position);
    if (i < 0 || static_cast<uint32_t>(i) >= count || seen[i]) return "extension sorted array";
    seen[i] = true;
    const char16_t* text = extensions.extensionText(i);
    if (text == nullptr) return "an extension without a text";
    std::u16string lowered(text);
    for (char16_t unit : lowered) {
      if (unit >= u'A' && unit <= u'Z') return "an upper-case extension";
    }
    if (previousText != nullptr && !(std::u16string_view(previousText) < lowered)) {
      return "extensions out of order";
    }
    previousText = text;
    if (extensions.lookup(lowered.data(), static_cast<uint32_t>(lowered.size())) != i) {
      return "an extension lookup";
    }
  }

  const auto extensionOf = [&](const FileEntry& file) {
    const uint8_t* name;
    const uint32_t length = file.nameBytes(&name);
    return file.extensionIndex(name + length);
  };
  for (RecordRef ref : files) {
    if (!InArena(index.fileArena, ref, 10) ||
        !InArena(index.fileArena, ref, index.file(ref).recordSize())) {
      return "a file record outside its arena";
    }
    const FileEntry file = index.file(ref);
    const uint8_t* name;
    const uint32_t length = file.nameBytes(&name);
    const int32_t extension = extensionOf(file);
    if (!WellFormed(name, length, file.hasNonAscii())) return "a file name";
    if (file.isLongForm() != (length >= 256)) return "a file's length form";
    if (file.widthCode() != FileEntry::widthCodeFor(extension)) return "an extension width";
    if (extension >= static_cast<int32_t>(count)) return "an extension index past the table";
    if (file.hasIconSlot() != (extension >= 0 && extension < 4)) return "an icon slot";
    if (file.hasIconSlot() && file.iconSlot() != -1) return "an icon slot's value";
    if (dirSet.count(file.parentLink()) == 0 ||
        !rooted(file.parentLink(), VolumeOf(index.dir(file.parentLink()).key()))) {
      return "a file without a way to a root";
    }
  }
  for (size_t i = 1; i < files.size(); ++i) {
    const FileEntry a = index.file(files[i - 1]);
    const FileEntry b = index.file(files[i]);
    const uint8_t *an, *bn;
    const uint32_t al = a.nameBytes(&an);
    const uint32_t bl = b.nameBytes(&bn);
    int order = collation.compareNames(an, an + al, bn, bn + bl);
    if (order == 0) {
      const int32_t ax = extensionOf(a);
      const int32_t bx = extensionOf(b);
      if (ax < 0 || bx < 0) {
        order = (ax < 0) - (bx < 0);
      } else {
        const std::u16string_view at = extensions.extensionText(ax);
        const std::u16string_view bt = extensions.extensionText(bx);
        order = at < bt ? -1 : at > bt ? 1 : 0;
      }
    }
    if (order > 0) return "files out of order at " + std::to_string(i);
  }
  return "";
}

bool ContainsFolded(const std::u16string& name, char16_t word) {
  for (char16_t unit : name) {
    if ((unit < 0x80 ? kFoldTable[unit] : unit) == word) return true;
  }
  return false;
}

// Searches the index as the interface does and compares the results of one-unit words with the
// entries that hold them; other queries must give listed entries in list order.
std::string SearchProblem(Index& index, PrivateHeap& heap) {
  UiState ui;
  ui.searchEnabled = true;
  RecordingMessages messages;
  MemoryScopeView view;
  testing::MapFolderResolver folders;
  ScopeList scope(view, folders, messages);
  SearchState state(heap);
  SearchContext context{index, ui, messages, messages, scope, state};
  const std::vector<RecordRef> dirs = Listed(index.dirs);
  const std::vector<RecordRef> files = Listed(index.files);
  const std::pair<std::u16string, std::u16string> queries[] = {
      {u"e", u""}, {u"文", u""}, {u"d*t", u""}, {u"?e", u"txt;dll"}, {u"Report", u""}};
  for (const auto& [name, extension] : queries) {
    ui.optionsChanged = true;
    RunSearch(context, {name, extension});
    std::vector<RecordRef> foundDirs, foundFiles;
    for (uint32_t i = 0; i < state.dirResults.count(); ++i)
      foundDirs.push_back(state.dirResults.itemAt(i));
    for (uint32_t i = 0; i < state.fileResults.count(); ++i)
      foundFiles.push_back(state.fileResults.itemAt(i));
    if (name.size() == 1) {
      const char16_t word = name[0];
      std::vector<RecordRef> wantDirs, wantFiles;
      for (RecordRef ref : dirs) {
        const DirEntry dir = index.dir(ref);
        if (ContainsFolded(UnitsOf(dir.name(), dir.nameLength()), word)) wantDirs.push_back(ref);
      }
      for (RecordRef ref : files) {
        const uint8_t* bytes;
        const uint32_t length = index.file(ref).nameBytes(&bytes);
        if (ContainsFolded(UnitsOf(bytes, length), word)) wantFiles.push_back(ref);
      }
      if (foundDirs != wantDirs || foundFiles != wantFiles) {
        return "the results of \"" + Utf16ToUtf8(name) + "\"";
      }
      continue;
    }
    // Results are listed entries in list order.
    const auto inOrder = [](const std::vector<RecordRef>& found,
                            const std::vector<RecordRef>& all) {
      size_t at = 0;
      for (RecordRef ref : found) {
        while (at < all.size() && all[at] != ref)
          ++at;
        if (at++ == all.size()) return false;
      }
      return true;
    };
    if (!inOrder(foundDirs, dirs) || !inOrder(foundFiles, files)) {
      return "the results of \"" + Utf16ToUtf8(name) + "\"";
    }
  }
  return "";
}

// --- The test.

class CorruptionTest : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { databases_ = new SavedDatabases(); }
  static void TearDownTestSuite() {
    delete databases_;
    databases_ = nullptr;
  }

  static SavedDatabases* databases_;
};

SavedDatabases* CorruptionTest::databases_ = nullptr;

struct LoadOutcome {
  bool loaded = false;
  std::string problem;
};

// One start-up's load of the two files into a fresh index, then the checker and the searches
// when it was accepted. An out-of-date file is answered No, so that it loads as a frozen index.
LoadOutcome LoadAndCheck(const Bytes& core, const Bytes& extensions, VolumeSlots& slots) {
  MemoryFiles files;
  files.put(kPaths.core, core);
  files.put(kPaths.extensions, extensions);
  RecordingMessages messages;
  messages.setDefaultAnswer(false);
  PrivateHeap heap(messages);
  Index index(heap, Collation::loadCollationTable());
  bool frozen = false;
  LoadOutcome outcome;
  outcome.loaded = LoadSavedIndex(index, slots, files, messages, kPaths, &frozen);
  if (!outcome.loaded) {
    index.reset();  // as the start-up drops a rejected load
    return outcome;
  }
  outcome.problem = Inconsistency(index);
  if (outcome.problem.empty()) outcome.problem = SearchProblem(index, heap);
  return outcome;
}

TEST_F(CorruptionTest, DamagedDatabasesAreRefusedOrLoadConsistently) {
  SavedDatabases& saved = *databases_;
  ASSERT_TRUE(saved.saved);
  ASSERT_GT(saved.dirCount + saved.fileCount, 3000u);
  SavedDatabases::MachineSlots start(saved.machine);
  const Layout layout = LayoutOf(saved.core, saved.extensions);
  ASSERT_EQ(layout.dirs.size(), LoadU32(&saved.core[28]));
  ASSERT_TRUE(std::is_permutation(layout.positions.begin(), layout.positions.end(),
                                  layout.dirIndexes.begin(), layout.dirIndexes.end()));
  ASSERT_GT(layout.extensions.size(), 300u);

  const LoadOutcome intact = LoadAndCheck(saved.core, saved.extensions, start.slots);
  ASSERT_TRUE(intact.loaded);
  ASSERT_EQ(intact.problem, "");

  // Each kind of problem is told once, with the first round that showed it.
  struct Problem {
    int count = 0;
    int round = 0;
    std::string damage;
  };
  std::map<std::string, Problem> problems;
  const int rounds = RoundsToRun();
  int accepted = 0;
  for (int round = 0; round < rounds; ++round) {
    Damager damage(static_cast<uint64_t>(round), layout, saved.core, saved.extensions);
    damage.apply();
    const LoadOutcome outcome = LoadAndCheck(damage.core(), damage.extensions(), start.slots);
    if (!outcome.loaded) continue;
    ++accepted;
    if (outcome.problem.empty()) continue;
    Problem& problem = problems[outcome.problem];
    if (problem.count++ == 0) {
      problem.round = round;
      problem.damage = damage.description();
    }
  }
  std::printf("%d damaged loads, %d accepted\n", rounds, accepted);
  for (const auto& [what, problem] : problems) {
    ADD_FAILURE() << "accepted with " << what << " (" << problem.count << " times), first in round "
                  << problem.round << ": " << problem.damage;
  }
  if (rounds >= 100) {
    EXPECT_GT(accepted, 0);  // the checker saw damaged indexes too
  }
}

}  // namespace
}  // namespace vessiko
