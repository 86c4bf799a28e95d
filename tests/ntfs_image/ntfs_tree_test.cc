// The NTFS readers over a volume another implementation filled as real volumes are filled:
// ntfs-3g, mounted through FUSE, writes a generated tree with deep folders, long and non-ASCII
// names, hard links, data in the record and in clusters, a file table grown in pieces between
// other clusters until it continues in an extension record, and files whose names lie only in
// extension records behind an attribute list in the record or in clusters of its own. The index
// built from the image must be that tree, and each record must give what the mount said of its
// file. Then damaged copies of the image must be refused or read within their bounds.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "index/entry_key.h"
#include "ntfs_image/boot_sector.h"
#include "ntfs_image/image_volume.h"
#include "ntfs_image/update_sequence.h"
#include "ntfs_model/metafiles.h"
#include "platform/little_endian.h"
#include "platform/ntfs_layout.h"
#include "platform/utf.h"
#include "tests/ntfs_image/made_volume.h"
#include "tests/support/test_index.h"
#include "volume/enumeration.h"
#include "volume/file_record_reader.h"
#include "volume/file_record_view.h"
#include "volume/mapping_pairs.h"
#include "volume/volume_discovery.h"

namespace vessiko {
namespace {

namespace at = ntfs::attribute;
namespace fr = ntfs::file_record;
using testing::EnumerateAll;
using testing::ImageDrive;
using testing::MadeVolume;
using testing::MemoryImage;
using testing::Ntfs3gMount;

// What the mount said of one record's file or folder after its last change.
struct Observed {
  bool directory = false;
  uint64_t size = 0;
  uint64_t madeCreation = 0;  // before the times were set
  uint64_t creation = 0;
  uint64_t lastAccess = 0;
  uint64_t recordChange = 0;
  uint32_t attributes = 0;
};

// One name of the tree: its record, its folder's record, the name.
struct Named {
  uint64_t record = 0;
  uint64_t parent = 0;
  std::u16string name;
};

struct WrittenTree {
  std::string skip;     // why the tree could not be written on this machine
  std::string failure;  // the first call that failed while writing it
  std::vector<uint8_t> image;
  std::map<std::string, Named> paths;  // as the index forms them: "D:\\folder\\name"
  std::map<uint64_t, Observed> records;
  // When the writing began and when the times were set (FILETIME).
  uint64_t writingBegan = 0;
  uint64_t timesSet = 0;
};

uint64_t FileTimeNow() {
  timespec now;
  clock_gettime(CLOCK_REALTIME, &now);
  return static_cast<uint64_t>(now.tv_sec) * 10000000 + static_cast<uint64_t>(now.tv_nsec) / 100 +
         116444736000000000;  // 1601 to 1970
}

std::string Repeat(const std::string& text, size_t times) {
  std::string out;
  for (size_t i = 0; i < times; ++i)
    out += text;
  return out;
}

// Writes a generated tree through the mount and keeps the paths it made ('/'-separated, relative
// to the root, UTF-8). The first call that fails is kept in *failure; what follows it may fail
// too and is not told.
class TreeWriter {
 public:
  TreeWriter(std::string root, uint32_t seed, std::string* failure)
      : root_(std::move(root)), random_(seed), failure_(*failure) {
    content_.resize(64 << 10);
    for (char& c : content_)
      c = static_cast<char>(random_());
  }

  // A chain of folders 34 deep, then more under folders picked at random.
  void makeFolders() {
    std::string path;
    for (int depth = 0; depth < 34; ++depth) {
      path = join(path, name(40));
      makeFolder(path);
    }
    for (int i = 0; i < 80; ++i)
      makeFolder(join(pickFolder(), name(40)));
  }

  // `count` files with one name each, of sizes up to `largest`: resident in the record or not.
  void makeFiles(int count, size_t largest) {
    for (int i = 0; i < count; ++i) {
      const std::string path = join(pickFolder(), name(255));
      size_t size = 0;
      switch (random_() % 8) {
        case 0:
          break;
        case 1:
        case 2:
        case 3:
        case 4:
          size = random_() % 600;
          break;
        default:
          size = 600 + random_() % largest;
      }
      write(path, size);
      singles_.push_back(path);
    }
  }

