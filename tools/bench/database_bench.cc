// Saves and loads indexes of synthetic names through the real file system (1M and 10M entries by
// default; counts on the command line), then times the catch-up of 100k changes made on a
// simulated volume while the program was closed, and one monitor pass over a burst of 100k
// creations of one name. Every result is checked before it is reported: the loaded index equals
// the saved one, and after the catch-up and the burst the index holds exactly what an
// enumeration of the changed volume finds.
//
//   build/linux-release/tools/bench/database_bench [entries...]
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <random>
#include <string>
#include <vector>

#include "engine/lifecycle.h"
#include "index/index.h"
#include "index/packed_name.h"
#include "index/record_builder.h"
#include "index/record_compaction.h"
#include "index/sort_entry_list.h"
#include "platform/fakes/recording_messages.h"
#include "platform/ntfs_layout.h"
#include "platform/sim/sim_machine.h"
#include "store/core_database.h"
#include "store/database_pair.h"
#include "store/extension_database.h"
#include "tools/bench/bench_arguments.h"
#include "tools/bench/bench_clock.h"
#include "tools/synth/synthetic_names.h"
#include "volume/enumeration.h"
#include "volume/volume_discovery.h"

namespace vessiko {
namespace {

constexpr uint32_t kVolume = 2;  // drive C
constexpr uint32_t kChanges = 100000;
constexpr uint32_t kCatchUpEntries = 1000000;

[[noreturn]] void Fail(const char* what) {
  std::fprintf(stderr, "check failed: %s\n", what);
  std::exit(1);
}

// A folder of its own under the system's temporary folder, removed at the end.
class TempFolder {
 public:
  TempFolder() {
    path_ = std::filesystem::temp_directory_path() /
            ("vessiko-database-bench-" + std::to_string(std::random_device{}()));
    std::filesystem::create_directories(path_);
  }
  ~TempFolder() { std::filesystem::remove_all(path_); }
  DatabasePaths paths() const {
    return DatabasePaths::inFolder(path_.string(),
                                   static_cast<char>(std::filesystem::path::preferred_separator));
  }

