#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <memory>
#include <thread>
#include <tuple>

#include "platform/ntfs_layout.h"
#include "platform/sim/sim_volume.h"
#include "tests/platform/sim_test_readers.h"

namespace vessiko {
namespace {

using simtest::Call;
using simtest::Get64;
using simtest::ReadInput;
using simtest::UsnRecords;

constexpr uint32_t kAll = 0xFFFFFFFF;
constexpr uint32_t kCreate = ntfs::kReasonFileCreate;
constexpr uint32_t kDelete = ntfs::kReasonFileDelete;
constexpr uint32_t kClose = ntfs::kReasonClose;
constexpr uint32_t kOld = ntfs::kReasonRenameOldName;
constexpr uint32_t kNew = ntfs::kReasonRenameNewName;
constexpr uint32_t kLink = ntfs::kReasonHardLinkChange;
constexpr uint32_t kExtend = ntfs::kReasonDataExtend;
constexpr uint64_t kRootReference = 5 | 5ULL << 48;

std::vector<uint8_t> CreateInput(uint64_t maximumSize, uint64_t delta) {
  std::vector<uint8_t> in(16);
  simtest::Put64(&in[0], maximumSize);
  simtest::Put64(&in[8], delta);
  return in;
}

std::vector<uint8_t> DeleteInput(uint64_t id, uint32_t flags) {
  std::vector<uint8_t> in(16);
  simtest::Put64(&in[0], id);
  simtest::Put32(&in[8], flags);
  return in;
}

class SimJournalTest : public ::testing::Test {
 protected:
  std::shared_ptr<SimVolume> model_ = std::make_shared<SimVolume>();
  std::unique_ptr<Volume> volume_ = model_->open();

