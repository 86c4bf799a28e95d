#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <memory>

#include "platform/ntfs_layout.h"
#include "platform/sim/sim_volume.h"
#include "tests/platform/sim_test_readers.h"

namespace vessiko {
namespace {

using simtest::Attribute;
using simtest::Call;
using simtest::DecodedRun;
using simtest::FileRecord;
using simtest::Get16;
using simtest::Get32;
using simtest::Get64;

constexpr uint32_t kStandardInformation = 0x10;
constexpr uint32_t kAttributeList = 0x20;
constexpr uint32_t kFileName = 0x30;
constexpr uint32_t kData = 0x80;
constexpr uint32_t kIndexRoot = 0x90;
constexpr uint64_t kRootReference = 5 | 5ULL << 48;

uint64_t ClustersOf(const std::vector<DecodedRun>& runs) {
  uint64_t total = 0;
  for (const DecodedRun& r : runs)
    total += r.length;
  return total;
}

class SimFileRecordTest : public ::testing::Test {
 protected:
  void SetUp() override { volume_ = model_->open(); }

  struct Fetched {
    uint64_t reference = 0;
    uint32_t length = 0;
    FileRecord record;
  };
  Fetched fetch(uint64_t reference) {
    std::vector<uint8_t> in(8);
    simtest::Put64(in.data(), reference);
    const uint32_t recordSize = model_->options().recordSize;
    const auto reply = Call(*volume_, ntfs::kGetNtfsFileRecord, in, 12 + recordSize);
    EXPECT_TRUE(reply.ok);
    Fetched f;
    if (!reply.ok) return f;
    EXPECT_EQ(reply.bytes.size(), 12u + recordSize);
    f.reference = Get64(reply.bytes.data());
    f.length = Get32(reply.bytes.data() + 8);
    f.record = simtest::ParseFileRecord(reply.bytes.data() + 12, reply.bytes.size() - 12);
    return f;
  }
  std::vector<uint8_t> readRaw(uint64_t offset, uint32_t size) {
    simtest::RawBuffer buffer(size, 0xCD);
    uint32_t read = 0, error = 0;
    EXPECT_TRUE(volume_->readAt(offset, buffer.data(), size, &read, &error));
    EXPECT_EQ(read, size);
    return buffer.bytes();
  }
  uint64_t mftOffset(uint64_t record) {
    return model_->options().mftStartLcn * model_->options().clusterSize +
           record * model_->options().recordSize;
  }