  // Some files get a few more names in other folders. Then files with so many 255-unit names
  // that one fills an extension record: their attribute list stays in the record (8 names),
  // needs clusters of its own (40), or more than one cluster (200). Half then lose their first
  // name, the one the base record holds, so that their names lie only in extension records.
  void makeLinks() {
    for (int i = 0; i < 40; ++i) {
      const std::string file = takeSingle();
      for (uint32_t more = 1 + random_() % 4; more > 0; --more)
        link(file, join(pickFolder(), name(255)));
    }
    for (const int names : {8, 40, 200}) {
      for (const bool keepFirst : {true, false}) {
        const std::string first = join(pickFolder(), name(40));
        write(first, names == 8 ? 300 : 9000);
        for (int i = 0; i < names; ++i) {
          const std::string id = std::to_string(made_++);
          link(first, join(pickFolder(), std::string(255 - id.size(), 'L') + id));
        }
        if (!keepFirst) remove(first);
      }
    }
  }

  // Fills the volume with two files written a cluster at a time in turn, then deletes the
  // second: the free space is left in one-cluster holes, where the file table's later growth
  // lands in pieces among other files' clusters. The first file keeps its thousands of runs.
  void fragment(uint32_t clusterBytes) {
    const std::string kept = join(pickFolder(), "fragmented " + std::to_string(made_++));
    const std::string spacer = "spacer";
    const int a = open(full(kept).c_str(), O_WRONLY | O_CREAT, 0644);
    const int b = open(full(spacer).c_str(), O_WRONLY | O_CREAT, 0644);
    int rounds = 0;
    while (a >= 0 && b >= 0 && ::write(a, content_.data(), clusterBytes) == clusterBytes &&
           ::write(b, content_.data(), clusterBytes) == clusterBytes) {
      ++rounds;
    }
    check(rounds > 1000, "filling the volume with " + kept);
    if (a >= 0) close(a);
    if (b >= 0) close(b);
    check(unlink(full(spacer).c_str()) == 0, "unlink " + spacer);
    files_.insert(kept);
  }

  // Some files made hidden, system or read-only, then moved: a record's $FILE_NAME takes the
  // attributes when the name is made, not when they change.
  void flagAndMove(int count) {
    constexpr uint32_t kFlags[] = {ntfs::kAttributeHidden, ntfs::kAttributeReadOnly,
                                   ntfs::kAttributeSystem,
                                   ntfs::kAttributeHidden | ntfs::kAttributeSystem};
    for (int i = 0; i < count; ++i) {
      const std::string from = takeSingle();
      const std::string to = join(pickFolder(), name(255));
      struct stat s;
      if (!check(lstat(full(from).c_str(), &s) == 0, "stat " + from)) continue;
      // ntfs-3g takes an empty system file for a FIFO, as Interix stored them.
      const size_t kinds = s.st_size == 0 ? 2 : std::size(kFlags);
      const uint32_t flags = ntfs::kAttributeArchive | kFlags[random_() % kinds];
      uint8_t value[4];
      StoreU32(value, flags);
      check(setxattr(full(from).c_str(), "system.ntfs_attrib", value, 4, 0) == 0,
            "set the attributes of " + from);
      check(rename(full(from).c_str(), full(to).c_str()) == 0, "move " + from);
      files_.erase(from);
      files_.insert(to);
      singles_.push_back(to);
    }
  }

