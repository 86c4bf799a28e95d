#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "platform/faults/volume_faults.h"
#include "platform/ntfs_layout.h"
#include "platform/sim/sim_volume.h"
#include "tests/platform/sim_test_readers.h"

namespace vessiko {
namespace {

using simtest::Call;
using simtest::EnumInput;
using simtest::Get32;
using simtest::Get64;
using simtest::UsnRecords;

constexpr uint64_t kRootReference = 5 | 5ULL << 48;

class SimEnumerationTest : public ::testing::Test {
 protected:
  std::shared_ptr<SimVolume> model_ = std::make_shared<SimVolume>();
  std::unique_ptr<Volume> volume_ = model_->open();

  simtest::Reply enumerate(uint64_t start, uint32_t outSize = 65536, int64_t low = 0,
                           int64_t high = INT64_MAX) {
    return Call(*volume_, ntfs::kEnumUsnData, EnumInput(start, low, high), outSize);
  }
  // Every record from the start, over as many calls as it takes.
  std::vector<simtest::UsnRecord> enumerateAll(uint32_t outSize, int* calls = nullptr) {
    std::vector<simtest::UsnRecord> all;
    uint64_t start = 0;
    for (;;) {
      const auto reply = enumerate(start, outSize);
      if (!reply.ok) {
        EXPECT_EQ(reply.error, ntfs::kErrorHandleEof);
        return all;
      }
      if (calls != nullptr) ++*calls;
      const auto records = UsnRecords(reply.bytes);
      all.insert(all.end(), records.begin(), records.end());
      start = Get64(reply.bytes.data());
    }
  }
};

TEST_F(SimEnumerationTest, RecordsAreLaidOutAsUsnRecordV2) {
  const FileTimes times{1, 2, 3, 4};
  const uint64_t dir =
      model_->createQuietly({.name = u"Docs",
                             .attributes = ntfs::kAttributeDirectory | ntfs::kAttributeHidden,
                             .times = times});
  const uint64_t file = model_->create({.parent = dir,
                                        .name = u"report 2024.txt",
                                        .attributes = ntfs::kAttributeArchive,
                                        .size = 12345});
  const auto reply = enumerate(0);
  ASSERT_TRUE(reply.ok);
  const auto records = UsnRecords(reply.bytes);
  ASSERT_EQ(records.size(), 2u);
  const auto& d = records[0];
  EXPECT_EQ(d.offset, 8u);
  EXPECT_EQ(d.length, 72u);  // 60 + 8 bytes of name
  EXPECT_EQ(d.major, 2);
  EXPECT_EQ(d.minor, 0);
  EXPECT_EQ(d.file, dir);
  EXPECT_EQ(simtest::RecordNumber(dir), 16u);
  EXPECT_EQ(simtest::Sequence(dir), 1);
  EXPECT_EQ(d.parent, 5u | 5ULL << 48);
  EXPECT_EQ(d.usn, 0);
  EXPECT_EQ(d.timeStamp, 0u);
  EXPECT_EQ(d.reason, 0u);
  EXPECT_EQ(d.sourceInfo, 0u);
  EXPECT_EQ(d.securityId, 0u);
  EXPECT_EQ(d.attributes, ntfs::kAttributeDirectory | ntfs::kAttributeHidden);
  EXPECT_EQ(d.nameBytes, 8);
  EXPECT_EQ(d.nameOffset, 60);
  EXPECT_EQ(d.name, u"Docs");
  const auto& f = records[1];
  EXPECT_EQ(f.offset, 8u + 72u);
  EXPECT_EQ(f.length, 96u);  // 60 + 30, rounded up to 8
  EXPECT_EQ(f.file, file);
  EXPECT_EQ(f.parent, dir);
  EXPECT_EQ(f.usn, model_->lastUsn(file));
  EXPECT_GT(f.usn, 0);
  EXPECT_EQ(f.reason, 0u);
  EXPECT_EQ(f.attributes, ntfs::kAttributeArchive);
  EXPECT_EQ(f.name, u"report 2024.txt");
  // The padding after the name is zero, and the buffer ends with the last record.
  EXPECT_EQ(reply.bytes.size(), 8u + 72u + 96u);
  EXPECT_EQ(reply.bytes[8 + 72 + 90], 0);
  EXPECT_EQ(reply.bytes[8 + 72 + 95], 0);
}

TEST_F(SimEnumerationTest, MetafilesAreLeftOutAndTheEndIsEof) {
  const auto reply = enumerate(0);
  EXPECT_FALSE(reply.ok);
  EXPECT_EQ(reply.error, ntfs::kErrorHandleEof);
  model_->createQuietly({.name = u"a"});
  const auto one = enumerate(0);
  ASSERT_TRUE(one.ok);
  ASSERT_EQ(UsnRecords(one.bytes).size(), 1u);
  const auto after = enumerate(Get64(one.bytes.data()));
  EXPECT_FALSE(after.ok);
  EXPECT_EQ(after.error, ntfs::kErrorHandleEof);
}

TEST_F(SimEnumerationTest, OrderIsRecordNumberOrderWithChosenNumbersAndGaps) {
  model_->createQuietly({.name = u"high", .recordNumber = (1ULL << 27) + 5});
  model_->createQuietly({.name = u"forty", .recordNumber = 40});
  model_->createQuietly({.name = u"low"});
  model_->createQuietly({.name = u"next"});
  const auto all = enumerateAll(65536);
  ASSERT_EQ(all.size(), 4u);
  EXPECT_EQ(all[0].name, u"low");
  EXPECT_EQ(simtest::RecordNumber(all[0].file), 16u);
  EXPECT_EQ(simtest::RecordNumber(all[1].file), 17u);
  EXPECT_EQ(simtest::RecordNumber(all[2].file), 40u);
  EXPECT_EQ(all[3].name, u"high");
  EXPECT_EQ(simtest::RecordNumber(all[3].file), (1ULL << 27) + 5);
  // A number taken cannot be chosen again.
  EXPECT_EQ(model_->createQuietly({.name = u"again", .recordNumber = 40}), 0u);
}

TEST_F(SimEnumerationTest, PagingReturnsWholeRecordsAndResumesWhereItStopped) {
  for (int i = 0; i < 100; ++i) {
    model_->createQuietly(
        {.name = u"file" + std::u16string(1, static_cast<char16_t>(u'A' + i % 26))});
  }
  // Each record takes 72 bytes: 8 + 3 * 72 fits three per call.
  const auto first = enumerate(0, 8 + 3 * 72 + 71);
  ASSERT_TRUE(first.ok);
  EXPECT_EQ(first.bytes.size(), 8u + 3 * 72);
  EXPECT_EQ(Get64(first.bytes.data()), 19u);
  int calls = 0;
  const auto all = enumerateAll(8 + 3 * 72, &calls);
  EXPECT_EQ(calls, 34);
  ASSERT_EQ(all.size(), 100u);
  for (size_t i = 0; i < all.size(); ++i) {
    EXPECT_EQ(simtest::RecordNumber(all[i].file), 16 + i);
  }
  // A buffer that holds no record at all.
  const auto tiny = enumerate(0, 8 + 71);
  EXPECT_FALSE(tiny.ok);
  EXPECT_EQ(tiny.error, ntfs::kErrorInsufficientBuffer);
}

TEST_F(SimEnumerationTest, UsnRangeSelectsFilesByTheirLastUsn) {
  const uint64_t quiet = model_->createQuietly({.name = u"quiet"});
  const uint64_t a = model_->create({.name = u"a"});
  const uint64_t b = model_->create({.name = u"b"});
  const int64_t usnA = model_->lastUsn(a);
  const int64_t usnB = model_->lastUsn(b);
  ASSERT_LT(usnA, usnB);
  auto files = [&](int64_t low, int64_t high) {
    std::vector<uint64_t> found;
    const auto reply = enumerate(0, 65536, low, high);
    if (reply.ok) {
      for (const auto& r : UsnRecords(reply.bytes))
        found.push_back(r.file);
    }
    return found;
  };
  EXPECT_EQ(files(0, INT64_MAX), (std::vector<uint64_t>{quiet, a, b}));
  EXPECT_EQ(files(0, usnA), (std::vector<uint64_t>{quiet, a}));
  EXPECT_EQ(files(usnA, usnB), (std::vector<uint64_t>{a, b}));
  EXPECT_EQ(files(usnA + 1, usnB), (std::vector<uint64_t>{b}));
  EXPECT_EQ(files(usnB + 1, INT64_MAX), std::vector<uint64_t>{});
}

TEST_F(SimEnumerationTest, EveryNameButTheDosTwinGivesARecordAndAFileIsNeverSplit) {
  const uint64_t dir =
      model_->createQuietly({.name = u"d", .attributes = ntfs::kAttributeDirectory});
  const uint64_t file =
      model_->createQuietly({.name = u"Long file name.txt", .attributes = ntfs::kAttributeArchive});
  ASSERT_TRUE(model_->setDosName(file, u"LONGFI~1.TXT"));
  ASSERT_TRUE(model_->addHardLink(file, dir, u"link.txt"));
  ASSERT_TRUE(model_->addHardLink(file, SimVolume::kRootDirectory, u"b.txt"));
  model_->createQuietly({.name = u"z"});
  const auto all = enumerateAll(65536);
  ASSERT_EQ(all.size(), 5u);
  const std::pair<uint64_t, std::u16string> names[] = {
      {kRootReference, u"Long file name.txt"}, {dir, u"link.txt"}, {kRootReference, u"b.txt"}};
  for (size_t i = 0; i < 3; ++i) {
    const auto& r = all[1 + i];
    EXPECT_EQ(r.file, file);
    EXPECT_EQ(r.usn, model_->lastUsn(file));
    EXPECT_EQ(r.attributes, ntfs::kAttributeArchive);
    EXPECT_EQ(r.parent, names[i].first);
    EXPECT_EQ(r.name, names[i].second);
  }
  EXPECT_GT(all[1].usn, 0);
  EXPECT_EQ(all[4].name, u"z");
  // The file's records take 96 + 80 + 72 bytes: a buffer one byte short of the directory's record
  // and all three stops before the file, and one short of the three alone fails.
  const auto first = enumerate(0, 8 + 64 + 248 - 1);
  ASSERT_TRUE(first.ok);
  EXPECT_EQ(UsnRecords(first.bytes).size(), 1u);
  EXPECT_EQ(Get64(first.bytes.data()), simtest::RecordNumber(file));
  EXPECT_EQ(enumerate(simtest::RecordNumber(file), 8 + 248 - 1).error,
            ntfs::kErrorInsufficientBuffer);
  EXPECT_EQ(UsnRecords(enumerate(simtest::RecordNumber(file), 8 + 248).bytes).size(), 3u);
  // Once the first name is gone the next one comes first.
  ASSERT_TRUE(model_->removeHardLink(file, SimVolume::kRootDirectory, u"Long file name.txt"));
  const auto after = enumerateAll(65536);
  ASSERT_EQ(after.size(), 4u);
  EXPECT_EQ(after[1].name, u"link.txt");
  EXPECT_EQ(after[1].parent, dir);
  EXPECT_EQ(after[2].name, u"b.txt");
}

// What lets a test of the engine change the volume between two enumeration calls.
TEST(SimEnumerationControl, FilesPerCallAndTheControlHook) {
  const auto model = std::make_shared<SimVolume>(SimVolumeOptions{.enumerationRecordsPerCall = 2});
  const auto faults = std::make_shared<VolumeFaults>();
  FaultyVolume volume(model->open(), faults);
  model->createQuietly({.name = u"a"});
  const uint64_t b = model->createQuietly({.name = u"b"});
  ASSERT_TRUE(model->addHardLink(b, SimVolume::kRootDirectory, u"b2"));
  model->createQuietly({.name = u"c"});
  std::vector<uint32_t> codes;
  faults->setControlHook([&](uint32_t code) {
    codes.push_back(code);
    // Between the calls, under no lock of the model's.
    if (codes.size() == 2) model->create({.name = u"late"});
  });
  auto names = [](const simtest::Reply& reply) {
    std::vector<std::u16string> found;
    for (const auto& r : UsnRecords(reply.bytes))
      found.push_back(r.name);
    return found;
  };
  const auto first = Call(volume, ntfs::kEnumUsnData, EnumInput(0, 0, INT64_MAX), 65536);
  EXPECT_EQ(names(first), (std::vector<std::u16string>{u"a", u"b", u"b2"}));
  const auto second =
      Call(volume, ntfs::kEnumUsnData, EnumInput(Get64(first.bytes.data()), 0, INT64_MAX), 65536);
  EXPECT_EQ(names(second), (std::vector<std::u16string>{u"c", u"late"}));
  EXPECT_EQ(codes, (std::vector<uint32_t>{ntfs::kEnumUsnData, ntfs::kEnumUsnData}));
  faults->clear();
  Call(volume, ntfs::kQueryUsnJournal, {}, 56);
  EXPECT_EQ(codes.size(), 2u);
}

TEST_F(SimEnumerationTest, FreedRecordIsReusedWithTheNextSequence) {
  const uint64_t a = model_->createQuietly({.name = u"a"});
  model_->createQuietly({.name = u"b"});
  ASSERT_TRUE(model_->remove(a));
  const uint64_t c = model_->createQuietly({.name = u"c"});
  EXPECT_EQ(simtest::RecordNumber(c), 16u);
  EXPECT_EQ(simtest::Sequence(c), 2);
  EXPECT_EQ(model_->reference(16), c);
  // The old reference names nothing any more.
  EXPECT_FALSE(model_->rename(a, SimVolume::kRootDirectory, u"x"));
  const auto all = enumerateAll(65536);
  ASSERT_EQ(all.size(), 2u);
  EXPECT_EQ(all[0].file, c);
  EXPECT_EQ(all[0].name, u"c");
}

std::u16string Number16(int n) {
  const std::string digits = std::to_string(n);
  return std::u16string(digits.begin(), digits.end());
}

// The Linux face keeps one volume for days of renames, creations and deletions: the names of
// the past must not pile up, and the names of the present must stay as they are.
TEST(SimNamePool, ChurnKeepsTheNamesBoundedAndRight) {
  const auto model = std::make_shared<SimVolume>(SimVolumeOptions{.journal = false});
  std::map<uint64_t, std::u16string> names;
  for (int i = 0; i < 100; ++i) {
    const std::u16string name = u"file" + Number16(i);
    names[model->createQuietly({.name = name})] = name;
  }
  size_t written = 0;
  for (int round = 0; round < 30000; ++round) {
    auto it = names.begin();
    std::advance(it, round * 7 % names.size());
    std::u16string name(200, static_cast<char16_t>(u'a' + round % 26));
    name += Number16(round);
    if (round % 10 == 0) {
      ASSERT_TRUE(model->remove(it->first));
      names.erase(it);
      const uint64_t made = model->create({.name = name});
      ASSERT_NE(made, 0u);
      names[made] = name;
    } else {
      ASSERT_TRUE(model->rename(it->first, SimVolume::kRootDirectory, name));
      it->second = name;
    }
    written += name.size();
  }
  EXPECT_LT(model->nameUnits(), written / 4);
  const std::unique_ptr<Volume> volume = model->open();
  std::map<uint64_t, std::u16string> listed;
  uint64_t start = 0;
  for (;;) {
    const auto reply = Call(*volume, ntfs::kEnumUsnData, EnumInput(start, 0, INT64_MAX), 65536);
    if (!reply.ok) break;
    for (const simtest::UsnRecord& r : UsnRecords(reply.bytes))
      listed[r.file] = r.name;
    start = Get64(reply.bytes.data());
  }
  EXPECT_EQ(listed, names);
  // The metafiles' names, made first, moved with every compaction too.
  std::vector<uint8_t> in(8);
  simtest::Put64(in.data(), 4);
  const auto reply = Call(*volume, ntfs::kGetNtfsFileRecord, in, 4096);
  ASSERT_TRUE(reply.ok);
  const simtest::FileRecord record =
      simtest::ParseFileRecord(reply.bytes.data() + 12, reply.bytes.size() - 12);
  ASSERT_EQ(record.all(ntfs::attribute::kTypeFileName).size(), 1u);
  EXPECT_EQ(simtest::FileNameOf(*record.all(ntfs::attribute::kTypeFileName)[0]).name, u"$AttrDef");
}

TEST_F(SimEnumerationTest, ChildrenNeedALiveParentDirectory) {
  const uint64_t file = model_->createQuietly({.name = u"plain"});
  EXPECT_EQ(model_->createQuietly({.parent = file, .name = u"child"}), 0u);
  EXPECT_EQ(model_->createQuietly({.parent = 9999, .name = u"orphan"}), 0u);
  EXPECT_EQ(model_->createQuietly({.name = u""}), 0u);
  EXPECT_EQ(model_->createQuietly({.name = u"metafile slot", .recordNumber = 12}), 0u);
  EXPECT_EQ(model_->userFileCount(), 1u);
}

TEST_F(SimEnumerationTest, BadInputIsRefused) {
  const std::vector<uint8_t> shortInput(16);
  const auto reply = Call(*volume_, ntfs::kEnumUsnData, shortInput, 4096);
  EXPECT_FALSE(reply.ok);
  EXPECT_EQ(reply.error, ntfs::kErrorInvalidParameter);
  const auto unknown = Call(*volume_, 0x900FF, {}, 4096);
  EXPECT_FALSE(unknown.ok);
  EXPECT_EQ(unknown.error, ntfs::kErrorInvalidFunction);
}

TEST_F(SimEnumerationTest, VolumeDataDescribesTheVolume) {
  SimVolumeOptions options;
  options.clusterSize = 4096;
  options.recordSize = 1024;
  options.totalClusters = 1 << 28;
  options.serialNumber = 0x1122334455667788;
  auto model = std::make_shared<SimVolume>(options);
  for (int i = 0; i < 100; ++i)
    model->createQuietly({.name = u"f"});
  const auto reply = Call(*model->open(), ntfs::kGetNtfsVolumeData, {}, 200);
  ASSERT_TRUE(reply.ok);
  ASSERT_EQ(reply.bytes.size(), 96u);
  const uint8_t* p = reply.bytes.data();
  EXPECT_EQ(Get64(p + 0), 0x1122334455667788u);
  EXPECT_EQ(Get64(p + 8), (1ULL << 28) * 8);  // NumberSectors
  EXPECT_EQ(Get64(p + 16), 1ULL << 28);
  EXPECT_LT(Get64(p + 24), 1ULL << 28);
  EXPECT_EQ(Get32(p + 40), 512u);
  EXPECT_EQ(Get32(p + 44), 4096u);
  EXPECT_EQ(Get32(p + 48), 1024u);
  EXPECT_EQ(Get32(p + 52), 0u);           // a record is smaller than a cluster
  EXPECT_EQ(Get64(p + 56), 116u * 1024);  // records 0 to 115
  EXPECT_EQ(Get64(p + 64), options.mftStartLcn);
  EXPECT_LE(Get64(p + 80), Get64(p + 64));
  EXPECT_GT(Get64(p + 88), Get64(p + 64));
  const auto small = Call(*model->open(), ntfs::kGetNtfsVolumeData, {}, 95);
  EXPECT_FALSE(small.ok);
  EXPECT_EQ(small.error, ntfs::kErrorInsufficientBuffer);
}

TEST(SimEnumerationScale, MillionEntryVolumeEnumeratesWholly) {
  auto model = std::make_shared<SimVolume>();
  const uint64_t dir =
      model->createQuietly({.name = u"top", .attributes = ntfs::kAttributeDirectory});
  for (int i = 1; i < 1000000; ++i) {
    ASSERT_NE(model->createQuietly(
                  {.parent = dir, .name = u"entry name " + std::u16string(1, u'a' + i % 26)}),
              0u);
  }
  auto volume = model->open();
  uint64_t start = 0;
  uint64_t count = 0;
  uint64_t expected = 16;
  for (;;) {
    const auto reply = Call(*volume, ntfs::kEnumUsnData, EnumInput(start, 0, INT64_MAX), 1 << 20);
    if (!reply.ok) break;
    for (const auto& r : UsnRecords(reply.bytes)) {
      ASSERT_EQ(simtest::RecordNumber(r.file), expected++);
      ++count;
    }
    start = Get64(reply.bytes.data());
  }
  EXPECT_EQ(count, 1000000u);
}

}  // namespace
}  // namespace vessiko