  std::shared_ptr<SimVolume> model_ = std::make_shared<SimVolume>();
  std::unique_ptr<Volume> volume_;
};

// What every record in use must hold, whatever its content.
void ExpectWellFormed(const FileRecord& r, uint32_t recordSize) {
  EXPECT_TRUE(r.magic);
  EXPECT_EQ(r.usaOffset, 0x30);
  EXPECT_EQ(r.usaCount, recordSize / 512 + 1);
  EXPECT_EQ(r.firstAttribute, (0x30 + 2 * r.usaCount + 7) / 8 * 8);
  EXPECT_EQ(r.bytesAllocated, recordSize);
  EXPECT_TRUE(r.ended);
  EXPECT_EQ(r.nextInstance, r.attributes.size());
  uint32_t type = 0;
  for (size_t i = 0; i < r.attributes.size(); ++i) {
    const Attribute& a = r.attributes[i];
    EXPECT_EQ(a.length % 8, 0u);
    EXPECT_GE(a.type, type);  // sorted by type
    type = a.type;
    EXPECT_EQ(a.instance, i);
  }
  // The update sequence array keeps the real last bytes of every stride.
  for (uint16_t i = 1; i < r.usaCount; ++i) {
    EXPECT_EQ(Get16(&r.bytes[0x30 + 2 * i]), Get16(&r.bytes[i * 512 - 2]));
  }
}

TEST_F(SimFileRecordTest, SmallFileHasStandardInformationNameAndResidentData) {
  const FileTimes times{0x01D0000000000001, 0x01D0000000000002, 0x01D0000000000003,
                        0x01D0000000000004};
  const uint64_t file =
      model_->create({.name = u"note.txt",
                      .attributes = ntfs::kAttributeArchive | ntfs::kAttributeReadOnly,
                      .size = 300,
                      .times = times});
  const Fetched f = fetch(file);
  EXPECT_EQ(f.reference, file);
  EXPECT_EQ(f.length, 1024u);
  const FileRecord& r = f.record;
  ExpectWellFormed(r, 1024);
  EXPECT_EQ(r.firstAttribute, 0x38);
  EXPECT_EQ(r.sequence, 1);
  EXPECT_EQ(r.linkCount, 1);
  EXPECT_EQ(r.flags, 0x1);
  EXPECT_EQ(r.baseReference, 0u);
  EXPECT_EQ(r.recordNumber, 16u);
  ASSERT_EQ(r.attributes.size(), 3u);

  const Attribute& si = r.attributes[0];
  EXPECT_EQ(si.type, kStandardInformation);
  EXPECT_FALSE(si.nonResident);
  ASSERT_EQ(si.value.size(), 0x48u);
  EXPECT_EQ(Get64(&si.value[0x00]), times.creation);
  EXPECT_EQ(Get64(&si.value[0x08]), times.modification);
  EXPECT_EQ(Get64(&si.value[0x10]), times.recordChange);
  EXPECT_EQ(Get64(&si.value[0x18]), times.lastAccess);
  EXPECT_EQ(Get32(&si.value[0x20]), ntfs::kAttributeArchive | ntfs::kAttributeReadOnly);
  EXPECT_EQ(static_cast<int64_t>(Get64(&si.value[0x40])), model_->lastUsn(file));

  const Attribute& fn = r.attributes[1];
  EXPECT_EQ(fn.type, kFileName);
  EXPECT_EQ(fn.residentFlags, 1);  // indexed
  ASSERT_EQ(fn.value.size(), 0x42u + 16);
  const auto name = simtest::FileNameOf(fn);
  EXPECT_EQ(name.parent, kRootReference);
  EXPECT_EQ(name.creation, times.creation);
  EXPECT_EQ(name.modification, times.modification);
  EXPECT_EQ(name.recordChange, times.recordChange);
  EXPECT_EQ(name.lastAccess, times.lastAccess);
  EXPECT_EQ(name.allocatedSize, 304u);
  EXPECT_EQ(name.dataSize, 300u);
  EXPECT_EQ(name.flags, ntfs::kAttributeArchive | ntfs::kAttributeReadOnly);
  EXPECT_EQ(name.nameSpace, 1);
  EXPECT_EQ(name.name, u"note.txt");

  const Attribute& data = r.attributes[2];
  EXPECT_EQ(data.type, kData);
  EXPECT_FALSE(data.nonResident);
  EXPECT_TRUE(data.name.empty());
  EXPECT_EQ(data.value.size(), 300u);
  EXPECT_EQ(r.bytesUsed, data.offset + data.length + 8);
}

TEST_F(SimFileRecordTest, DirectoryHasAnEmptyFileNameIndexRootAndNoData) {
  const uint64_t dir = model_->createQuietly(
      {.name = u"Folder", .attributes = ntfs::kAttributeDirectory | ntfs::kAttributeSystem});
  const FileRecord r = fetch(dir).record;
  ExpectWellFormed(r, 1024);
  EXPECT_EQ(r.flags, 0x3);
  ASSERT_EQ(r.attributes.size(), 3u);
  // The directory bit lives in the record flags and in $FILE_NAME's index-present bit only.
  EXPECT_EQ(Get32(&r.attributes[0].value[0x20]), ntfs::kAttributeSystem);
  const auto name = simtest::FileNameOf(r.attributes[1]);
  EXPECT_EQ(name.flags, ntfs::kAttributeSystem | 0x10000000u);
  EXPECT_EQ(name.dataSize, 0u);
  EXPECT_EQ(name.allocatedSize, 0u);
  const Attribute& root = r.attributes[2];
  EXPECT_EQ(root.type, kIndexRoot);
  EXPECT_FALSE(root.nonResident);
  EXPECT_EQ(root.name, u"$I30");
  ASSERT_EQ(root.value.size(), 0x30u);
  const uint8_t* v = root.value.data();
  EXPECT_EQ(Get32(v + 0), kFileName);
  EXPECT_EQ(Get32(v + 4), 1u);  // collation by file name
  EXPECT_EQ(Get32(v + 8), 4096u);
  EXPECT_EQ(v[12], 1);                 // one 4 KiB cluster per index block
  EXPECT_EQ(Get32(v + 16), 0x10u);     // entries offset
  EXPECT_EQ(Get32(v + 20), 0x20u);     // index length
  EXPECT_EQ(Get32(v + 24), 0x20u);     // allocated
  EXPECT_EQ(Get16(v + 32 + 8), 0x10);  // end entry length
  EXPECT_EQ(Get16(v + 32 + 12), 0x2);  // last entry
}

TEST_F(SimFileRecordTest, UpdateSequenceIsAppliedOnTheControlCodeAndNotOnDisk) {
  // A name long enough to cover the end of the first stride, bytes 510 and 511.
  std::u16string longName;
  for (int i = 0; i < 200; ++i)
    longName += static_cast<char16_t>(u'a' + i % 26);
  const uint64_t file = model_->createQuietly({.name = longName});
  const FileRecord r = fetch(file).record;
  ExpectWellFormed(r, 1024);
  const auto name = simtest::FileNameOf(*r.all(kFileName)[0]);
  EXPECT_EQ(name.name, longName);
  const Attribute& fn = *r.all(kFileName)[0];
  const size_t nameStart = fn.offset + Get16(&r.bytes[fn.offset + 0x14]) + 0x42;
  ASSERT_LT(nameStart, 510u);
  ASSERT_GT(nameStart + 400, 512u);
  const uint16_t updateNumber = Get16(&r.bytes[0x30]);
  EXPECT_NE(Get16(&r.bytes[510]), updateNumber);

  // Raw, the stride ends carry the update sequence number instead.
  std::vector<uint8_t> raw = readRaw(mftOffset(16), 1024);
  EXPECT_EQ(Get16(&raw[510]), updateNumber);
  EXPECT_EQ(Get16(&raw[1022]), updateNumber);
  ASSERT_TRUE(simtest::ApplyFixups(raw));
  EXPECT_EQ(raw, r.bytes);
}

TEST_F(SimFileRecordTest, LargerRecordsHaveALongerUpdateSequenceArray) {
  SimVolumeOptions options;
  options.recordSize = 4096;
  options.clusterSize = 4096;
  model_ = std::make_shared<SimVolume>(options);
  volume_ = model_->open();
  const uint64_t file = model_->createQuietly({.name = u"big records", .size = 3000});
  const Fetched f = fetch(file);
  EXPECT_EQ(f.length, 4096u);
  ExpectWellFormed(f.record, 4096);
  EXPECT_EQ(f.record.usaCount, 9);
  EXPECT_EQ(f.record.firstAttribute, 0x48);
  EXPECT_FALSE(f.record.all(kData)[0]->nonResident);  // 3000 bytes fit in 4 KiB
  std::vector<uint8_t> raw = readRaw(mftOffset(16), 4096);
  ASSERT_TRUE(simtest::ApplyFixups(raw));
  EXPECT_EQ(raw, f.record.bytes);
}

TEST_F(SimFileRecordTest, HardLinksAndDosTwinEachHaveAFileName) {
  const uint64_t dir =
      model_->createQuietly({.name = u"other", .attributes = ntfs::kAttributeDirectory});
  const uint64_t file = model_->createQuietly({.name = u"A long name.document"});
  ASSERT_TRUE(model_->setDosName(file, u"ALONGN~1.DOC"));
  ASSERT_TRUE(model_->addHardLink(file, dir, u"second.document"));
  const FileRecord r = fetch(file).record;
  ExpectWellFormed(r, 1024);
  EXPECT_EQ(r.linkCount, 2);  // the DOS twin is no link of its own
  const auto names = r.all(kFileName);
  ASSERT_EQ(names.size(), 3u);
  const auto first = simtest::FileNameOf(*names[0]);
  const auto dos = simtest::FileNameOf(*names[1]);
  const auto link = simtest::FileNameOf(*names[2]);
  EXPECT_EQ(first.name, u"A long name.document");
  EXPECT_EQ(first.nameSpace, 1);
  EXPECT_EQ(dos.name, u"ALONGN~1.DOC");
  EXPECT_EQ(dos.nameSpace, 2);
  EXPECT_EQ(dos.parent, kRootReference);
  EXPECT_EQ(link.name, u"second.document");
  EXPECT_EQ(link.parent, dir);
  // Renaming drops the twin of the old name.
  ASSERT_TRUE(model_->rename(file, SimVolume::kRootDirectory, u"renamed"));
  const FileRecord renamed = fetch(file).record;
  const auto after = renamed.all(kFileName);
  ASSERT_EQ(after.size(), 2u);
  EXPECT_EQ(simtest::FileNameOf(*after[0]).name, u"renamed");
}

TEST_F(SimFileRecordTest, DataMovesOutOfTheRecordWhenItNoLongerFits) {
  const uint64_t file = model_->createQuietly({.name = u"f", .size = 600});
  EXPECT_FALSE(fetch(file).record.all(kData)[0]->nonResident);
  ASSERT_TRUE(model_->writeData(file, 100000));
  const FileRecord r = fetch(file).record;
  ExpectWellFormed(r, 1024);
  const Attribute& data = *r.all(kData)[0];
  ASSERT_TRUE(data.nonResident);
  EXPECT_EQ(data.lowestVcn, 0u);
  EXPECT_EQ(data.highestVcn, 24u);
  EXPECT_EQ(data.allocatedSize, 25u * 4096);
  EXPECT_EQ(data.dataSize, 100000u);
  EXPECT_EQ(data.initializedSize, 100000u);
  const auto runs = simtest::DecodeRuns(data.mappingPairs);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].length, 25u);
  EXPECT_NE(runs[0].lcn, 0u);
  const auto name = simtest::FileNameOf(*r.all(kFileName)[0]);
  EXPECT_EQ(name.allocatedSize, 25u * 4096);
  EXPECT_EQ(name.dataSize, 100000u);
  // What $FILE_NAME says of the sizes can be set apart from the real ones.
  ASSERT_TRUE(model_->setFileNameSizes(file, 0, 0));
  const FileRecord stale = fetch(file).record;
  EXPECT_EQ(simtest::FileNameOf(*stale.all(kFileName)[0]).dataSize, 0u);
  EXPECT_EQ(simtest::FileNameOf(*stale.all(kFileName)[0]).allocatedSize, 0u);
  EXPECT_EQ(stale.all(kData)[0]->dataSize, 100000u);
  // A file shrunk to nothing keeps non-resident, empty data.
  ASSERT_TRUE(model_->writeData(file, 0));
  const FileRecord emptied = fetch(file).record;
  const Attribute& empty = *emptied.all(kData)[0];
  EXPECT_TRUE(empty.nonResident);
  EXPECT_EQ(empty.highestVcn, ~0ULL);
  EXPECT_TRUE(simtest::DecodeRuns(empty.mappingPairs).empty());
}