  // Every record's creation, modification and access times, set last, through
  // system.ntfs_times: ntfs-3g writes them into $STANDARD_INFORMATION and into every $FILE_NAME
  // of the record alike, and makes the record change time now in both.
  void setTimes() {
    constexpr uint64_t kYear2000 = 125911584000000000;  // FILETIME
    constexpr uint64_t kTwentyYears = 20ull * 365 * 24 * 3600 * 10000000;
    std::set<ino_t> done;
    std::vector<std::string> all = folders_;
    all.insert(all.end(), files_.begin(), files_.end());
    for (const std::string& path : all) {
      struct stat s;
      if (!check(lstat(full(path).c_str(), &s) == 0, "stat " + path)) continue;
      if (!done.insert(s.st_ino).second) continue;
      uint8_t creation[8];
      check(getxattr(full(path).c_str(), "system.ntfs_crtime", creation, 8) == 8,
            "read the creation time of " + path);
      madeCreation_[s.st_ino] = LoadU64(creation);
      uint8_t times[24];
      for (int i = 0; i < 3; ++i)
        StoreU64(times + 8 * i, kYear2000 + (uint64_t{random_()} << 20 | random_()) % kTwentyYears);
      check(setxattr(full(path).c_str(), "system.ntfs_times", times, sizeof times, 0) == 0,
            "set the times of " + path);
    }
  }

  // What the mount says of every folder and name, without listing a folder (that would move
  // its access time on).
  void observe(WrittenTree* tree) {
    for (const std::string& path : folders_)
      observeOne(path, tree);
    for (const std::string& path : files_)
      observeOne(path, tree);
  }

 private:
  bool check(bool ok, const std::string& what) {
    if (!ok && failure_.empty()) failure_ = what + ": " + std::strerror(errno);
    return ok;
  }
  std::string full(const std::string& path) const {
    return path.empty() ? root_ : root_ + "/" + path;
  }
  static std::string join(const std::string& folder, const std::string& name) {
    return folder.empty() ? name : folder + "/" + name;
  }

  // A name of one of the kinds volumes hold, of at most `maxBytes` UTF-8 bytes (Linux allows 255
  // to a name: 255 units of ASCII, 85 of CJK, 63 astral characters in surrogate pairs), unique in
  // the tree by the count of names made. Extensions have no capital letters: the index lowers
  // them.
  std::string name(size_t maxBytes) {
    const std::string id = std::to_string(made_++);
    switch (random_() % 9) {
      case 0:
        return "Report " + id + ".txt";
      case 1:
        return "报告" + id + ".数据";
      case 2:
        return "Ünïcödé café " + id + ".résumé";
      case 3:
        return "😀𠀋 " + id + " 𝄞";
      case 4:
        return ".config " + id;
      case 5:
        return "Ωmega-" + id + ".tar gz";
      case 6:
        return id + std::string(maxBytes - id.size() - 4, 'n') + ".log";
      case 7:
        return id + Repeat("長", (maxBytes - id.size()) / 3);
      default:
        return id + Repeat("𝄞", (maxBytes - id.size()) / 4);
    }
  }
  const std::string& pickFolder() { return folders_[random_() % folders_.size()]; }
  // A file with one name, no longer counted as one.
  std::string takeSingle() {
    const size_t at = random_() % singles_.size();
    std::string path = singles_[at];
    singles_.erase(singles_.begin() + static_cast<ptrdiff_t>(at));
    return path;
  }

  void makeFolder(const std::string& path) {
    check(mkdir(full(path).c_str(), 0755) == 0, "mkdir " + path);
    folders_.push_back(path);
  }
  void write(const std::string& path, size_t size) {
    const int fd = open(full(path).c_str(), O_WRONLY | O_CREAT | O_EXCL, 0644);
    if (!check(fd >= 0, "create " + path)) return;
    for (size_t done = 0; done < size;) {
      const size_t piece = std::min(size - done, content_.size());
      const ssize_t wrote = ::write(fd, content_.data(), piece);
      if (!check(wrote > 0, "write " + path)) break;
      done += static_cast<size_t>(wrote);
    }
    check(close(fd) == 0, "close " + path);
    files_.insert(path);
  }
  void link(const std::string& from, const std::string& to) {
    check(::link(full(from).c_str(), full(to).c_str()) == 0, "link " + to);
    files_.insert(to);
  }
  void remove(const std::string& path) {
    check(unlink(full(path).c_str()) == 0, "unlink " + path);
    files_.erase(path);
  }

