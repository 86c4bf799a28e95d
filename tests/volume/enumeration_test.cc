// Building the index from the master file tables of simulated volumes.
#include "volume/enumeration.h"
#include "volume/parent_links.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "platform/fakes/failing_heap.h"
#include "platform/ntfs_layout.h"
#include "platform/sim/sim_machine.h"
#include "platform/utf.h"
#include "tests/support/sim_entries.h"
#include "tests/support/test_index.h"
#include "volume/journal_reader.h"
#include "volume/volume_discovery.h"

namespace vessiko {
namespace {

class EnumerationTest : public ::testing::Test {
 protected:
  EnumerationTest() { index().extensions.seedBuiltins(); }

  Index& index() { return t_.index(); }
  uint64_t dir(SimVolume& v, uint64_t parent, const std::string& name) {
    return v.create(testing::SimDir(parent, Utf8ToUtf16(name)));
  }
  uint64_t file(SimVolume& v, uint64_t parent, const std::string& name, uint64_t size = 10) {
    return v.create(testing::SimFile(parent, Utf8ToUtf16(name), size));
  }
  void enumerate() {
    DroppedVolumeRows rows;
    DiscoverVolumes(machine_, slots_, rows, t_.messages());
    EnumerateVolumes(index(), slots_, t_.messages());
  }
  std::vector<std::string> dirPaths() {
    std::vector<std::string> out;
    for (RecordRef ref : t_.dirsInOrder())
      out.push_back(t_.pathOf(ref));
    return out;
  }
  std::vector<std::string> filePaths() {
    std::vector<std::string> out;
    for (RecordRef ref : t_.filesInOrder())
      out.push_back(t_.filePath(ref));
    return out;
  }