TEST_F(SimFileRecordTest, FragmentedDataInTheBaseRecordHasRunsThatDoNotTouch) {
  const uint64_t file = model_->createQuietly({.name = u"frag", .size = 40 * 4096 + 1});
  ASSERT_TRUE(model_->fragment(file, {.runs = 6}));
  const FileRecord r = fetch(file).record;
  ExpectWellFormed(r, 1024);
  const Attribute& data = *r.all(kData)[0];
  ASSERT_TRUE(data.nonResident);
  const auto runs = simtest::DecodeRuns(data.mappingPairs);
  ASSERT_EQ(runs.size(), 6u);
  EXPECT_EQ(ClustersOf(runs), 41u);
  EXPECT_EQ(data.highestVcn, 40u);
  for (size_t i = 1; i < runs.size(); ++i)
    EXPECT_GT(runs[i].lcn, runs[i - 1].lcn + runs[i - 1].length);
  EXPECT_TRUE(r.all(kAttributeList).empty());
  EXPECT_FALSE(model_->fragment(file, {.runs = 2}));  // already fragmented
  const uint64_t small = model_->createQuietly({.name = u"small", .size = 2 * 4096});
  EXPECT_FALSE(model_->fragment(small, {.runs = 3}));  // more runs than clusters
}

TEST_F(SimFileRecordTest, LayoutThatDoesNotFitLeavesTheFileAsItWas) {
  const uint64_t file = model_->createQuietly({.name = u"many runs", .size = 600 * 4096});
  const FileRecord before = fetch(file).record;
  // 300 runs take some 900 bytes of mapping pairs: too many for one record.
  EXPECT_FALSE(model_->fragment(file, {.runs = 300}));
  EXPECT_FALSE(model_->fragment(file, {.runs = 300, .extensionRecords = 1}));
  EXPECT_EQ(fetch(file).record.bytes, before.bytes);
  EXPECT_TRUE(model_->extensionRecords(file).empty());
  EXPECT_EQ(model_->reference(17), 0u);  // the extension record taken went back
  ASSERT_TRUE(model_->fragment(file, {.runs = 300, .extensionRecords = 2}));
  EXPECT_EQ(model_->extensionRecords(file).size(), 2u);
}