  void observeOne(const std::string& path, WrittenTree* tree) {
    struct stat s;
    struct stat parent;
    const std::string folder = path.substr(0, path.find_last_of('/') + 1);
    if (!check(lstat(full(path).c_str(), &s) == 0 && lstat(full(folder).c_str(), &parent) == 0,
               "stat " + path)) {
      return;
    }
    uint8_t times[32];
    uint8_t flags[4];
    if (!check(getxattr(full(path).c_str(), "system.ntfs_times", times, 32) == 32 &&
                   getxattr(full(path).c_str(), "system.ntfs_attrib", flags, 4) == 4,
               "read the NTFS times and attributes of " + path)) {
      return;
    }
    Observed seen;
    seen.directory = S_ISDIR(s.st_mode);
    seen.size = seen.directory ? 0 : static_cast<uint64_t>(s.st_size);
    // In the order of $STANDARD_INFORMATION: creation, modification, access, record change.
    seen.creation = LoadU64(times);
    seen.lastAccess = LoadU64(times + 16);
    seen.recordChange = LoadU64(times + 24);
    seen.attributes = LoadU32(flags);
    seen.madeCreation = madeCreation_[s.st_ino];
    tree->records[s.st_ino] = seen;
    std::string windows = "D:";
    for (const char c : path.empty() ? path : "/" + path)
      windows += c == '/' ? '\\' : c;
    tree->paths[windows] = {s.st_ino, path.empty() ? s.st_ino : parent.st_ino,
                            Utf8ToUtf16(path.substr(folder.size()))};
  }

