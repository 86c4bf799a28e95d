#include "mirror/mirror_state.h"

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

#include "platform/fakes/memory_files.h"
#include "platform/little_endian.h"

namespace vessiko {
namespace {

constexpr char kPath[] = "/db/mirror_C.state";

// The checksum the file ends with, so that a test can damage the contents and still pass it.
uint32_t Crc32(const uint8_t* data, size_t n) {
  uint32_t c = 0xFFFFFFFFu;
  for (size_t i = 0; i < n; ++i) {
    c ^= data[i];
    for (int k = 0; k < 8; ++k)
      c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
  }
  return c ^ 0xFFFFFFFFu;
}

// An entry as the file lays it out, written here from the layout in mirror_state.h.
struct RawEntry {
  uint64_t up;
  int64_t recordStep;
  int64_t inodeStep;
  uint64_t kind;
  std::string name;
  uint64_t changeTime = 0;           // written for a directory only
  uint64_t nameLength = UINT64_MAX;  // the name's own unless set
};

void PutVarint(std::vector<uint8_t>& out, uint64_t v) {
  for (; v >= 0x80; v >>= 7)
    out.push_back(static_cast<uint8_t>(v | 0x80));
  out.push_back(static_cast<uint8_t>(v));
}

void PutLittle(std::vector<uint8_t>& out, uint64_t v, int bytes) {
  for (int i = 0; i < bytes; ++i)
    out.push_back(static_cast<uint8_t>(v >> (8 * i)));
}

// The file for the fixture's header, with these entries, announcing `count` of them.
std::vector<uint8_t> Encode(const std::vector<RawEntry>& entries, size_t count,
                            uint32_t version = 3) {
  std::vector<uint8_t> out = {'V', 'S', 'K', 'M', 'I', 'R', 'R', 0x1A};
  PutLittle(out, version, 4);
  PutLittle(out, 0x01DA000000000042, 8);  // journal
  PutLittle(out, 4096, 8);                // next USN
  PutLittle(out, 0x803, 8);               // device
  PutLittle(out, 1000, 8);                // root inode
  PutLittle(out, 77, 8);                  // root change time
  PutLittle(out, count, 4);
  PutLittle(out, 5, 2);
  out.insert(out.end(), {'/', 'd', 'a', 't', 'a'});
  const auto zigzag = [](int64_t v) {
    return (static_cast<uint64_t>(v) << 1) ^ static_cast<uint64_t>(v >> 63);
  };
  for (const RawEntry& e : entries) {
    PutVarint(out, e.up);
    PutVarint(out, zigzag(e.recordStep));
    PutVarint(out, zigzag(e.inodeStep));
    PutVarint(out, (e.nameLength == UINT64_MAX ? e.name.size() : e.nameLength) << 2 | e.kind);
    out.insert(out.end(), e.name.begin(), e.name.end());
    if (e.kind == 2) PutLittle(out, e.changeTime, 8);
  }
  PutLittle(out, Crc32(out.data(), out.size()), 4);
  return out;
}

// The fixture's tree as the file holds it: the entries in preorder, children in record order.
std::vector<RawEntry> FixtureEntries() {
  return {{0, 16 - 5, 4, 1, ".hidden"},
          {1, 20 - 16, -3, 2, "docs", 123456789},
          {0, 17 - 20, 1, 1, "报告.txt"},
          {1, 31 - 17, 1, 3, std::string("bad\xFF", 4)}};
}

class MirrorStateTest : public ::testing::Test {
 protected:
  MirrorStateTest() : tree(1000) {
    tree.setChangeTime(kRootNode, 77);
    tree.add(20, kRootNode, "docs", NodeKind::kDirectory, 1001, 123456789);
    tree.add(17, 20, "报告.txt", NodeKind::kFile, 1002, 0);
    tree.add(31, 20, std::string("bad\xFF", 4), NodeKind::kOther, 1003, 0);
    tree.add(16, kRootNode, ".hidden", NodeKind::kFile, 1004, 0);
    header.rootPath = "/data";
    header.rootDevice = 0x803;
    header.journalId = 0x01DA000000000042;
    header.nextUsn = 4096;
    uint32_t error = 0;
    EXPECT_TRUE(WriteMirrorState(files, kPath, header, tree, &error));
    saved = files.get(kPath);
  }

  // The saved file changed by `damage`, its checksum made right again when asked.
  bool readsAfter(const std::function<void(std::vector<uint8_t>&)>& damage, bool fixChecksum) {
    std::vector<uint8_t> bytes = saved;
    damage(bytes);
    if (fixChecksum && bytes.size() >= 4) {
      StoreU32(bytes.data() + bytes.size() - 4, Crc32(bytes.data(), bytes.size() - 4));
    }
    files.put(kPath, bytes);
    MirrorStateHeader read;
    return ReadMirrorState(files, kPath, &read) != nullptr;
  }