TEST_F(SimFileRecordTest, ResidentAttributeListPointsAtExtensionRecordsHoldingTheData) {
  const uint64_t file = model_->createQuietly({.name = u"scattered.bin", .size = 300 * 4096});
  ASSERT_TRUE(model_->fragment(file, {.runs = 90, .extensionRecords = 3}));
  const std::vector<uint64_t> extensions = model_->extensionRecords(file);
  ASSERT_EQ(extensions.size(), 3u);
  const FileRecord base = fetch(file).record;
  ExpectWellFormed(base, 1024);
  EXPECT_TRUE(base.all(kData).empty());
  ASSERT_EQ(base.all(kFileName).size(), 1u);
  const auto lists = base.all(kAttributeList);
  ASSERT_EQ(lists.size(), 1u);
  ASSERT_FALSE(lists[0]->nonResident);
  EXPECT_EQ(base.attributes[1].type, kAttributeList);
  const auto entries = simtest::AttributeList(lists[0]->value.data(), lists[0]->value.size());
  ASSERT_EQ(entries.size(), 5u);
  EXPECT_EQ(entries[0].type, kStandardInformation);
  EXPECT_EQ(entries[0].segment, file);
  EXPECT_EQ(entries[1].type, kFileName);
  EXPECT_EQ(entries[1].segment, file);
  EXPECT_EQ(entries[1].instance, base.all(kFileName)[0]->instance);

  std::vector<DecodedRun> allRuns;
  for (size_t j = 0; j < 3; ++j) {
    const simtest::ListEntry& e = entries[2 + j];
    EXPECT_EQ(e.type, kData);
    EXPECT_EQ(e.length % 8, 0);
    EXPECT_EQ(simtest::RecordNumber(e.segment), extensions[j]);
    const Fetched ext = fetch(e.segment);
    EXPECT_EQ(ext.reference, e.segment);
    ExpectWellFormed(ext.record, 1024);
    EXPECT_EQ(ext.record.baseReference, file);
    EXPECT_EQ(ext.record.flags, 0x1);
    ASSERT_FALSE(ext.record.attributes.empty());
    const Attribute& data = ext.record.attributes[0];
    EXPECT_EQ(data.type, kData);
    EXPECT_EQ(data.instance, e.instance);
    EXPECT_EQ(data.lowestVcn, e.lowestVcn);
    EXPECT_EQ(data.lowestVcn, ClustersOf(allRuns));
    const auto runs = simtest::DecodeRuns(data.mappingPairs);
    EXPECT_EQ(data.highestVcn, data.lowestVcn + ClustersOf(runs) - 1);
    // Only the first extent tells the sizes.
    EXPECT_EQ(data.dataSize, j == 0 ? 300u * 4096 : 0u);
    EXPECT_EQ(data.allocatedSize, j == 0 ? 300u * 4096 : 0u);
    allRuns.insert(allRuns.end(), runs.begin(), runs.end());
  }
  EXPECT_EQ(allRuns.size(), 90u);
  EXPECT_EQ(ClustersOf(allRuns), 300u);
  // Extension records are not files: enumeration leaves them out.
  const auto reply = Call(*volume_, ntfs::kEnumUsnData, simtest::EnumInput(0, 0, INT64_MAX), 4096);
  ASSERT_TRUE(reply.ok);
  ASSERT_EQ(simtest::UsnRecords(reply.bytes).size(), 1u);
  // Deleting the file frees its extension records too.
  ASSERT_TRUE(model_->remove(file));
  EXPECT_EQ(simtest::RecordNumber(fetch(extensions[2]).reference), 11u);
}