  std::string root_;
  std::mt19937 random_;
  std::string& failure_;
  std::string content_;
  int made_ = 0;                          // names made, one of their parts
  std::vector<std::string> folders_{""};  // the root first
  std::set<std::string> files_;           // every name of every file
  std::vector<std::string> singles_;      // files with one name, to be given more or moved
  std::map<ino_t, uint64_t> madeCreation_;
};

// A volume of 64 MiB in 4 KiB clusters and 1 KiB records, filled through an ntfs-3g mount by
// the generator above; made once for the tests that read it.
const WrittenTree& Tree() {
  static const std::unique_ptr<WrittenTree> tree = [] {
    auto made = std::make_unique<WrittenTree>();
    if (!testing::HaveMkntfs()) {
      made->failure = "mkntfs (Debian's ntfs-3g) is needed; scripts/setup installs it";
      return made;
    }
    constexpr uint32_t kClusterBytes = 4096;
    MadeVolume volume(64u << 20, "-c " + std::to_string(kClusterBytes));
    const std::string point = volume.folder() + "/mount";
    mkdir(point.c_str(), 0755);
    Ntfs3gMount mount(volume.path(), point, volume.folder() + "/ntfs-3g.log");
    if (!mount.failure().empty()) {
      made->skip = mount.failure();
      return made;
    }
    TreeWriter writer(point, 20240607, &made->failure);
    made->writingBegan = FileTimeNow();
    writer.makeFolders();
    writer.makeFiles(700, 40000);
    writer.makeLinks();
    writer.fragment(kClusterBytes);
    writer.makeFiles(3300, 6000);
    writer.flagAndMove(60);
    made->timesSet = FileTimeNow();
    writer.setTimes();
    writer.observe(made.get());
    if (!mount.unmount() && made->failure.empty())
      made->failure = "ntfs-3g did not unmount cleanly";
    volume.reload();
    made->image = std::move(volume.bytes_);
    return made;
  }();
  return *tree;
}

// What the image holds that the tree was written to make.
struct Shape {
  size_t tableRuns = 0;             // runs of the file table's $DATA in its own record
  bool tableContinues = false;      // the table's record has an attribute list
  int listed[2] = {};               // files with an attribute list in the record [0] or not [1]
  int nameless[2] = {};             // ... whose base record holds no $FILE_NAME
  int longLists = 0;                // lists longer than a cluster
  std::set<uint64_t> namesOutside;  // those files
};

Shape ShapeOf(const NtfsImageVolume& volume) {
  Shape shape;
  std::vector<uint8_t> record;
  for (uint64_t n = 0; n < volume.recordCount(); ++n) {
    if (!volume.readRecord(n, &record)) continue;
    const FileRecordView view(record.data(), static_cast<uint32_t>(record.size()));
    if (!view.inUse() || LoadU64(record.data() + fr::kBaseRecord) != 0) continue;
    const uint32_t list = view.find(view.firstAttribute(), at::kTypeAttributeList);
    if (n == 0) {
      shape.tableContinues = list != 0;
      const uint32_t data = view.find(view.firstAttribute(), at::kTypeData);
      const AttributeView a = data != 0 ? view.attributeAt(data) : AttributeView{};
      const uint32_t pairs = a.length > at::kNonResidentHeaderSize && a.nonResident
                                 ? LoadU16(a.bytes + at::kMappingPairsOffset)
                                 : 0;
      std::vector<ClusterRun> runs;
      if (pairs != 0 && pairs < a.length) {
        DecodeMappingPairs({a.bytes + pairs, a.length - pairs}, 0, volume.geometry().totalClusters,
                           &runs);
      }
      shape.tableRuns = runs.size();
    }
    if (n < ntfs::kFirstUserRecord || list == 0) continue;
    const AttributeView listed = view.attributeAt(list);
    const int outside = listed.nonResident ? 1 : 0;
    ++shape.listed[outside];
    uint64_t listBytes = 0;
    if (DataAttributeSize(listed, &listBytes) && listBytes > volume.geometry().bytesPerCluster) {
      ++shape.longLists;
    }
    if (view.find(view.firstAttribute(), at::kTypeFileName) == 0) {
      ++shape.nameless[outside];
      shape.namesOutside.insert(n);
    }
  }
  return shape;
}

// The attributes a record's $FILE_NAME holds for what the mount reports: a folder's have the
// index flag where the mount shows the directory flag.
uint32_t NameAttributes(const Observed& seen) {
  if (!seen.directory) return seen.attributes;
  return (seen.attributes & ~ntfs::kAttributeDirectory) | ntfs::kAttributeFileNameIndexPresent;
}

// How many paths of `from` `to` lacks or has with another record, and the first few.
std::string Missing(const std::map<std::string, uint64_t>& from,
                    const std::map<std::string, uint64_t>& to) {
  std::string first;
  int count = 0;
  for (const auto& [path, record] : from) {
    const auto other = to.find(path);
    if (other != to.end() && other->second == record) continue;
    if (++count <= 5) first += "\n  " + path + " " + std::to_string(record);
  }
  return count == 0 ? "" : std::to_string(count) + ", the first:" + first;
}

TEST(NtfsTree, TheIndexAndTheRecordsAreTheTreeNtfs3gWrote) {
  const WrittenTree& tree = Tree();
  if (!tree.skip.empty()) GTEST_SKIP() << tree.skip;
  ASSERT_EQ(tree.failure, "");
  std::string error;
  const std::unique_ptr<NtfsImageVolume> volume =
      NtfsImageVolume::Open(std::make_shared<MemoryImage>(tree.image), &error);
  ASSERT_NE(volume, nullptr) << error;
  const Shape shape = ShapeOf(*volume);
  EXPECT_GT(shape.tableRuns, 1u);
  EXPECT_TRUE(shape.tableContinues);
  for (const int outside : {0, 1}) {
    SCOPED_TRACE(outside == 0 ? "attribute list in the record" : "attribute list in clusters");
    EXPECT_GT(shape.nameless[outside], 0);
    EXPECT_GT(shape.listed[outside], shape.nameless[outside]);
  }
  EXPECT_GT(shape.longLists, 0);

  // The build: every folder and every name of every file, each under its own folder.
  testing::TestIndex t;
  t.index().extensions.seedBuiltins();
  VolumeSlots slots(t.heap());
  ImageDrive drive(tree.image);
  DroppedVolumeRows rows;
  DiscoverVolumes(drive, slots, rows, t.messages());
  ASSERT_TRUE(slots[3].present());
  ASSERT_EQ(EnumerateVolumes(t.index(), slots, t.messages()), 0);
  std::map<std::string, uint64_t> indexed;
  for (const RecordRef dir : t.dirsInOrder())
    indexed[t.pathOf(dir)] = RecordNumberOf(t.index().dir(dir).key());
  for (const RecordRef file : t.filesInOrder())
    indexed[t.filePath(file)] = t.index().file(file).recordNumber();
  EXPECT_EQ(indexed.size(), t.index().dirs.itemCount() + t.index().files.itemCount());
  std::map<std::string, uint64_t> written;
  for (const auto& [path, named] : tree.paths)
    written[path] = named.record;
  EXPECT_EQ(Missing(indexed, written), "");
  EXPECT_EQ(Missing(written, indexed), "");

  // Each record's values as the mount told them, and each file's names found in its records.
  // The times come from the first $FILE_NAME. ntfs-3g writes the times it is given into every
  // $FILE_NAME of the base record, but those it changes in extension records are lost (it marks
  // only the base record dirty): there the name keeps the times it was made with, its creation
  // as it was then and the others from while the tree was written.
  const auto whileWritten = [&](uint64_t time) {
    return time >= tree.writingBegan && time <= tree.timesSet;
  };
  std::vector<std::string> wrong;
  for (const auto& [record, seen] : tree.records) {
    const uint32_t wanted = seen.directory ? kAllFileValues & ~kSize : kAllFileValues;
    const FileValues values = ReadFileRecord(slots, 3, static_cast<uint32_t>(record), wanted);
    const bool times =
        shape.namesOutside.count(record) == 0
            ? values.creation == seen.creation && values.lastAccess == seen.lastAccess &&
                  values.recordChange == seen.recordChange
            : values.creation == seen.madeCreation && whileWritten(values.lastAccess) &&
                  whileWritten(values.recordChange);
    // mkntfs gives the root's $FILE_NAME hidden and system, its $STANDARD_INFORMATION archive too.
    const bool attributes =
        record == ntfs::kRootDirectoryRecord || values.attributes == NameAttributes(seen);
    if (values.delivered != wanted || !times || values.size != seen.size || !attributes) {
      wrong.push_back("the values of record " + std::to_string(record));
    }
  }
  for (const auto& [path, named] : tree.paths) {
    if (tree.records.at(named.record).directory) continue;
    if (FileHasName(slots[3], t.heap(), named.record, named.parent, named.name.data(),
                    static_cast<uint32_t>(named.name.size())) != NamePresence::kPresent) {
      wrong.push_back("the name of " + path);
    }
  }
  EXPECT_TRUE(wrong.empty()) << wrong.size() << " wrong, the first: " << wrong.front();
}

// The image with some of its bytes changed, over the bytes held once.
class DamagedImage : public ImageBytes {
 public:
  DamagedImage(const std::vector<uint8_t>& bytes, std::map<uint64_t, uint8_t> changes)
      : bytes_(bytes), changes_(std::move(changes)) {}
  bool read(uint64_t offset, void* out, uint32_t size) override {
    if (offset > bytes_.size() || size > bytes_.size() - offset) return false;
    auto* bytes = static_cast<uint8_t*>(out);
    std::memcpy(bytes, bytes_.data() + offset, size);
    for (auto c = changes_.lower_bound(offset); c != changes_.end() && c->first - offset < size;
         ++c) {
      bytes[c->first - offset] = c->second;
    }
    return true;
  }
  uint64_t size() const override { return bytes_.size(); }