 private:
  std::filesystem::path path_;
};

struct Heaped {
  RecordingMessages messages;
  PrivateHeap heap{messages};
  Index index{heap, Collation::loadCollationTable()};
};

// One folder in ten, nested under earlier folders (recent ones likelier, as trees are copied
// and unpacked together), files spread over the folders; linked, sorted and laid out in list
// order as a build leaves the index.
uint64_t BuildSynthetic(Index& index, uint32_t entries) {
  index.extensions.seedBuiltins();
  SyntheticNames names(entries);
  std::mt19937 random(entries);
  uint8_t packed[kMaxPackedNameBytes];
  uint64_t units = 0;
  std::vector<RecordRef> folders;
  const RecordRef root = index.dirArena.allocate(DirEntry::kRootBytes);
  DirEntry::initRoot(index.dirArena.at(root), kVolume);
  if (!index.dirs.append(root) || !index.dirMap.append(RootKey(kVolume), root)) Fail("root");
  folders.push_back(root);
  const uint32_t dirs = entries / 10;
  for (uint32_t i = 1; i < dirs; ++i) {
    const size_t recent = std::min<size_t>(folders.size(), 64);
    const RecordRef parent = random() % 4 == 0 ? folders[random() % folders.size()]
                                               : folders[folders.size() - 1 - random() % recent];
    const std::u16string& name = names.nextFolderName();
    units += name.size();
    const EntryKey key = MakeEntryKey(kVolume, 16 + i);
    const RecordRef ref =
        NewDirRecord(index.dirArena, key, parent, name.data(), static_cast<uint32_t>(name.size()));
    if (ref == kNoRecord || !index.dirs.append(ref) || !index.dirMap.append(key, ref)) {
      Fail("directory allocation");
    }
    folders.push_back(ref);
  }
  for (uint32_t i = dirs; i < entries; ++i) {
    std::u16string& name = names.nextFileName();
    units += name.size();
    FileEntryParts parts =
        PackFileName(index.extensions, name.data(), static_cast<uint32_t>(name.size()),
                     ExtensionUse::kIntern, packed);
    parts.recordNumber = 16 + i;
    parts.parentLink = folders[random() % folders.size()];
    const RecordRef ref = NewFileRecord(index.fileArena, parts);
    if (ref == kNoRecord || !index.files.append(ref)) Fail("file allocation");
  }
  if (!SortDirList(index, WorkerPool::shared()) || !SortFileList(index, WorkerPool::shared())) {
    Fail("memory for sorting");
  }
  if (!CompactRecords(index)) Fail("compaction");
  return units;
}

std::vector<RecordRef> InOrder(const EntryList& list) {
  std::vector<RecordRef> refs(list.itemCount());
  list.copyTo(refs.data());
  return refs;
}

// The two indexes hold the same records in the same order, with parents of the same keys.
void CheckSame(const Index& saved, const Index& loaded) {
  const std::vector<RecordRef> a = InOrder(saved.dirs);
  const std::vector<RecordRef> b = InOrder(loaded.dirs);
  if (a.size() != b.size()) Fail("directory count after load");
  const auto parentKey = [](const Index& index, uint32_t link) {
    return link == kNoRecord ? kNoRecord : index.dir(link).key();
  };
  for (size_t i = 0; i < a.size(); ++i) {
    const DirEntry x = saved.dir(a[i]);
    const DirEntry y = loaded.dir(b[i]);
    if (x.key() != y.key() || x.nameLength() != y.nameLength() ||
        x.hasNonAscii() != y.hasNonAscii() ||
        std::memcmp(x.name(), y.name(), x.nameLength()) != 0 ||
        parentKey(saved, x.parentLink()) != parentKey(loaded, y.parentLink())) {
      Fail("directory after load");
    }
  }
  const std::vector<RecordRef> c = InOrder(saved.files);
  const std::vector<RecordRef> d = InOrder(loaded.files);
  if (c.size() != d.size()) Fail("file count after load");
  for (size_t i = 0; i < c.size(); ++i) {
    const FileEntry x = saved.file(c[i]);
    const FileEntry y = loaded.file(d[i]);
    const uint8_t* xn;
    const uint8_t* yn;
    const uint32_t xl = x.nameBytes(&xn);
    const uint32_t yl = y.nameBytes(&yn);
    if (x.recordWord() != y.recordWord() || xl != yl || std::memcmp(xn, yn, xl) != 0 ||
        x.extensionIndex(xn + xl) != y.extensionIndex(yn + yl) ||
        parentKey(saved, x.parentLink()) != parentKey(loaded, y.parentLink())) {
      Fail("file after load");
    }
  }
  if (saved.extensions.count() != loaded.extensions.count()) Fail("extension count after load");
}

void SaveAndLoad(uint32_t entries) {
  Heaped original;
  const uint64_t units = BuildSynthetic(original.index, entries);
  TempFolder folder;
  const DatabasePaths paths = folder.paths();
  VolumeSlots slots(original.heap);  // no volume: the file holds no journal positions

  Stopwatch save;
  CoreDatabaseContext context{original.index, slots, SystemFiles(), original.messages, paths.core};
  if (!SaveDatabases(context, paths.extensions, SystemClock().utcNow())) Fail("save");
  const double saveMs = save.milliseconds();
  if (!original.messages.messages().empty()) Fail("messages of the save");
  const uintmax_t coreBytes = std::filesystem::file_size(paths.core);
  const uintmax_t extensionBytes = std::filesystem::file_size(paths.extensions);

  Heaped loaded;
  VolumeSlots loadSlots(loaded.heap);
  bool frozen = false;
  Stopwatch load;
  if (!LoadSavedIndex(loaded.index, loadSlots, SystemFiles(), loaded.messages, paths, &frozen) ||
      frozen) {
    Fail("load");
  }
  const double loadMs = load.milliseconds();
  CheckSame(original.index, loaded.index);

  std::printf("%10u entries (%u folders), %.1f units a name on average\n", entries,
              original.index.dirs.itemCount(), static_cast<double>(units) / entries);
  std::printf("  save (the pair of files, flushed)         %8.1f ms\n", saveMs);
  std::printf("  load (LoadSavedIndex, files just written) %8.1f ms\n", loadMs);
  std::printf("  on disk: %.2f bytes per entry (core %llu bytes, extensions %llu bytes)\n",
              static_cast<double>(coreBytes + extensionBytes) / entries,
              static_cast<unsigned long long>(coreBytes),
              static_cast<unsigned long long>(extensionBytes));
}

// --- The catch-up.

// Notes when the catch-up begins (its status text) and ends (the start-up returns: only starting
// the monitors follows it).
class CatchUpClock : public RecordingMessages {
 public:
  void showStatus(std::string_view text) override {
    if (text == "正在更新数据库...") begin = clock.seconds();
    RecordingMessages::showStatus(text);
  }