// Each growth of a fragmented file adds a run to its last extent. Once the extension record
// holding that extent is full, a growth is refused and the records stay whole, through the
// control code and on disk.
TEST_F(SimFileRecordTest, GrowthThatOverfillsAnExtensionRecordIsRefused) {
  uint64_t size = 16 * 4096;
  const uint64_t file = model_->createQuietly({.name = u"growing.log", .size = size});
  ASSERT_TRUE(model_->fragment(file, {.runs = 4, .extensionRecords = 2}));
  const std::vector<uint64_t> extensions = model_->extensionRecords(file);
  ASSERT_EQ(extensions.size(), 2u);
  int grown = 0;
  while (grown < 2000 && model_->writeData(file, size + 4096)) {
    size += 4096;
    ++grown;
  }
  ASSERT_LT(grown, 2000) << "the last extension record never filled up";
  EXPECT_GT(grown, 100);
  // Refused again, and the file as it was: each extent's runs, the sizes in the first.
  EXPECT_FALSE(model_->writeData(file, size + 100 * 4096));
  uint64_t clusters = 0;
  for (const uint64_t e : extensions) {
    const FileRecord r = fetch(e).record;
    ExpectWellFormed(r, 1024);
    ASSERT_EQ(r.all(kData).size(), 1u);
    const Attribute& data = *r.all(kData)[0];
    EXPECT_EQ(data.lowestVcn, clusters);
    clusters += ClustersOf(simtest::DecodeRuns(data.mappingPairs));
    EXPECT_EQ(data.highestVcn + 1, clusters);
    if (e == extensions.front()) {
      EXPECT_EQ(data.dataSize, size);
    }
  }
  EXPECT_EQ(clusters, size / 4096);
  ExpectWellFormed(fetch(file).record, 1024);
  const uint64_t last = std::max(extensions.back(), simtest::RecordNumber(file));
  const std::vector<uint8_t> raw = readRaw(mftOffset(0), static_cast<uint32_t>((last + 1) * 1024));
  for (const uint64_t e : extensions)
    EXPECT_EQ(std::memcmp(&raw[e * 1024], "FILE", 4), 0);
  // What fits still does: the same size again, and less.
  EXPECT_TRUE(model_->writeData(file, size));
  EXPECT_TRUE(model_->writeData(file, size - 4096));
}