  uint64_t id() { return model_->journal().id; }
  simtest::Reply read(int64_t start, uint32_t mask = kAll, uint32_t outSize = 65536,
                      uint32_t onlyOnClose = 0) {
    return Call(*volume_, ntfs::kReadUsnJournal, ReadInput(start, mask, id(), onlyOnClose),
                outSize);
  }
  // Every record from the start, with reason, name and file.
  std::vector<simtest::UsnRecord> records(uint32_t mask = kAll) {
    const auto reply = read(0, mask);
    EXPECT_TRUE(reply.ok);
    return UsnRecords(reply.bytes);
  }
  std::vector<uint32_t> reasons(uint32_t mask = kAll) {
    std::vector<uint32_t> found;
    for (const auto& r : records(mask))
      found.push_back(r.reason);
    return found;
  }
  using Named = std::tuple<uint32_t, uint64_t, std::u16string>;  // reason, parent, name
  std::vector<Named> named() {
    std::vector<Named> found;
    for (const auto& r : records())
      found.emplace_back(r.reason, r.parent, r.name);
    return found;
  }
};

TEST_F(SimJournalTest, QueryGivesTheJournalAsUsnJournalDataV0) {
  model_->create({.name = u"a"});
  const auto reply = Call(*volume_, ntfs::kQueryUsnJournal, {}, 56);
  ASSERT_TRUE(reply.ok);
  ASSERT_EQ(reply.bytes.size(), 56u);
  const uint8_t* p = reply.bytes.data();
  const ChangeJournalState state = model_->journal();
  EXPECT_EQ(Get64(p + 0), state.id);
  EXPECT_NE(state.id, 0u);
  EXPECT_EQ(Get64(p + 8), 0u);                    // FirstUsn
  EXPECT_EQ(Get64(p + 16), 2u * 64);              // NextUsn: two records of 64 bytes
  EXPECT_EQ(Get64(p + 24), 0u);                   // LowestValidUsn
  EXPECT_EQ(Get64(p + 32), 0x7FFFFFFFFFFF0000u);  // MaxUsn
  EXPECT_EQ(Get64(p + 40), 32ULL << 20);
  EXPECT_EQ(Get64(p + 48), 8ULL << 20);
  const auto small = Call(*volume_, ntfs::kQueryUsnJournal, {}, 55);
  EXPECT_FALSE(small.ok);
  EXPECT_EQ(small.error, ntfs::kErrorInsufficientBuffer);
}

TEST_F(SimJournalTest, CreationWritesCreateThenCreateClose) {
  const uint64_t dir = model_->create({.name = u"folder", .attributes = ntfs::kAttributeDirectory});
  const uint64_t file =
      model_->create({.parent = dir, .name = u"new.txt", .attributes = ntfs::kAttributeArchive});
  const auto all = records();
  ASSERT_EQ(all.size(), 4u);
  EXPECT_EQ(all[0].reason, kCreate);
  EXPECT_EQ(all[1].reason, kCreate | kClose);
  EXPECT_EQ(all[0].file, dir);
  EXPECT_EQ(all[0].parent, kRootReference);
  EXPECT_EQ(all[0].attributes, ntfs::kAttributeDirectory);
  EXPECT_EQ(all[0].name, u"folder");
  EXPECT_EQ(all[2].file, file);
  EXPECT_EQ(all[2].parent, dir);
  EXPECT_EQ(all[2].attributes, ntfs::kAttributeArchive);
  EXPECT_EQ(all[3].reason, kCreate | kClose);
  // USNs are byte offsets of the records, time stamps come from the model's clock, and the
  // file's last USN is that of its last record.
  int64_t offset = 0;
  for (const auto& r : all) {
    EXPECT_EQ(r.usn, offset);
    EXPECT_EQ(r.major, 2);
    EXPECT_EQ(r.nameOffset, 60);
    offset += r.length;
  }
  EXPECT_LT(all[0].timeStamp, all[1].timeStamp);
  EXPECT_EQ(all[1].timeStamp - all[0].timeStamp, model_->options().clockStep);
  EXPECT_EQ(model_->lastUsn(file), all[3].usn);
  EXPECT_EQ(model_->journal().nextUsn, offset);
}

TEST_F(SimJournalTest, DeletionWritesOneDeleteCloseRecord) {
  const uint64_t file = model_->createQuietly({.name = u"old.txt"});
  ASSERT_TRUE(model_->remove(file));
  const auto all = records();
  ASSERT_EQ(all.size(), 1u);
  EXPECT_EQ(all[0].reason, kDelete | kClose);
  EXPECT_EQ(all[0].file, file);
  EXPECT_EQ(all[0].name, u"old.txt");
  EXPECT_EQ(model_->reference(16), 0u);
}

TEST_F(SimJournalTest, RenameAndMoveWriteOldNameThenNewName) {
  const uint64_t dir =
      model_->createQuietly({.name = u"dest", .attributes = ntfs::kAttributeDirectory});
  const uint64_t file = model_->createQuietly({.name = u"before.txt"});
  ASSERT_TRUE(model_->rename(file, dir, u"after.txt"));
  const auto all = records();
  ASSERT_EQ(all.size(), 3u);
  EXPECT_EQ(all[0].reason, kOld);
  EXPECT_EQ(all[0].name, u"before.txt");
  EXPECT_EQ(all[0].parent, kRootReference);
  EXPECT_EQ(all[1].reason, kNew);
  EXPECT_EQ(all[1].name, u"after.txt");
  EXPECT_EQ(all[1].parent, dir);
  EXPECT_EQ(all[2].reason, kNew | kClose);
  EXPECT_EQ(all[2].name, u"after.txt");
  EXPECT_EQ(all[2].parent, dir);
}

TEST_F(SimJournalTest, FileDeletedWhileOpenIsPendingUntilTheLastCloseAndEndsInOneRecord) {
  const uint64_t file = model_->createOpen({.name = u"temp.tmp"});
  ASSERT_TRUE(model_->openFile(file));
  ASSERT_TRUE(model_->remove(file));
  // Still in the MFT, named and enumerated, but nothing opens or changes it.
  EXPECT_EQ(model_->reference(16), file);
  const auto listed = UsnRecords(
      Call(*volume_, ntfs::kEnumUsnData, simtest::EnumInput(0, 0, INT64_MAX), 4096).bytes);
  ASSERT_EQ(listed.size(), 1u);
  EXPECT_EQ(listed[0].name, u"temp.tmp");
  EXPECT_FALSE(model_->openFile(file));
  EXPECT_FALSE(model_->rename(file, SimVolume::kRootDirectory, u"kept.tmp"));
  EXPECT_FALSE(model_->writeData(file, 1));
  EXPECT_FALSE(model_->changeAttributes(file, ntfs::kAttributeHidden));
  EXPECT_FALSE(model_->addHardLink(file, SimVolume::kRootDirectory, u"link.tmp"));
  EXPECT_FALSE(model_->removeHardLink(file, SimVolume::kRootDirectory, u"temp.tmp"));
  EXPECT_FALSE(model_->remove(file));
  ASSERT_TRUE(model_->closeFile(file));
  EXPECT_EQ(model_->reference(16), file);
  EXPECT_EQ(reasons(), (std::vector<uint32_t>{kCreate}));
  ASSERT_TRUE(model_->closeFile(file));
  EXPECT_EQ(reasons(), (std::vector<uint32_t>{kCreate, kCreate | kDelete | kClose}));
  EXPECT_EQ(model_->reference(16), 0u);
}

TEST_F(SimJournalTest, ReasonsAccumulatePerFileUntilTheLastHandleClosesAndRepeatsWriteNothing) {
  const uint64_t file = model_->createQuietly({.name = u"grow.bin"});
  ASSERT_TRUE(model_->openFile(file));  // an editor
  ASSERT_TRUE(model_->openFile(file));  // a virus scanner
  ASSERT_TRUE(model_->writeData(file, 100));
  ASSERT_TRUE(model_->writeData(file, 200));
  ASSERT_TRUE(model_->changeAttributes(file, ntfs::kAttributeHidden));
  ASSERT_TRUE(model_->closeFile(file));
  ASSERT_TRUE(model_->rename(file, SimVolume::kRootDirectory, u"grown.bin"));
  ASSERT_TRUE(model_->closeFile(file));
  // Past the last close the reasons start again.
  ASSERT_TRUE(model_->writeData(file, 300));
  const uint32_t basic = ntfs::kReasonBasicInfoChange;
  EXPECT_EQ(reasons(), (std::vector<uint32_t>{
                           kExtend, kExtend | basic, kExtend | basic | kOld, kExtend | basic | kNew,
                           kExtend | basic | kNew | kClose, kExtend, kExtend | kClose}));
  EXPECT_FALSE(model_->closeFile(file));
}

TEST_F(SimJournalTest, RenamesUnderAHeldHandleCarryTheNewNameIntoLaterRecords) {
  // A folder a console stands in, renamed twice.
  const uint64_t dir =
      model_->createQuietly({.name = u"a", .attributes = ntfs::kAttributeDirectory});
  ASSERT_TRUE(model_->openFile(dir));
  ASSERT_TRUE(model_->rename(dir, SimVolume::kRootDirectory, u"b"));
  ASSERT_TRUE(model_->rename(dir, SimVolume::kRootDirectory, u"c"));
  ASSERT_TRUE(model_->closeFile(dir));
  // A document renamed, then deleted, under an editor's handle.
  const uint64_t file = model_->createQuietly({.parent = dir, .name = u"draft"});
  ASSERT_TRUE(model_->openFile(file));
  ASSERT_TRUE(model_->rename(file, dir, u"final"));
  ASSERT_TRUE(model_->remove(file));
  ASSERT_TRUE(model_->closeFile(file));
  EXPECT_EQ(named(), (std::vector<Named>{{kOld, kRootReference, u"a"},
                                         {kNew, kRootReference, u"b"},
                                         {kOld | kNew, kRootReference, u"b"},
                                         {kNew, kRootReference, u"c"},
                                         {kNew | kClose, kRootReference, u"c"},
                                         {kOld, dir, u"draft"},
                                         {kNew, dir, u"final"},
                                         {kNew | kDelete | kClose, dir, u"final"}}));
}

TEST_F(SimJournalTest, DataChangesAreFilteredOutByTheReasonMask) {
  const uint64_t file = model_->createQuietly({.name = u"data.bin", .size = 10});
  ASSERT_TRUE(model_->writeData(file, 5000));
  ASSERT_TRUE(model_->writeData(file, 10));
  ASSERT_TRUE(model_->writeData(file, 10));
  model_->create({.name = u"other"});
  EXPECT_EQ(reasons(), (std::vector<uint32_t>{
                           kExtend, kExtend | kClose, ntfs::kReasonDataTruncation,
                           ntfs::kReasonDataTruncation | kClose, ntfs::kReasonDataOverwrite,
                           ntfs::kReasonDataOverwrite | kClose, kCreate, kCreate | kClose}));
  const uint32_t names = kCreate | kDelete | kOld | kNew | kLink;
  EXPECT_EQ(reasons(names), (std::vector<uint32_t>{kCreate, kCreate | kClose}));
  // Filtered records still move the USN to continue from.
  const auto reply = read(0, names);
  EXPECT_EQ(static_cast<int64_t>(Get64(reply.bytes.data())), model_->journal().nextUsn);
  const auto closed = UsnRecords(read(0, kAll, 65536, 1).bytes);
  ASSERT_EQ(closed.size(), 4u);
  for (const auto& r : closed)
    EXPECT_NE(r.reason & kClose, 0u);
}

TEST_F(SimJournalTest, HardLinkChangesAndRemovingTheLastLinkDeletes) {
  const uint64_t dir =
      model_->createQuietly({.name = u"d", .attributes = ntfs::kAttributeDirectory});
  const uint64_t file = model_->createQuietly({.name = u"one"});
  ASSERT_TRUE(model_->addHardLink(file, dir, u"two"));
  // Deleting a file of two names deletes one path: its first name.
  ASSERT_TRUE(model_->remove(file));
  ASSERT_TRUE(model_->removeHardLink(file, dir, u"two"));
  EXPECT_FALSE(model_->removeHardLink(file, dir, u"two"));
  const auto all = records();
  ASSERT_EQ(all.size(), 5u);
  EXPECT_EQ(all[0].reason, kLink);
  EXPECT_EQ(all[0].name, u"two");
  EXPECT_EQ(all[0].parent, dir);
  EXPECT_EQ(all[1].reason, kLink | kClose);
  EXPECT_EQ(all[2].reason, kLink);
  EXPECT_EQ(all[2].name, u"one");
  EXPECT_EQ(all[2].parent, kRootReference);
  EXPECT_EQ(all[3].reason, kLink | kClose);
  EXPECT_EQ(all[4].reason, kDelete | kClose);
  EXPECT_EQ(all[4].name, u"two");
  EXPECT_EQ(all[4].parent, dir);
  // Directories take no hard links.
  EXPECT_FALSE(model_->addHardLink(dir, SimVolume::kRootDirectory, u"d2"));
}

TEST_F(SimJournalTest, EveryLinkChangeUnderAHeldHandleWritesARecordNamingTheLink) {
  const uint64_t dir =
      model_->createQuietly({.name = u"d", .attributes = ntfs::kAttributeDirectory});
  const uint64_t file = model_->createQuietly({.name = u"one"});
  ASSERT_TRUE(model_->openFile(file));
  ASSERT_TRUE(model_->addHardLink(file, dir, u"two"));
  ASSERT_TRUE(model_->addHardLink(file, SimVolume::kRootDirectory, u"three"));
  ASSERT_TRUE(model_->removeHardLink(file, dir, u"two"));
  ASSERT_TRUE(model_->rename(file, dir, u"uno"));
  ASSERT_TRUE(model_->removeHardLink(file, SimVolume::kRootDirectory, u"three"));
  ASSERT_TRUE(model_->closeFile(file));
  // The old name of a rename is the name renamed, whatever was named last; the close names the
  // name named last.
  EXPECT_EQ(named(), (std::vector<Named>{{kLink, dir, u"two"},
                                         {kLink, kRootReference, u"three"},
                                         {kLink, dir, u"two"},
                                         {kLink | kOld, kRootReference, u"one"},
                                         {kLink | kNew, dir, u"uno"},
                                         {kLink | kNew, kRootReference, u"three"},
                                         {kLink | kNew | kClose, kRootReference, u"three"}}));
}

TEST_F(SimJournalTest, ReadsPageByTheContinueUsn) {
  for (int i = 0; i < 10; ++i)
    model_->create({.name = u"f"});  // 20 records of 64 bytes
  int64_t start = 0;
  std::vector<int64_t> usns;
  for (int calls = 0; calls < 20; ++calls) {
    const auto reply = read(start, kAll, 8 + 3 * 64 + 63);
    ASSERT_TRUE(reply.ok);
    const auto page = UsnRecords(reply.bytes);
    start = static_cast<int64_t>(Get64(reply.bytes.data()));
    if (page.empty()) break;
    EXPECT_LE(page.size(), 3u);
    for (const auto& r : page)
      usns.push_back(r.usn);
    EXPECT_EQ(start, page.back().usn + 64);
  }
  ASSERT_EQ(usns.size(), 20u);
  for (size_t i = 0; i < usns.size(); ++i)
    EXPECT_EQ(usns[i], static_cast<int64_t>(64 * i));
  // Caught up: only the 8 bytes, with the same USN.
  const auto end = read(start);
  ASSERT_TRUE(end.ok);
  EXPECT_EQ(end.bytes.size(), 8u);
  EXPECT_EQ(static_cast<int64_t>(Get64(end.bytes.data())), start);
  // A buffer too small for the first record.
  const auto tiny = read(0, kAll, 8 + 63);
  EXPECT_FALSE(tiny.ok);
  EXPECT_EQ(tiny.error, ntfs::kErrorInsufficientBuffer);
}

TEST_F(SimJournalTest, FullJournalDropsOldRecordsAndStaleStartsFail) {
  ASSERT_TRUE(model_->createJournal(640, 64));
  for (int i = 0; i < 10; ++i)
    model_->create({.name = u"f"});
  const ChangeJournalState state = model_->journal();
  EXPECT_EQ(state.nextUsn, 20 * 64);
  EXPECT_EQ(state.firstUsn, 10 * 64);
  const auto stale = read(64);
  EXPECT_FALSE(stale.ok);
  EXPECT_EQ(stale.error, ntfs::kErrorJournalEntryDeleted);
  // StartUsn 0 means the oldest record kept.
  const auto all = records();
  ASSERT_EQ(all.size(), 10u);
  EXPECT_EQ(all[0].usn, 10 * 64);
  EXPECT_TRUE(read(10 * 64).ok);
}

TEST_F(SimJournalTest, WrongJournalIdIsRefused) {
  const auto reply = Call(*volume_, ntfs::kReadUsnJournal, ReadInput(0, kAll, id() + 1), 4096);
  EXPECT_FALSE(reply.ok);
  EXPECT_EQ(reply.error, ntfs::kErrorInvalidParameter);
  const auto shortInput = Call(*volume_, ntfs::kReadUsnJournal, std::vector<uint8_t>(39), 4096);
  EXPECT_FALSE(shortInput.ok);
  EXPECT_EQ(shortInput.error, ntfs::kErrorInvalidParameter);
}

TEST(SimJournalInactive, VolumeWithoutJournalAnswersNotActiveAndLogsNothing) {
  SimVolumeOptions options;
  options.journal = false;
  auto model = std::make_shared<SimVolume>(options);
  auto volume = model->open();
  const uint64_t file = model->create({.name = u"x"});
  EXPECT_EQ(model->lastUsn(file), 0);
  const auto query = Call(*volume, ntfs::kQueryUsnJournal, {}, 56);
  EXPECT_FALSE(query.ok);
  EXPECT_EQ(query.error, ntfs::kErrorJournalNotActive);
  const auto read = Call(*volume, ntfs::kReadUsnJournal, ReadInput(0, kAll, 0), 4096);
  EXPECT_FALSE(read.ok);
  EXPECT_EQ(read.error, ntfs::kErrorJournalNotActive);
  const auto erase = Call(*volume, ntfs::kDeleteUsnJournal, DeleteInput(0, 1), 0);
  EXPECT_FALSE(erase.ok);
  EXPECT_EQ(erase.error, ntfs::kErrorJournalNotActive);
  // Creating one makes an empty journal.
  ASSERT_TRUE(Call(*volume, ntfs::kCreateUsnJournal, CreateInput(1 << 20, 1 << 16), 0).ok);
  const ChangeJournalState state = model->journal();
  EXPECT_TRUE(state.active);
  EXPECT_EQ(state.firstUsn, 0);
  EXPECT_EQ(state.nextUsn, 0);
  EXPECT_EQ(state.maximumSize, 1u << 20);
  EXPECT_EQ(state.allocationDelta, 1u << 16);
}

TEST_F(SimJournalTest, CreateOnAnActiveJournalKeepsItsIdAndTakesTheSizes) {
  model_->create({.name = u"a"});
  const ChangeJournalState before = model_->journal();
  ASSERT_TRUE(Call(*volume_, ntfs::kCreateUsnJournal, CreateInput(1 << 20, 1 << 12), 0).ok);
  const ChangeJournalState after = model_->journal();
  EXPECT_EQ(after.id, before.id);
  EXPECT_EQ(after.nextUsn, before.nextUsn);
  EXPECT_EQ(after.maximumSize, 1u << 20);
  EXPECT_EQ(after.allocationDelta, 1u << 12);
  EXPECT_EQ(Call(*volume_, ntfs::kCreateUsnJournal, std::vector<uint8_t>(15), 0).error,
            ntfs::kErrorInvalidParameter);
}

TEST_F(SimJournalTest, DeletionInProgressBlocksTheJournalUntilNotify) {
  const uint64_t file = model_->create({.name = u"a"});
  const uint64_t oldId = id();
  const int64_t oldNext = model_->journal().nextUsn;
  EXPECT_EQ(Call(*volume_, ntfs::kDeleteUsnJournal, DeleteInput(oldId + 1, 1), 0).error,
            ntfs::kErrorInvalidParameter);
  ASSERT_TRUE(Call(*volume_, ntfs::kDeleteUsnJournal, DeleteInput(oldId, 1), 0).ok);
  EXPECT_EQ(model_->lastUsn(file), 0);
  EXPECT_TRUE(model_->journal().deleting);
  EXPECT_EQ(Call(*volume_, ntfs::kQueryUsnJournal, {}, 56).error,
            ntfs::kErrorJournalDeleteInProgress);
  EXPECT_EQ(Call(*volume_, ntfs::kReadUsnJournal, ReadInput(0, kAll, oldId), 4096).error,
            ntfs::kErrorJournalDeleteInProgress);
  EXPECT_EQ(Call(*volume_, ntfs::kCreateUsnJournal, CreateInput(1 << 20, 1 << 16), 0).error,
            ntfs::kErrorJournalDeleteInProgress);
  EXPECT_EQ(Call(*volume_, ntfs::kDeleteUsnJournal, DeleteInput(oldId, 1), 0).error,
            ntfs::kErrorJournalDeleteInProgress);
  // Changes meanwhile are not journaled.
  const uint64_t quiet = model_->create({.name = u"b"});
  EXPECT_EQ(model_->lastUsn(quiet), 0);
  ASSERT_TRUE(Call(*volume_, ntfs::kDeleteUsnJournal, DeleteInput(0, 2), 0).ok);
  EXPECT_FALSE(model_->journal().active);
  EXPECT_EQ(Call(*volume_, ntfs::kQueryUsnJournal, {}, 56).error, ntfs::kErrorJournalNotActive);
  // A new journal: a new id, empty, its USNs going on from the old one's.
  ASSERT_TRUE(Call(*volume_, ntfs::kCreateUsnJournal, CreateInput(1 << 20, 1 << 16), 0).ok);
  const ChangeJournalState fresh = model_->journal();
  EXPECT_NE(fresh.id, oldId);
  EXPECT_EQ(fresh.firstUsn, oldNext);
  EXPECT_EQ(fresh.nextUsn, oldNext);
  EXPECT_EQ(read(0).bytes.size(), 8u);
}

TEST_F(SimJournalTest, ModelCanFinishADeletionAndNotifyWithoutOneDoesNothing) {
  ASSERT_TRUE(model_->beginJournalDeletion());
  EXPECT_FALSE(model_->beginJournalDeletion());
  model_->finishJournalDeletion();
  EXPECT_FALSE(model_->journal().active);
  EXPECT_TRUE(Call(*volume_, ntfs::kDeleteUsnJournal, DeleteInput(0, 2), 0).ok);
  EXPECT_EQ(Call(*volume_, ntfs::kDeleteUsnJournal, DeleteInput(0, 0), 0).error,
            ntfs::kErrorInvalidParameter);
  ASSERT_TRUE(model_->createJournal(4096, 512, 1 << 20));
  EXPECT_EQ(model_->journal().firstUsn, 1 << 20);
}

TEST_F(SimJournalTest, WaitingReadReturnsWhenEnoughIsWrittenOrTheTimeoutEnds) {
  const auto started = std::chrono::steady_clock::now();
  const auto timedOut =
      Call(*volume_, ntfs::kReadUsnJournal, ReadInput(0, kAll, id(), 0, 1, 64), 4096);
  ASSERT_TRUE(timedOut.ok);
  EXPECT_EQ(timedOut.bytes.size(), 8u);
  EXPECT_GE(std::chrono::steady_clock::now() - started, std::chrono::milliseconds(900));

  std::thread writer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    model_->create({.name = u"woke"});
  });
  const auto woken =
      Call(*volume_, ntfs::kReadUsnJournal, ReadInput(0, kAll, id(), 0, 0, 64), 4096);
  writer.join();
  ASSERT_TRUE(woken.ok);
  ASSERT_FALSE(UsnRecords(woken.bytes).empty());
  EXPECT_EQ(UsnRecords(woken.bytes)[0].name, u"woke");
}

TEST_F(SimJournalTest, ReaderAndWriterThreadsSeeEveryRecordOnce) {
  constexpr int kFiles = 2000;
  std::atomic<bool> done{false};
  std::thread writer([&] {
    for (int i = 0; i < kFiles; ++i) {
      const uint64_t file = model_->create({.name = u"t"});
      model_->remove(file);
    }
    done = true;
  });
  int64_t start = 0;
  size_t seen = 0;
  int64_t expectedUsn = 0;
  for (;;) {
    const bool finished = done;
    const auto reply = read(start, kAll, 4096);
    ASSERT_TRUE(reply.ok);
    for (const auto& r : UsnRecords(reply.bytes)) {
      ASSERT_EQ(r.usn, expectedUsn);
      expectedUsn += r.length;
      ++seen;
    }
    start = static_cast<int64_t>(Get64(reply.bytes.data()));
    if (finished && reply.bytes.size() == 8) break;
  }
  writer.join();
  EXPECT_EQ(seen, 3u * kFiles);
}

}  // namespace
}  // namespace vessiko