  testing::TestIndex t_;
  VolumeSlots slots_{t_.heap()};
  SimMachine machine_;
};

TEST_F(EnumerationTest, TwoVolumesBecomeOneLinkedSortedIndex) {
  SimVolume& c = machine_.addNtfsDrive('C', u"System");
  SimVolume& d = machine_.addNtfsDrive('D', u"Data");
  const uint64_t windows = dir(c, 5, "Windows");
  const uint64_t system32 = dir(c, windows, "System32");
  file(c, system32, "notepad.EXE");
  file(c, windows, "win.ini");
  const uint64_t docs = dir(d, 5, "文档");
  file(d, docs, "报告.docx");
  file(d, 5, "Makefile");
  enumerate();

  EXPECT_EQ(dirPaths(), (std::vector<std::string>{"C:", "D:", "C:\\Windows\\System32",
                                                  "C:\\Windows", "D:\\文档"}));
  EXPECT_EQ(filePaths(),
            (std::vector<std::string>{"D:\\Makefile", "C:\\Windows\\System32\\notepad.exe",
                                      "C:\\Windows\\win.ini", "D:\\文档\\报告.docx"}));
  EXPECT_EQ(t_.messages().statuses(),
            (std::vector<std::string>{"正在扫描(C)盘，请稍候...", "正在扫描(D)盘，请稍候...",
                                      "正在构建文件目录数据库，请稍候...",
                                      "正在排序文件夹，请稍候...", "正在排序文件，请稍候..."}));
  // The map finds both roots and every directory by key.
  ASSERT_NE(index().dirMap.find(RootKey(2)), nullptr);
  EXPECT_EQ(t_.dirName(index().dirMap.find(RootKey(3))->dir), "D:");
  EXPECT_EQ(t_.dirName(index().dirMap.find(MakeEntryKey(2, static_cast<uint32_t>(system32)))->dir),
            "System32");
}

TEST_F(EnumerationTest, RecordsKeepTheirFlagsAndExtensions) {
  SimVolume& c = machine_.addNtfsDrive('C', u"");
  dir(c, 5, "文档");
  file(c, 5, "Makefile");
  file(c, 5, "setup.EXE");
  file(c, 5, "readme.文本");
  enumerate();
  for (RecordRef ref : t_.dirsInOrder()) {
    EXPECT_EQ(index().dir(ref).hasNonAscii(), t_.dirName(ref) == "文档");
  }
  for (RecordRef ref : t_.filesInOrder()) {
    const FileEntry f = index().file(ref);
    const std::string name = t_.fileName(ref);
    if (name == "Makefile") {
      EXPECT_EQ(f.extensionIndex(), -1);
      EXPECT_FALSE(f.hasIconSlot());
    } else if (name == "setup.exe") {
      EXPECT_EQ(f.extensionIndex(), 1);
      EXPECT_TRUE(f.hasIconSlot());
      EXPECT_EQ(f.iconSlot(), -1);
    } else {
      EXPECT_EQ(name, "readme.文本");
      EXPECT_FALSE(f.hasNonAscii());  // only the extension is not ASCII
    }
  }
}

TEST_F(EnumerationTest, AVolumeWhoseFirstCallFailsGivesOnlyItsRoot) {
  SimVolume& c = machine_.addNtfsDrive('C', u"");
  file(c, 5, "lost.txt");
  machine_.faults('C').failNext(ntfs::kEnumUsnData, ntfs::kErrorInvalidFunction);
  enumerate();
  EXPECT_EQ(dirPaths(), std::vector<std::string>{"C:"});
  EXPECT_EQ(index().files.itemCount(), 0u);
}

// A directory gone from the table while entries below it are still listed (a damaged
// volume) leaves them without a way to a root. Here a child with a lower record number than
// its parent is linked to that parent before the parent turns out to be an orphan.
TEST_F(EnumerationTest, RecordsWithoutParentAreDroppedWithEverythingBelowThem) {
  SimVolume& c = machine_.addNtfsDrive('C', u"");
  const uint64_t x = dir(c, 5, "x");
  const uint64_t c1 = dir(c, 5, "c1");
  const uint64_t q = dir(c, x, "q");
  ASSERT_LT(c1 & 0xFFFFFFFF, q & 0xFFFFFFFF);
  ASSERT_TRUE(c.rename(c1, q, u"c1"));  // x\\q\\c1
  file(c, c1, "f1.txt");
  file(c, q, "f2.txt");
  file(c, 5, "z.txt");
  ASSERT_TRUE(c.remove(x));
  enumerate();

  EXPECT_EQ(dirPaths(), std::vector<std::string>{"C:"});
  EXPECT_EQ(filePaths(), std::vector<std::string>{"C:\\z.txt"});
  const DirMapPair* dropped = index().dirMap.find(MakeEntryKey(2, static_cast<uint32_t>(q)));
  EXPECT_TRUE(dropped == nullptr || dropped->dir == kNoRecord);
}

// A file written to between discovery and the reading of the table is still listed, though
// its last USN lies past the journal position discovery read.
TEST_F(EnumerationTest, FilesChangedDuringTheBuildAreListed) {
  SimVolume& c = machine_.addNtfsDrive('C', u"");
  const uint64_t log = file(c, 5, "busy.log", 10);
  DroppedVolumeRows rows;
  DiscoverVolumes(machine_, slots_, rows, t_.messages());
  ASSERT_TRUE(c.writeData(log, 5000));
  ASSERT_GT(c.lastUsn(log), slots_[2].nextUsn);
  EnumerateVolumes(index(), slots_, t_.messages());
  EXPECT_EQ(filePaths(), std::vector<std::string>{"C:\\busy.log"});
}

TEST_F(EnumerationTest, RecordNumbersBeyond27BitsAreLeftOutWithOneMessage) {
  SimVolume& c = machine_.addNtfsDrive('C', u"");
  SimEntry wideDir = testing::SimDir(5, u"wide");
  wideDir.recordNumber = 0x8000010;
  const uint64_t wide = c.create(wideDir);
  ASSERT_NE(wide, 0u);
  c.create(testing::SimFile(wide, u"inside.txt", 1));
  SimEntry alias = testing::SimFile(5, u"alias.txt", 1);
  alias.recordNumber = 0x8000005;  // cut to 27 bits it would be the root's number
  ASSERT_NE(c.create(alias), 0u);
  file(c, 5, "normal.txt");
  enumerate();
  EXPECT_EQ(filePaths(), std::vector<std::string>{"C:\\normal.txt"});
  EXPECT_EQ(dirPaths(), std::vector<std::string>{"C:"});
  const auto boxes = t_.messages().messages();
  ASSERT_EQ(boxes.size(), 1u);
  EXPECT_EQ(boxes[0].caption, "");
  EXPECT_EQ(boxes[0].text, "");
}

// A larger random tree: every file found, under the right path.
TEST_F(EnumerationTest, RandomTreeMatchesTheModel) {
  SimVolume& c = machine_.addNtfsDrive('C', u"");
  std::mt19937 random(7);
  std::vector<std::pair<uint64_t, std::string>> dirs = {{5, "C:"}};
  std::multiset<std::string> expected;
  for (int i = 0; i < 3000; ++i) {
    const auto& [parent, path] = dirs[random() % dirs.size()];
    const std::string name = "n" + std::to_string(random() % 500) + (random() % 3 ? ".txt" : "");
    if (random() % 5 == 0) {
      const uint64_t ref = dir(c, parent, name);
      if (ref != 0) dirs.emplace_back(ref, path + "\\" + name);
    } else if (file(c, parent, name) != 0) {
      expected.insert(path + "\\" + name);
    }
  }
  enumerate();
  const std::vector<std::string> paths = filePaths();
  EXPECT_EQ(std::multiset<std::string>(paths.begin(), paths.end()), expected);
  EXPECT_EQ(index().dirs.itemCount(), dirs.size());
  // The lists are in collation order.
  const auto files = t_.filesInOrder();
  const FileOrder order = index().fileOrder();
  for (size_t i = 1; i < files.size(); ++i)
    EXPECT_LE(order(files[i - 1], files[i]), 0);
}

}  // namespace
}  // namespace vessiko