  MemoryFiles files;
  MirrorTree tree;
  MirrorStateHeader header;
  std::vector<uint8_t> saved;
};

TEST_F(MirrorStateTest, ReadsBackWhatWasWritten) {
  MirrorStateHeader read;
  const std::unique_ptr<MirrorTree> back = ReadMirrorState(files, kPath, &read);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(read.rootPath, "/data");
  EXPECT_EQ(read.rootDevice, 0x803u);
  EXPECT_EQ(read.journalId, header.journalId);
  EXPECT_EQ(read.nextUsn, 4096);
  EXPECT_EQ(back->node(kRootNode)->inode, 1000u);
  EXPECT_EQ(back->changeTime(kRootNode), 77u);
  EXPECT_EQ(back->entryCount(), 4u);
  EXPECT_EQ(back->find(kRootNode, "docs"), 20u);
  EXPECT_EQ(back->changeTime(20), 123456789u);
  EXPECT_EQ(back->find(20, "报告.txt"), 17u);
  EXPECT_EQ(back->find(20, std::string("bad\xFF", 4)), 31u);
  EXPECT_EQ(back->node(31)->kind(), NodeKind::kOther);
  EXPECT_EQ(back->node(17)->inode, 1002u);
  EXPECT_EQ(back->find(kRootNode, ".hidden"), 16u);
}

// Names of more than 255 bytes, as file systems that count UTF-16 units allow: 90 Chinese
// characters are 270 bytes, and a name near the limit of 255 units is more than 600.
TEST_F(MirrorStateTest, NamesOfManyBytesReadBackWhole) {
  std::string chinese;
  for (int i = 0; i < 45; ++i)
    chinese += "报告";
  const std::string long1 = std::string(300, 'x') + chinese;
  MirrorTree many(1000);
  many.add(16, kRootNode, chinese, NodeKind::kDirectory, 1001, 0);
  many.add(17, 16, long1, NodeKind::kFile, 1002, 0);
  many.add(18, kRootNode, "short", NodeKind::kFile, 1003, 0);
  uint32_t error = 0;
  ASSERT_TRUE(WriteMirrorState(files, "/db/many.state", header, many, &error));
  MirrorStateHeader read;
  const std::unique_ptr<MirrorTree> back = ReadMirrorState(files, "/db/many.state", &read);
  ASSERT_NE(back, nullptr);
  EXPECT_EQ(back->entryCount(), 3u);
  EXPECT_EQ(back->find(kRootNode, chinese), 16u);
  EXPECT_EQ(back->find(16, long1), 17u);
  EXPECT_EQ(back->name(17).size(), 570u);
  EXPECT_EQ(back->find(kRootNode, "short"), 18u);
}

TEST_F(MirrorStateTest, NoFileIsNoState) {
  MirrorStateHeader read;
  EXPECT_EQ(ReadMirrorState(files, "/db/none", &read), nullptr);
}

TEST_F(MirrorStateTest, AnyChangedOrMissingByteRejectsTheFile) {
  for (size_t at = 0; at < saved.size(); ++at) {
    ASSERT_FALSE(readsAfter([at](std::vector<uint8_t>& b) { b[at] ^= 0x10; }, false)) << at;
  }
  for (size_t length = 0; length < saved.size(); ++length) {
    ASSERT_FALSE(readsAfter([length](std::vector<uint8_t>& b) { b.resize(length); }, false))
        << length;
  }
}

TEST_F(MirrorStateTest, TheFileIsLaidOutAsDescribed) {
  EXPECT_EQ(saved, Encode(FixtureEntries(), 4));
}

// Contents that pass the checksum but cannot be a tree.
TEST_F(MirrorStateTest, InconsistentContentsRejectTheFile) {
  const auto reads = [&](const std::function<void(std::vector<RawEntry>&)>& change,
                         int countChange = 0, uint32_t version = 3) {
    std::vector<RawEntry> entries = FixtureEntries();
    change(entries);
    files.put(kPath, Encode(entries, entries.size() + countChange, version));
    MirrorStateHeader read;
    return ReadMirrorState(files, kPath, &read) != nullptr;
  };
  EXPECT_TRUE(reads([](std::vector<RawEntry>&) {}));
  // A parent that is a file, and one above the root.
  EXPECT_FALSE(reads([](std::vector<RawEntry>& e) { e[1].up = 0; }));
  EXPECT_FALSE(reads([](std::vector<RawEntry>& e) { e[0].up = 1; }));
  // A record number used twice, one below the first entry's, one past what a key can name.
  EXPECT_FALSE(reads([](std::vector<RawEntry>& e) { e[2].recordStep = 0; }));
  EXPECT_FALSE(reads([](std::vector<RawEntry>& e) { e[0].recordStep = 10; }));
  EXPECT_FALSE(reads([](std::vector<RawEntry>& e) { e[0].recordStep = (1 << 27) - 5; }));
  // An unknown kind; a name that is empty, a dot, holds '/' or NUL, is too long, or is there
  // twice in its folder.
  EXPECT_FALSE(reads([](std::vector<RawEntry>& e) { e[0].kind = 0; }));
  EXPECT_FALSE(reads([](std::vector<RawEntry>& e) { e[0].name = ""; }));
  EXPECT_FALSE(reads([](std::vector<RawEntry>& e) { e[0].name = ".."; }));
  EXPECT_FALSE(reads([](std::vector<RawEntry>& e) { e[0].name = "a/b"; }));
  EXPECT_FALSE(reads([](std::vector<RawEntry>& e) { e[0].name = std::string("a\0b", 3); }));
  EXPECT_FALSE(reads([](std::vector<RawEntry>& e) { e[0].name = std::string(766, 'x'); }));
  EXPECT_TRUE(reads([](std::vector<RawEntry>& e) { e[0].name = std::string(765, 'x'); }));
  EXPECT_FALSE(reads([](std::vector<RawEntry>& e) { e[3].name = "报告.txt"; }));
  // A name's length reaching past the end of the entries.
  EXPECT_FALSE(reads([](std::vector<RawEntry>& e) { e[3].nameLength = 700; }));
  // More entries announced than present, or bytes after the last one.
  EXPECT_FALSE(reads([](std::vector<RawEntry>&) {}, 1));
  EXPECT_FALSE(reads([](std::vector<RawEntry>&) {}, -1));
  // Another version: the one before kept every field whole.
  EXPECT_FALSE(reads([](std::vector<RawEntry>&) {}, 0, 2));
  EXPECT_FALSE(reads([](std::vector<RawEntry>&) {}, 0, 4));
}

}  // namespace
}  // namespace vessiko
