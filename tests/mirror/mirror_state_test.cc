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
// Where the first entry starts: the header, then the root path "/data".
constexpr size_t kFirstEntry = 58 + 5;

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
  EXPECT_EQ(back->node(kRootNode)->changeTime, 77u);
  EXPECT_EQ(back->entryCount(), 4u);
  EXPECT_EQ(back->find(kRootNode, "docs"), 20u);
  EXPECT_EQ(back->node(20)->changeTime, 123456789u);
  EXPECT_EQ(back->find(20, "报告.txt"), 17u);
  EXPECT_EQ(back->find(20, std::string("bad\xFF", 4)), 31u);
  EXPECT_EQ(back->node(31)->kind, NodeKind::kOther);
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

// Contents that pass the checksum but cannot be a tree.
TEST_F(MirrorStateTest, InconsistentContentsRejectTheFile) {
  // The entries in file order (children are listed last-added first): .hidden (16), docs
  // (20), then docs' children "bad\xFF" (31) and "报告.txt" (17).
  const size_t hidden = kFirstEntry;
  const size_t docs = hidden + 27 + 7;
  const size_t bad = docs + 27 + 4;
  const size_t report = bad + 27 + 4;
  EXPECT_TRUE(readsAfter([](std::vector<uint8_t>&) {}, true));
  // A parent not yet defined, and a parent that is a file.
  EXPECT_FALSE(readsAfter([&](std::vector<uint8_t>& b) { StoreU32(&b[report + 4], 99); }, true));
  EXPECT_FALSE(readsAfter([&](std::vector<uint8_t>& b) { StoreU32(&b[bad + 4], 16); }, true));
  // A record number used twice, one below the first entry's, one past what a key can name.
  EXPECT_FALSE(readsAfter([&](std::vector<uint8_t>& b) { StoreU32(&b[docs], 16); }, true));
  EXPECT_FALSE(readsAfter([&](std::vector<uint8_t>& b) { StoreU32(&b[hidden], 5); }, true));
  EXPECT_FALSE(readsAfter([&](std::vector<uint8_t>& b) { StoreU32(&b[hidden], 1u << 27); }, true));
  // An unknown kind; a name with '/', with NUL, or twice in its folder.
  EXPECT_FALSE(readsAfter([&](std::vector<uint8_t>& b) { b[hidden + 24] = 4; }, true));
  EXPECT_FALSE(readsAfter([&](std::vector<uint8_t>& b) { b[hidden + 28] = '/'; }, true));
  EXPECT_FALSE(readsAfter([&](std::vector<uint8_t>& b) { b[hidden + 28] = 0; }, true));
  EXPECT_FALSE(readsAfter(
      [&](std::vector<uint8_t>& b) {
        const std::string same("bad\xFF", 4);
        const auto name = b.begin() + static_cast<long>(report + 27);
        StoreU16(&b[report + 25], 4);
        b.erase(name, name + 10);
        b.insert(b.begin() + static_cast<long>(report + 27), same.begin(), same.end());
      },
      true));
  // A name's length reaching past the end of the entries.
  EXPECT_FALSE(
      readsAfter([&](std::vector<uint8_t>& b) { StoreU16(&b[report + 25], 0x0100); }, true));
  // More entries announced than present, or bytes after the last one.
  EXPECT_FALSE(readsAfter([](std::vector<uint8_t>& b) { StoreU32(&b[52], 5); }, true));
  EXPECT_FALSE(readsAfter([](std::vector<uint8_t>& b) { b.insert(b.end() - 4, 0); }, true));
  // Another version: the one before kept a name's length in one byte.
  EXPECT_FALSE(readsAfter([](std::vector<uint8_t>& b) { StoreU32(&b[8], 1); }, true));
  EXPECT_FALSE(readsAfter([](std::vector<uint8_t>& b) { StoreU32(&b[8], 3); }, true));
}

}  // namespace
}  // namespace vessiko