  Stopwatch clock;
  double begin = -1;
  double end = -1;
};

// The index's entries as sortable texts: kind, key or record word, parent key, name, extension.
// The width of a file's extension index is left out of its record word: indexes depend on the
// order in which extensions were first met.
std::vector<std::string> EntriesOf(const Index& index) {
  std::vector<std::string> out;
  const auto bytes = [](uint32_t v) { return std::string(reinterpret_cast<const char*>(&v), 4); };
  for (RecordRef ref : InOrder(index.dirs)) {
    const DirEntry dir = index.dir(ref);
    const uint32_t parent =
        dir.parentLink() == kNoRecord ? kNoRecord : index.dir(dir.parentLink()).key();
    out.push_back("D" + bytes(dir.key()) + bytes(parent) +
                  std::string(reinterpret_cast<const char*>(dir.name()), dir.nameLength()));
  }
  for (RecordRef ref : InOrder(index.files)) {
    const FileEntry file = index.file(ref);
    const uint8_t* name;
    const uint32_t length = file.nameBytes(&name);
    const char16_t* extension = index.extensions.extensionText(file.extensionIndex(name + length));
    std::string text = "F" + bytes(file.recordWord() & ~(3u << FileEntry::kWidthShift)) +
                       bytes(index.dir(file.parentLink()).key()) +
                       std::string(reinterpret_cast<const char*>(name), length) + "/";
    for (; extension != nullptr && *extension != 0; ++extension)
      text += bytes(*extension);
    out.push_back(text);
  }
  std::sort(out.begin(), out.end());
  return out;
}

// One run of the program on the machine, its monitors on threads of their own or not.
struct ProgramRun {
  ProgramRun(SimMachine& machine, const DatabasePaths& paths, CatchUpClock& clock,
             bool monitorThreads)
      : heap(clock),
        index(heap, Collation::loadCollationTable()),
        slots(heap),
        lifecycle(LifecycleParts{index, slots, machine, SystemFiles(), SystemClock(), clock, rows,
                                 ui, paths, nullptr, nullptr, monitorThreads}) {}
  PrivateHeap heap;
  Index index;
  VolumeSlots slots;
  DroppedVolumeRows rows;
  UiState ui;
  Lifecycle lifecycle;
};

// One run of the program on the machine: the start-up, then a close that saves or not.
void RunOnce(SimMachine& machine, const DatabasePaths& paths, CatchUpClock& clock, bool save,
             std::vector<std::string>* entries = nullptr) {
  ProgramRun run(machine, paths, clock, true);
  run.lifecycle.initialize();
  clock.end = clock.clock.seconds();
  if (entries != nullptr) *entries = EntriesOf(run.index);
  run.lifecycle.close(save);
}

// The folders and files of a simulated volume as the changes see them.
struct Tree {
  struct Entry {
    uint64_t reference;
    uint64_t parent;
    uint32_t depth = 0;
    bool everUsed = true;  // a folder that held something is never deleted
  };
  std::vector<Entry> folders;
  std::vector<Entry> files;
};

Tree FillVolume(SimVolume& volume, uint32_t entries) {
  SyntheticNames names(42);
  std::mt19937 random(42);
  Tree tree;
  tree.folders.push_back({SimVolume::kRootDirectory, SimVolume::kRootDirectory});
  for (uint32_t i = 0; i < entries;) {
    const size_t recent = std::min<size_t>(tree.folders.size(), 64);
    const size_t at = random() % 4 == 0 ? random() % tree.folders.size()
                                        : tree.folders.size() - 1 - random() % recent;
    const Tree::Entry parent = tree.folders[at];
    const bool folder = i % 10 == 0 && parent.depth < 12;
    SimEntry entry;
    entry.parent = parent.reference;
    entry.name = folder ? names.folderName() : names.fileName();
    entry.attributes = folder ? ntfs::kAttributeDirectory : 0;
    const uint64_t reference = volume.createQuietly(entry);
    if (reference == 0) continue;  // a name taken twice in one folder
    ++i;
    (folder ? tree.folders : tree.files)
        .push_back({reference, parent.reference, parent.depth + 1, true});
  }
  return tree;
}

// A synthetic name with a serial number before its extension, so that no change meets a name
// already taken in its folder.
std::u16string Numbered(std::u16string name, uint32_t serial) {
  std::u16string number = u" #";
  for (char c : std::to_string(serial))
    number.push_back(static_cast<char16_t>(c));
  const size_t dot = name.rfind(u'.');
  return dot == std::u16string::npos ? name + number : name.insert(dot, number);
}

enum Change {
  kFileCreated,
  kFileMoved,
  kFileRenamed,
  kFileDeleted,
  kFolderCreated,
  kFolderDeleted,
  kFolderRenamed,
  kChangeKinds
};

// The changes of a working day, in about these shares: files created 36%, moved to another folder
// 18%, renamed 12%, deleted 25%; folders created 5%, deleted (empty ones) 2%, renamed 2%. Returns
// how many of each were made.
std::vector<uint32_t> MakeChanges(SimVolume& volume, Tree& tree, uint32_t count) {
  SyntheticNames names(7);
  std::mt19937 random(7);
  std::vector<uint32_t> made(kChangeKinds, 0);
  uint32_t serial = 0;
  while (serial < count) {
    const uint32_t roll = random() % 100;
    const size_t folderAt = random() % tree.folders.size();
    const Tree::Entry folder = tree.folders[folderAt];
    const size_t fileAt = tree.files.empty() ? 0 : random() % tree.files.size();
    Change kind;
    bool done = false;
    if (roll < 36) {
      kind = kFileCreated;
      const uint64_t file = volume.create({folder.reference, Numbered(names.fileName(), ++serial)});
      if ((done = file != 0)) tree.files.push_back({file, folder.reference});
    } else if (roll < 54 && !tree.files.empty()) {
      kind = kFileMoved;
      done = volume.rename(tree.files[fileAt].reference, folder.reference,
                           Numbered(names.fileName(), ++serial));
      if (done) tree.files[fileAt].parent = folder.reference;
    } else if (roll < 66 && !tree.files.empty()) {
      kind = kFileRenamed;
      done = volume.rename(tree.files[fileAt].reference, tree.files[fileAt].parent,
                           Numbered(names.fileName(), ++serial));
    } else if (roll < 91 && !tree.files.empty()) {
      kind = kFileDeleted;
      done = volume.remove(tree.files[fileAt].reference);
      tree.files[fileAt] = tree.files.back();
      tree.files.pop_back();
      ++serial;
    } else if (roll < 96) {
      if (folder.depth >= 12) continue;  // trees a dozen levels deep at most
      kind = kFolderCreated;
      const uint64_t made = volume.create(
          {folder.reference, Numbered(names.folderName(), ++serial), ntfs::kAttributeDirectory});
      if ((done = made != 0)) {
        tree.folders.push_back({made, folder.reference, folder.depth + 1, false});
      }
    } else if (roll < 98) {
      kind = kFolderDeleted;
      size_t at = tree.folders.size();
      while (--at > 0 && tree.folders[at].everUsed) {
      }
      if (at == 0) continue;  // no empty folder yet
      done = volume.remove(tree.folders[at].reference);
      tree.folders.erase(tree.folders.begin() + static_cast<std::ptrdiff_t>(at));
      ++serial;
    } else if (folderAt != 0) {
      // Renamed where it is: a folder never moves below itself.
      kind = kFolderRenamed;
      done = volume.rename(folder.reference, folder.parent, Numbered(names.folderName(), ++serial));
    } else {
      continue;
    }
    if (!done) Fail("a change on the simulated volume");
    if (kind == kFileCreated || kind == kFileMoved || kind == kFolderCreated) {
      tree.folders[folderAt].everUsed = true;
    }
    ++made[kind];
  }
  return made;
}

void CatchUp() {
  SimMachine machine;
  SimVolumeOptions options;
  options.journalMaximumSize = 1ULL << 30;  // nothing is discarded while the program is closed
  SimVolume& volume = machine.addNtfsDrive('C', u"System", options);
  Tree tree = FillVolume(volume, kCatchUpEntries);
  TempFolder folder;
  const DatabasePaths paths = folder.paths();

  CatchUpClock first;
  RunOnce(machine, paths, first, true);  // builds and saves
  const std::vector<uint32_t> made = MakeChanges(volume, tree, kChanges);
  CatchUpClock second;
  std::vector<std::string> caughtUp;
  RunOnce(machine, paths, second, false, &caughtUp);
  if (second.begin < 0 || second.end < second.begin) Fail("no catch-up");
  if (!second.errors().empty()) Fail("messages of the catch-up");

  // What an enumeration of the changed volume finds.
  CatchUpClock rebuilt;
  std::filesystem::remove(paths.core);
  std::vector<std::string> enumerated;
  RunOnce(machine, paths, rebuilt, false, &enumerated);
  if (caughtUp != enumerated) Fail("the caught-up index differs from the volume");

  std::printf("catch-up of %u changes on a simulated volume of %u entries\n", kChanges,
              kCatchUpEntries);
  std::printf(
      "  files: %u created, %u moved, %u renamed, %u deleted; folders: %u created, "
      "%u deleted, %u renamed\n",
      made[kFileCreated], made[kFileMoved], made[kFileRenamed], made[kFileDeleted],
      made[kFolderCreated], made[kFolderDeleted], made[kFolderRenamed]);
  std::printf("  replay (the start-up's catch-up)          %8.1f ms\n",
              (second.end - second.begin) * 1000);
}

// A burst of creations of one common name (index.js in every folder, as a package manager
// unpacks) that a running monitor applies in one pass.
void Burst() {
  SimMachine machine;
  SimVolumeOptions options;
  options.journalMaximumSize = 1ULL << 30;
  SimVolume& volume = machine.addNtfsDrive('C', u"System", options);
  Tree tree = FillVolume(volume, kCatchUpEntries);
  // A folder for every index.js.
  for (uint32_t i = 0; tree.folders.size() <= kChanges; ++i) {
    const uint64_t made = volume.createQuietly(
        {tree.folders[i].reference, u"node_modules", ntfs::kAttributeDirectory});
    tree.folders.push_back({made, tree.folders[i].reference});
  }
  TempFolder folder;
  CatchUpClock clock;
  ProgramRun run(machine, folder.paths(), clock, false);
  run.lifecycle.initialize();
  uint32_t made = 0;
  for (size_t i = 0; made < kChanges; ++i) {
    if (i == tree.folders.size()) Fail("too few folders for the burst");
    if (volume.create({tree.folders[i].reference, u"index.js"}) != 0) ++made;
  }
  Stopwatch pass;
  run.lifecycle.pollMonitors();
  const double passMs = pass.milliseconds();
  std::vector<std::string> applied = EntriesOf(run.index);
  run.lifecycle.close(false);
  CatchUpClock rebuilt;
  std::vector<std::string> enumerated;
  RunOnce(machine, folder.paths(), rebuilt, false, &enumerated);
  if (applied != enumerated) Fail("the index after the burst differs from the volume");
  std::printf("burst of %u creations of index.js on a simulated volume of %u entries\n", made,
              kCatchUpEntries);
  std::printf("  one monitor pass                          %8.1f ms\n", passMs);
}

}  // namespace
}  // namespace vessiko

int main(int argc, char** argv) {
  for (uint32_t n : vessiko::EntryCounts(argc, argv))
    vessiko::SaveAndLoad(n);
  vessiko::CatchUp();
  vessiko::Burst();
  return 0;
}