TEST_F(SimFileRecordTest, NonResidentListLivesInAClusterAndTheOnlyNameCanMoveOut) {
  const uint64_t file = model_->createQuietly({.name = u"far away.iso", .size = 64 * 4096});
  ASSERT_TRUE(model_->fragment(
      file,
      {.runs = 8, .extensionRecords = 2, .nonResidentList = true, .fileNameInExtension = true}));
  const std::vector<uint64_t> extensions = model_->extensionRecords(file);
  ASSERT_EQ(extensions.size(), 3u);
  const FileRecord base = fetch(file).record;
  ExpectWellFormed(base, 1024);
  EXPECT_TRUE(base.all(kFileName).empty());
  EXPECT_TRUE(base.all(kData).empty());
  const auto lists = base.all(kAttributeList);
  ASSERT_EQ(lists.size(), 1u);
  ASSERT_TRUE(lists[0]->nonResident);
  const auto listRuns = simtest::DecodeRuns(lists[0]->mappingPairs);
  ASSERT_EQ(listRuns.size(), 1u);
  EXPECT_EQ(listRuns[0].lcn, model_->attributeListCluster(file));
  const std::vector<uint8_t> cluster = readRaw(listRuns[0].lcn * 4096, 4096);
  const auto entries = simtest::AttributeList(cluster.data(), lists[0]->dataSize);
  ASSERT_EQ(entries.size(), 4u);
  EXPECT_EQ(lists[0]->dataSize, 4u * 32);
  EXPECT_EQ(entries[0].type, kStandardInformation);
  EXPECT_EQ(entries[1].type, kFileName);
  EXPECT_EQ(entries[2].type, kData);
  EXPECT_EQ(entries[3].type, kData);
  // The name's extension record holds it as its first attribute.
  const FileRecord nameRecord = fetch(entries[1].segment).record;
  ExpectWellFormed(nameRecord, 1024);
  EXPECT_EQ(nameRecord.baseReference, file);
  ASSERT_EQ(nameRecord.attributes.size(), 1u);
  EXPECT_EQ(nameRecord.attributes[0].type, kFileName);
  EXPECT_EQ(simtest::FileNameOf(nameRecord.attributes[0]).name, u"far away.iso");
  EXPECT_EQ(simtest::FileNameOf(nameRecord.attributes[0]).parent, kRootReference);
  uint64_t clusters = 0;
  for (size_t j = 2; j < 4; ++j) {
    const FileRecord ext = fetch(entries[j].segment).record;
    EXPECT_EQ(ext.attributes[0].type, kData);
    EXPECT_EQ(ext.attributes[0].lowestVcn, clusters);
    clusters += ClustersOf(simtest::DecodeRuns(ext.attributes[0].mappingPairs));
  }
  EXPECT_EQ(clusters, 64u);
  // The only name cannot move out when there are two, nor a list go out without extensions.
  const uint64_t twoNames = model_->createQuietly({.name = u"two names.bin", .size = 8 * 4096});
  ASSERT_TRUE(model_->setDosName(twoNames, u"TWONAM~1.BIN"));
  EXPECT_FALSE(
      model_->fragment(twoNames, {.runs = 2, .extensionRecords = 1, .fileNameInExtension = true}));
  EXPECT_FALSE(model_->fragment(twoNames, {.runs = 2, .nonResidentList = true}));
}

