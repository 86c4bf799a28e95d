#include <gtest/gtest.h>

#include <memory>

#include "platform/faults/volume_faults.h"
#include "platform/ntfs_layout.h"
#include "platform/sim/sim_volume.h"
#include "tests/platform/sim_test_readers.h"

namespace vessiko {
namespace {

using simtest::Call;
using simtest::EnumInput;

class VolumeFaultsTest : public ::testing::Test {
 protected:
  void SetUp() override {
    for (int i = 0; i < 5; ++i)
      model_->create({.name = u"file"});
  }
  simtest::Reply enumerate() {
    return Call(*volume_, ntfs::kEnumUsnData, EnumInput(0, 0, INT64_MAX), 65536);
  }
  simtest::Reply fileRecord(uint64_t reference) {
    std::vector<uint8_t> in(8);
    simtest::Put64(in.data(), reference);
    return Call(*volume_, ntfs::kGetNtfsFileRecord, in, 12 + 1024);
  }

  std::shared_ptr<SimVolume> model_ = std::make_shared<SimVolume>();
  std::shared_ptr<VolumeFaults> faults_ = std::make_shared<VolumeFaults>();
  std::unique_ptr<Volume> volume_ = std::make_unique<FaultyVolume>(model_->open(), faults_);
};

TEST_F(VolumeFaultsTest, NextCallsFailWithTheChosenErrorThenWorkAgain) {
  faults_->failNext(ntfs::kEnumUsnData, ntfs::kErrorAccessDenied, 2);
  for (int i = 0; i < 2; ++i) {
    const auto reply = enumerate();
    EXPECT_FALSE(reply.ok);
    EXPECT_EQ(reply.error, ntfs::kErrorAccessDenied);
  }
  EXPECT_TRUE(enumerate().ok);
  // Other codes are untouched.
  faults_->failNext(ntfs::kEnumUsnData, 31, 1);
  EXPECT_TRUE(Call(*volume_, ntfs::kQueryUsnJournal, {}, 56).ok);
  EXPECT_EQ(enumerate().error, 31u);
  // A handle reopened for a long wait carries the same plan.
  faults_->failNext(ntfs::kQueryUsnJournal, ntfs::kErrorAccessDenied);
  EXPECT_EQ(Call(*volume_->reopen(), ntfs::kQueryUsnJournal, {}, 56).error,
            ntfs::kErrorAccessDenied);
  EXPECT_EQ(faults_->callCount(ntfs::kEnumUsnData), 4u);
  EXPECT_EQ(faults_->callCount(ntfs::kQueryUsnJournal), 2u);
}

TEST_F(VolumeFaultsTest, EveryCallFailsUntilCleared) {
  faults_->failAlways(ntfs::kReadUsnJournal, ntfs::kErrorJournalEntryDeleted);
  const auto input = simtest::ReadInput(0, 0xFFFFFFFF, model_->journal().id);
  for (int i = 0; i < 5; ++i) {
    EXPECT_EQ(Call(*volume_, ntfs::kReadUsnJournal, input, 4096).error,
              ntfs::kErrorJournalEntryDeleted);
  }
  faults_->clear();
  EXPECT_TRUE(Call(*volume_, ntfs::kReadUsnJournal, input, 4096).ok);
}

TEST_F(VolumeFaultsTest, EachControlCodeCanFail) {
  const uint32_t codes[] = {ntfs::kGetNtfsVolumeData, ntfs::kGetNtfsFileRecord,
                            ntfs::kEnumUsnData,       ntfs::kReadUsnJournal,
                            ntfs::kCreateUsnJournal,  ntfs::kQueryUsnJournal,
                            ntfs::kDeleteUsnJournal};
  for (uint32_t code : codes) {
    faults_->failNext(code, 1117);  // ERROR_IO_DEVICE
    const auto reply = Call(*volume_, code, std::vector<uint8_t>(64), 4096);
    EXPECT_FALSE(reply.ok) << std::hex << code;
    EXPECT_EQ(reply.error, 1117u) << std::hex << code;
  }
  // The failed delete did nothing.
  EXPECT_TRUE(model_->journal().active);
  EXPECT_FALSE(model_->journal().deleting);
}

TEST_F(VolumeFaultsTest, TruncationCutsTheBytesReturned) {
  const auto whole = enumerate();
  ASSERT_TRUE(whole.ok);
  faults_->truncateNext(ntfs::kEnumUsnData, 8 + 64 + 10);
  const auto cut = enumerate();
  ASSERT_TRUE(cut.ok);
  ASSERT_EQ(cut.bytes.size(), 8u + 64 + 10);
  EXPECT_TRUE(std::equal(cut.bytes.begin(), cut.bytes.end(), whole.bytes.begin()));
  EXPECT_EQ(enumerate().bytes.size(), whole.bytes.size());
  faults_->truncateNext(ntfs::kGetNtfsFileRecord, 12, 2);
  EXPECT_EQ(fileRecord(16).bytes.size(), 12u);
  EXPECT_EQ(fileRecord(16).bytes.size(), 12u);
  EXPECT_EQ(fileRecord(16).bytes.size(), 12u + 1024);
}

TEST_F(VolumeFaultsTest, RewriterDamagesRecordsOnTheWayOut) {
  // An attribute length of 0 in the first attribute of record 17 only.
  model_->setRecordRewriter([](uint64_t recordNumber, std::span<uint8_t> record) {
    if (recordNumber == 17) simtest::Put32(&record[0x38 + 4], 0);
  });
  const auto damaged = fileRecord(17);
  ASSERT_TRUE(damaged.ok);
  EXPECT_EQ(simtest::Get32(&damaged.bytes[12 + 0x38 + 4]), 0u);
  const auto intact = fileRecord(16);
  EXPECT_NE(simtest::Get32(&intact.bytes[12 + 0x38 + 4]), 0u);
  // Raw reads of the MFT hand out the same damage.
  const uint64_t at = model_->options().mftStartLcn * 4096 + 17 * 1024;
  simtest::RawBuffer buffer(1024);
  uint32_t read = 0, error = 0;
  ASSERT_TRUE(volume_->readAt(at, buffer.data(), 1024, &read, &error));
  std::vector<uint8_t> raw = buffer.bytes();
  ASSERT_TRUE(simtest::ApplyFixups(raw));
  EXPECT_EQ(simtest::Get32(&raw[0x38 + 4]), 0u);
  model_->setRecordRewriter(nullptr);
  EXPECT_NE(simtest::Get32(&fileRecord(17).bytes[12 + 0x38 + 4]), 0u);
}

TEST_F(VolumeFaultsTest, RewriterCanMakeAnAttributeListPointAtItsOwnRecord) {
  const uint64_t file = model_->createQuietly({.name = u"loop", .size = 16 * 4096});
  ASSERT_TRUE(model_->fragment(file, {.runs = 4, .extensionRecords = 2}));
  const uint64_t number = simtest::RecordNumber(file);
  model_->setRecordRewriter([&](uint64_t recordNumber, std::span<uint8_t> record) {
    if (recordNumber != number) return;
    const simtest::FileRecord r = simtest::ParseFileRecord(record.data(), record.size());
    const simtest::Attribute& list = *r.all(0x20)[0];
    const size_t value = list.offset + simtest::Get16(&record[list.offset + 0x14]);
    for (size_t at = value; at < value + list.value.size(); at += 32) {
      simtest::Put64(&record[at + 0x10], file);
    }
  });
  const auto reply = fileRecord(file);
  ASSERT_TRUE(reply.ok);
  const auto r = simtest::ParseFileRecord(reply.bytes.data() + 12, 1024);
  const auto& list = *r.all(0x20)[0];
  for (const auto& e : simtest::AttributeList(list.value.data(), list.value.size())) {
    EXPECT_EQ(e.segment, file);
  }
}

TEST_F(VolumeFaultsTest, RawReadsFailAndTruncateToo) {
  simtest::RawBuffer buffer(4096);
  uint32_t read = 0, error = 0;
  faults_->failNext(VolumeFaults::kRawRead, 23);  // ERROR_CRC
  EXPECT_FALSE(volume_->readAt(0, buffer.data(), 4096, &read, &error));
  EXPECT_EQ(error, 23u);
  faults_->truncateNext(VolumeFaults::kRawRead, 1024);
  ASSERT_TRUE(volume_->readAt(0, buffer.data(), 4096, &read, &error));
  EXPECT_EQ(read, 1024u);
  ASSERT_TRUE(volume_->readAt(0, buffer.data(), 4096, &read, &error));
  EXPECT_EQ(read, 4096u);
  EXPECT_EQ(faults_->callCount(VolumeFaults::kRawRead), 3u);
}

}  // namespace
}  // namespace vessiko
