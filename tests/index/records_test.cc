// The record layouts of directories and files, byte for byte, and the name split.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "index/dir_entry.h"
#include "index/file_entry.h"
#include "index/file_name_split.h"
#include "index/packed_name.h"

namespace vessiko {
namespace {

TEST(DirEntryLayout, RootOfDriveC) {
  uint8_t bytes[DirEntry::kRootBytes];
  DirEntry::initRoot(bytes, 2);
  const DirEntry root(bytes);
  EXPECT_EQ(root.key(), (2u << 27) | 5u);
  EXPECT_EQ(root.parentLink(), kNoRecord);
  EXPECT_FALSE(root.hasNonAscii());
  EXPECT_EQ(root.recordSize(), 12u);
  EXPECT_EQ(std::string(reinterpret_cast<const char*>(root.name()), root.nameLength()), "C:");
}

TEST(DirEntryLayout, ChineseNameSetsTheFlagInTheLengthField) {
  const std::u16string name = u"文档";
  uint8_t packed[6];
  const uint32_t length = encodePackedName(packed, name.data(), 2);
  ASSERT_EQ(length, 6u);
  std::vector<uint8_t> bytes(DirEntry::sizeFor(length));
  DirEntry::build(bytes.data(), MakeEntryKey(3, 1234), MakeEntryKey(3, 5), packed, length, true);
  EXPECT_EQ(bytes.size(), 16u);
  EXPECT_EQ(LoadU16(&bytes[8]), 0x8006);
  const DirEntry dir(bytes.data());
  EXPECT_TRUE(dir.hasNonAscii());
  EXPECT_EQ(dir.key(), MakeEntryKey(3, 1234));
  EXPECT_EQ(dir.parentLink(), MakeEntryKey(3, 5));
}

std::vector<uint8_t> BuildFile(const std::string& base, int32_t extension, uint32_t record = 77) {
  FileEntryParts parts;
  parts.recordNumber = record;
  parts.parentLink = 0x12345678;
  parts.name = reinterpret_cast<const uint8_t*>(base.data());
  parts.nameLength = static_cast<uint32_t>(base.size());
  parts.extension = extension;
  std::vector<uint8_t> bytes(FileEntry::sizeFor(parts.nameLength, extension), 0xAA);
  FileEntry::build(bytes.data(), parts);
  return bytes;
}

TEST(FileEntryLayout, SmallExtensionIndexTakesOneByte) {
  auto bytes = BuildFile("a", 12);
  ASSERT_EQ(bytes.size(), 11u);  // 4 + 4 + 1 + 1 + 1
  const FileEntry file(bytes.data());
  EXPECT_EQ(file.widthCode(), 1u);
  EXPECT_FALSE(file.hasIconSlot());
  EXPECT_EQ(file.extensionIndex(), 12);
  EXPECT_EQ(file.recordNumber(), 77u);
  EXPECT_EQ(file.parentLink(), 0x12345678u);
  EXPECT_EQ(file.recordSize(), 11u);
}

TEST(FileEntryLayout, BuiltinExtensionCarriesAnUnfetchedIconSlot) {
  auto bytes = BuildFile("x", 1);
  ASSERT_EQ(bytes.size(), 15u);
  EXPECT_EQ(std::vector<uint8_t>(bytes.end() - 4, bytes.end()),
            (std::vector<uint8_t>{0xFF, 0xFF, 0xFF, 0xFF}));
  FileEntry file(bytes.data());
  EXPECT_TRUE(file.hasIconSlot());
  EXPECT_EQ(file.iconSlot(), -1);
  file.setIconSlot(42);
  EXPECT_EQ(file.iconSlot(), 42);
  EXPECT_EQ(file.extensionIndex(), 1);  // the slot lies after the index, untouched by it
}

TEST(FileEntryLayout, LongLengthFormStartsAt256PackedBytes) {
  const std::string short255(255, 'n');
  auto shortBytes = BuildFile(short255, -1);
  EXPECT_EQ(shortBytes.size(), 255u + 9);
  EXPECT_FALSE(FileEntry(shortBytes.data()).isLongForm());

  const std::string long256(256, 'n');
  auto longBytes = BuildFile(long256, 5);
  EXPECT_EQ(longBytes.size(), 256u + 9 + 1 + 1);
  const FileEntry file(longBytes.data());
  EXPECT_TRUE(file.isLongForm());
  const uint8_t* name;
  EXPECT_EQ(file.nameBytes(&name), 256u);
  EXPECT_EQ(name, longBytes.data() + 10);
  EXPECT_EQ(file.extensionIndex(), 5);
  EXPECT_EQ(file.recordSize(), longBytes.size());
}

TEST(FileEntryLayout, ExtensionIndexWidths) {
  auto none = BuildFile("Makefile", -1);
  EXPECT_EQ(FileEntry(none.data()).widthCode(), 0u);
  EXPECT_EQ(FileEntry(none.data()).extensionIndex(), -1);
  EXPECT_FALSE(FileEntry(none.data()).hasIconSlot());

  auto wide16 = BuildFile("a", 256);
  EXPECT_EQ(FileEntry(wide16.data()).widthCode(), 2u);
  EXPECT_EQ(FileEntry(wide16.data()).extensionIndex(), 256);
  EXPECT_EQ(wide16.size(), 4u + 4 + 1 + 1 + 2);

  auto wide32 = BuildFile("a", 65536);
  EXPECT_EQ(FileEntry(wide32.data()).widthCode(), 3u);
  EXPECT_EQ(FileEntry(wide32.data()).extensionIndex(), 65536);
  EXPECT_EQ(wide32.size(), 4u + 4 + 1 + 1 + 4);
}

TEST(FileEntryLayout, RecordWordHoldsTheFlags) {
  FileEntryParts parts;
  parts.recordNumber = 0x7FFFFFF;
  parts.nameLength = 300;
  parts.nonAscii = true;
  parts.extension = 3;
  EXPECT_EQ(FileEntry::recordWordFor(parts),
            0x7FFFFFFu | 0x08000000u | 1u << 28 | 0x40000000u | 0x80000000u);
}

struct SplitCase {
  std::u16string name;
  std::u16string base;
  bool hasExtension;
  std::u16string extension;
};

TEST(FileNameSplit, DotsAndSpaces) {
  const SplitCase cases[] = {
      {u"report.PDF", u"report", true, u"PDF"},
      {u".bashrc", u".bashrc", false, u""},
      {u"readme", u"readme", false, u""},
      {u"a.tar gz", u"a.tar gz", false, u""},
      {u"notes.", u"notes", true, u""},
      {u"archive.tar.gz", u"archive.tar", true, u"gz"},
      {u"a b.txt", u"a b", true, u"txt"},
      {u"a b", u"a b", false, u""},
      {u"..", u".", true, u""},
  };
  for (const auto& c : cases) {
    const NameSplit split = SplitFileName(c.name.data(), static_cast<uint32_t>(c.name.size()));
    EXPECT_EQ(c.name.substr(0, split.baseLength), c.base);
    EXPECT_EQ(split.hasExtension, c.hasExtension);
    if (c.hasExtension) {
      EXPECT_EQ(c.name.substr(split.extensionStart, split.extensionLength), c.extension);
    }
  }
}

}  // namespace
}  // namespace vessiko