TEST_F(SimFileRecordTest, RecordNotInUseGivesTheNearestLowerOneInUse) {
  const uint64_t a = model_->createQuietly({.name = u"a"});
  const uint64_t b = model_->createQuietly({.name = u"b"});
  model_->createQuietly({.name = u"c"});
  ASSERT_TRUE(model_->remove(b));
  const Fetched freed = fetch(b);
  EXPECT_EQ(freed.reference, a);
  EXPECT_EQ(freed.record.recordNumber, 16u);
  const Fetched past = fetch(5000);
  EXPECT_EQ(simtest::RecordNumber(past.reference), 18u);
  // The reserved records 12 to 15 are not in use: $Extend (11) answers for them.
  const Fetched reserved = fetch(14);
  EXPECT_EQ(reserved.reference, 11u | 11ULL << 48);
  EXPECT_EQ(simtest::FileNameOf(*reserved.record.all(kFileName)[0]).name, u"$Extend");
  EXPECT_EQ(reserved.record.flags, 0x3);
  // Only the record number of the input counts.
  EXPECT_EQ(fetch(16 | 7ULL << 48).reference, a);
  const auto small = Call(*volume_, ntfs::kGetNtfsFileRecord, std::vector<uint8_t>(8), 12 + 1023);
  EXPECT_FALSE(small.ok);
  EXPECT_EQ(small.error, ntfs::kErrorInsufficientBuffer);
}