 private:
  const std::vector<uint8_t>& bytes_;
  std::map<uint64_t, uint8_t> changes_;
};

// Where damage reaches what the readers parse: byte ranges of the image by kind, and the records
// to read back.
enum Kind { kBootSector, kRecords, kMappingPairs, kAttributeLists, kFileNames, kKinds };
struct Span {
  uint64_t offset;
  uint32_t length;
  uint64_t attribute = 0;  // where the attribute of mapping pairs begins
};
struct Targets {
  std::vector<Span> spans[kKinds];
  std::vector<uint32_t> records;
};

// Found by the records' magic in the bytes, not through the readers under test: the table's own
// records, the records with an attribute list and their extensions, and one in sixteen of the
// others.
Targets TargetsOf(const std::vector<uint8_t>& image) {
  Targets targets;
  BootSectorGeometry g;
  std::string error;
  if (!ParseBootSector(image, &g, &error)) return targets;
  targets.spans[kBootSector].push_back({0, ntfs::boot_sector::kSize});
  const uint32_t size = g.bytesPerFileRecord;
  for (uint64_t offset = 0; offset + size <= image.size(); offset += size) {
    std::vector<uint8_t> record(image.begin() + static_cast<ptrdiff_t>(offset),
                                image.begin() + static_cast<ptrdiff_t>(offset + size));
    if (std::memcmp(record.data(), fr::kMagicBytes, 4) != 0 || !ApplyUpdateSequence(record)) {
      continue;
    }
    const FileRecordView view(record.data(), size);
    const uint32_t n = LoadU32(record.data() + fr::kRecordNumber);
    if (!view.inUse() || !(n < ntfs::kFirstUserRecord || n % 16 == 0 ||
                           LoadU64(record.data() + fr::kBaseRecord) != 0 ||
                           view.find(view.firstAttribute(), at::kTypeAttributeList) != 0)) {
      continue;
    }
    targets.records.push_back(n);
    targets.spans[kRecords].push_back({offset, size});
    for (uint32_t at = view.firstAttribute(); !view.attributeAt(at).atEnd();
         at = view.next(at, view.attributeAt(at))) {
      const AttributeView a = view.attributeAt(at);
      const uint8_t* value;
      uint32_t length;
      if (!a.nonResident) {
        if ((a.type == at::kTypeAttributeList || a.type == at::kTypeFileName) &&
            ResidentValue(a, &value, &length) && length > 0) {
          targets.spans[a.type == at::kTypeFileName ? kFileNames : kAttributeLists].push_back(
              {offset + static_cast<uint64_t>(value - record.data()), length});
        }
        continue;
      }
      const uint32_t pairs =
          a.length > at::kNonResidentHeaderSize ? LoadU16(a.bytes + at::kMappingPairsOffset) : 0;
      if (pairs == 0 || pairs >= a.length) continue;
      targets.spans[kMappingPairs].push_back({offset + at + pairs, a.length - pairs, offset + at});
      std::vector<ClusterRun> runs;
      if (a.type != at::kTypeAttributeList ||
          !DecodeMappingPairs({a.bytes + pairs, a.length - pairs}, 0, g.totalClusters, &runs)) {
        continue;
      }
      for (const ClusterRun& run : runs) {
        if (run.lcn == ClusterRun::kSparse) continue;
        targets.spans[kAttributeLists].push_back(
            {static_cast<uint64_t>(run.lcn) * g.bytesPerCluster,
             static_cast<uint32_t>(run.length * g.bytesPerCluster)});
      }
    }
  }
  return targets;
}

// Damaged copies of the image: a few bytes changed (to random values, zeros, or one bit flipped)
// in the boot sector, whole records, mapping pairs (the file table's own among them), attribute
// lists in records and in clusters, names. Each copy is refused, or opens, enumerates to an end
// and serves discovery, the record reader and now and then the whole build, reading nothing
// outside its buffers (the sanitizers watch). VESSIKO_NTFS_FUZZ_ROUNDS sets the rounds; round r
// damages the same bytes on every run.
TEST(NtfsTree, DamagedCopiesAreRefusedOrReadWithinBounds) {
  const WrittenTree& tree = Tree();
  if (!tree.skip.empty()) GTEST_SKIP() << tree.skip;
  ASSERT_EQ(tree.failure, "");
  const Targets targets = TargetsOf(tree.image);
  for (const std::vector<Span>& spans : targets.spans)
    ASSERT_FALSE(spans.empty());
  const char* setting = std::getenv("VESSIKO_NTFS_FUZZ_ROUNDS");
  const int rounds = setting != nullptr ? std::atoi(setting) : 150;
  int opened = 0;
  for (int round = 0; round < rounds; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    std::mt19937 random(static_cast<uint32_t>(round));
    std::map<uint64_t, uint8_t> changes;
    for (uint32_t hits = 1 + random() % 3; hits > 0; --hits) {
      // Weighted towards what only a rich volume has: runs and lists.
      constexpr Kind kPicks[] = {kBootSector,   kRecords,       kRecords,        kMappingPairs,
                                 kMappingPairs, kMappingPairs,  kAttributeLists, kAttributeLists,
                                 kFileNames,    kAttributeLists};
      const Kind kind = kPicks[random() % std::size(kPicks)];
      const std::vector<Span>& spans = targets.spans[kind];
      const Span span = spans[random() % spans.size()];
      if (kind == kMappingPairs && random() % 3 == 0) {
        // The runs made one hole longer than bytes can count (2^40 to 2^63 clusters), the
        // attribute grown over what follows it when its pairs have no room for that.
        constexpr uint32_t kHoleBytes = 10;
        if (span.length < kHoleBytes) {
          const uint32_t grown = LoadU32(tree.image.data() + span.attribute + 4) + 8;
          for (uint32_t i = 0; i < 4; ++i)
            changes[span.attribute + 4 + i] = static_cast<uint8_t>(grown >> 8 * i);
        }
        const uint32_t bit = 40 + random() % 24;
        for (uint32_t i = 0; i < kHoleBytes; ++i)
          changes[span.offset + i] = i == 0 ? 0x08 : 0;
        changes[span.offset + 1 + bit / 8] = static_cast<uint8_t>(1u << bit % 8);
        continue;
      }
      for (uint32_t bytes = 1 + random() % 6; bytes > 0; --bytes) {
        const uint64_t at = span.offset + random() % span.length;
        const uint8_t was = changes.count(at) != 0 ? changes[at] : tree.image[at];
        const uint32_t how = random() % 3;
        changes[at] = how == 0   ? static_cast<uint8_t>(random())
                      : how == 1 ? 0
                                 : static_cast<uint8_t>(was ^ 1u << random() % 8);
      }
    }
    const auto image = std::make_shared<DamagedImage>(tree.image, std::move(changes));
    std::string error;
    const std::unique_ptr<NtfsImageVolume> volume = NtfsImageVolume::Open(image, &error);
    if (volume == nullptr) {
      EXPECT_NE(error, "");
      continue;
    }
    ++opened;
    // To the table's end or to an error; a call that does not move on fails the test.
    bool ended;
    EnumerateAll(*volume, 0x10000, &ended);
    testing::TestIndex t;
    t.index().extensions.seedBuiltins();
    VolumeSlots slots(t.heap());
    ImageDrive drive(image);
    DroppedVolumeRows rows;
    DiscoverVolumes(drive, slots, rows, t.messages());
    if (!slots[3].present()) continue;
    for (const uint32_t record : targets.records) {
      ReadFileRecord(slots, 3, record, kAllFileValues);
      FileHasName(slots[3], t.heap(), record, ntfs::kRootDirectoryRecord, u"x", 1);
    }
    if (round % 10 == 0) EnumerateVolumes(t.index(), slots, t.messages());
  }
  EXPECT_GT(opened, rounds / 2);
}

}  // namespace
}  // namespace vessiko