namespace vessiko {
namespace {

// The two halves of a folder's rename read in two batches, each applied with a context of its
// own (a monitor that stopped between them, then the save's last pass): the new name still
// takes the folder's children, because the volume's slot keeps the folder taken out.
TEST_F(EnumerationTest, ARenameSplitOverTwoBatchesKeepsTheChildren) {
  SimVolume& c = machine_.addNtfsDrive('C', u"");
  const uint64_t docs = dir(c, 5, "docs");
  file(c, docs, "inside.txt");
  enumerate();
  // 25 creations, two records of 80 bytes each, then the rename's old name (72 bytes) fill the
  // first 4096-byte batch but for less than its new name needs.
  for (int i = 0; i < 25; ++i) {
    file(c, 5, "f0" + std::string(1, static_cast<char>('a' + i)) + "0.txt");
  }
  ASSERT_TRUE(c.rename(docs, 5, u"papers"));
  JournalReader reader(2, slots_[2]);
  uint32_t error = 0;
  ChangeContext first{index(), t_.messages()};
  ASSERT_EQ(reader.readBatch(first, nullptr, &error), JournalReader::Result::kApplied);
  EXPECT_EQ(dirPaths(), std::vector<std::string>{"C:"});
  ChangeContext second{index(), t_.messages()};
  JournalReader::Result result;
  while ((result = reader.readBatch(second, nullptr, &error)) == JournalReader::Result::kApplied) {
  }
  EXPECT_EQ(result, JournalReader::Result::kNothingNew) << error;
  SettleRenamedDirectories(second);
  EXPECT_EQ(dirPaths(), (std::vector<std::string>{"C:", "C:\\papers"}));
  EXPECT_EQ(filePaths().back(), "C:\\papers\\inside.txt");
}

// Folders read while they move can name each other as parents. Nothing is dropped while
// linking (the journal's replay may still move them), but a circle left after it never reaches
// a root and goes, with what is below it.
TEST(ParentLinks, ACircleOfFoldersIsDroppedEvenWhenNothingElseIs) {
  testing::TestIndex t;
  Index& index = t.index();
  const RecordRef root = index.dirArena.allocate(DirEntry::kRootBytes);
  DirEntry::initRoot(index.dirArena.at(root), 2);
  const EntryKey a = MakeEntryKey(2, 20);
  const EntryKey b = MakeEntryKey(2, 21);
  const EntryKey d = MakeEntryKey(2, 22);
  const RecordRef dirs[] = {root, t.makeDir(a, b, "a"), t.makeDir(b, a, "b"),
                            t.makeDir(d, RootKey(2), "d")};
  const EntryKey keys[] = {RootKey(2), a, b, d};
  for (int i = 0; i < 4; ++i)
    ASSERT_TRUE(index.dirs.append(dirs[i]) && index.dirMap.append(keys[i], dirs[i]));
  ASSERT_TRUE(index.files.append(t.makeFile(30, a, "in-a.txt")));
  ASSERT_TRUE(index.files.append(t.makeFile(31, d, "in-d.txt")));
  VolumeSlots slots(t.heap());
  LinkParents(index, slots);
  EXPECT_EQ(index.dirs.itemCount(), 4u);
  ASSERT_TRUE(DropUnrooted(index));
  EXPECT_EQ(t.dirsInOrder(), (std::vector<RecordRef>{root, dirs[3]}));
  ASSERT_EQ(index.files.itemCount(), 1u);
  EXPECT_EQ(t.filePath(t.filesInOrder()[0]), "C:\\d\\in-d.txt");
  EXPECT_EQ(index.dirMap.find(a)->dir, kNoRecord);
}

// Without memory for sorting, the build says so once and keeps every entry, unsorted: the
// caller must know, since the ordered inserts of the journal rely on the order.
TEST(EnumerationMemory, NoMemoryToSortIsToldAndKeepsEveryEntry) {
  FailingHeap system;
  testing::TestIndex t(&system);
  t.index().extensions.seedBuiltins();
  SimMachine machine;
  SimVolume& c = machine.addNtfsDrive('C');
  // Enough files that the sort's scratch array is the one allocation above the limit.
  constexpr int kFiles = 200000;
  for (int i = kFiles; i-- > 0;)
    c.createQuietly(testing::SimFile(5, Utf8ToUtf16("f" + std::to_string(i)), 1));
  VolumeSlots slots(t.heap());
  DroppedVolumeRows rows;
  DiscoverVolumes(machine, slots, rows, t.messages());
  system.failAbove(600000);
  EXPECT_EQ(EnumerateVolumes(t.index(), slots, t.messages()), 1);
  EXPECT_EQ(t.index().files.itemCount(), static_cast<uint32_t>(kFiles));
  EXPECT_EQ(t.messages().errors().size(), 1u);
}

}  // namespace
}  // namespace vessiko