TEST_F(SimFileRecordTest, MetafilesAreThereFromTheStart) {
  const FileRecord root = fetch(5).record;
  ExpectWellFormed(root, 1024);
  EXPECT_EQ(root.sequence, 5);
  EXPECT_EQ(root.flags, 0x3);
  const auto rootName = simtest::FileNameOf(*root.all(kFileName)[0]);
  EXPECT_EQ(rootName.name, u".");
  EXPECT_EQ(rootName.parent, kRootReference);
  const FileRecord mft = fetch(0).record;
  ExpectWellFormed(mft, 1024);
  EXPECT_EQ(mft.sequence, 1);
  EXPECT_EQ(simtest::FileNameOf(*mft.all(kFileName)[0]).name, u"$MFT");
  const Attribute& data = *mft.all(kData)[0];
  ASSERT_TRUE(data.nonResident);
  const auto runs = simtest::DecodeRuns(data.mappingPairs);
  ASSERT_EQ(runs.size(), 1u);
  EXPECT_EQ(runs[0].lcn, model_->options().mftStartLcn);
  EXPECT_EQ(data.dataSize, 16u * 1024);
}

TEST_F(SimFileRecordTest, RawMftHoldsFreeRecordsWithMagicAndNothingPastTheEnd) {
  const uint64_t a = model_->createQuietly({.name = u"a"});
  model_->createQuietly({.name = u"b"});
  ASSERT_TRUE(model_->remove(a));
  std::vector<uint8_t> freed = readRaw(mftOffset(16), 1024);
  ASSERT_TRUE(simtest::ApplyFixups(freed));
  const FileRecord r = simtest::ParseFileRecord(freed.data(), freed.size());
  EXPECT_TRUE(r.magic);
  EXPECT_EQ(r.flags & 0x1, 0);
  EXPECT_EQ(r.sequence, 2);
  EXPECT_EQ(r.recordNumber, 16u);
  EXPECT_TRUE(r.attributes.empty());
  EXPECT_EQ(readRaw(mftOffset(18), 1024), std::vector<uint8_t>(1024, 0));
  // A raw read across records gives each in place.
  const std::vector<uint8_t> span = readRaw(mftOffset(4), 4096);
  for (int i = 0; i < 4; ++i) {
    std::vector<uint8_t> one(span.begin() + i * 1024, span.begin() + (i + 1) * 1024);
    ASSERT_TRUE(simtest::ApplyFixups(one));
    EXPECT_EQ(simtest::ParseFileRecord(one.data(), one.size()).recordNumber, 4u + i);
  }
}

TEST_F(SimFileRecordTest, RawReadsGiveZerosOrWrittenClustersAndNeedAlignedSectors) {
  EXPECT_EQ(readRaw(100 * 4096, 4096), std::vector<uint8_t>(4096, 0));
  std::vector<uint8_t> content(4096);
  for (size_t i = 0; i < content.size(); ++i)
    content[i] = static_cast<uint8_t>(i * 7);
  model_->writeCluster(100, content);
  const std::vector<uint8_t> both = readRaw(99 * 4096 + 3584, 1024);
  EXPECT_EQ(std::vector<uint8_t>(both.begin(), both.begin() + 512), std::vector<uint8_t>(512, 0));
  EXPECT_EQ(std::vector<uint8_t>(both.begin() + 512, both.end()),
            std::vector<uint8_t>(content.begin(), content.begin() + 512));
  simtest::RawBuffer buffer(1024);
  uint32_t read = 0, error = 0;
  EXPECT_FALSE(volume_->readAt(100, buffer.data(), 512, &read, &error));
  EXPECT_EQ(error, ntfs::kErrorInvalidParameter);
  EXPECT_FALSE(volume_->readAt(4096, buffer.data(), 100, &read, &error));
  EXPECT_EQ(error, ntfs::kErrorInvalidParameter);
  EXPECT_FALSE(volume_->readAt(4096, buffer.data() + 16, 512, &read, &error));
  EXPECT_EQ(error, ntfs::kErrorInvalidParameter);
}

}  // namespace
}  // namespace vessiko
