// Sizes, times and attributes read from the file records of a simulated volume, including
// fragmented files and damaged records.
#include "volume/file_record_reader.h"

#include <gtest/gtest.h>

#include <atomic>
#include <chrono>
#include <future>
#include <random>
#include <thread>

#include "platform/fakes/recording_messages.h"
#include "platform/little_endian.h"
#include "platform/ntfs_layout.h"
#include "platform/sim/sim_machine.h"
#include "tests/support/sim_entries.h"
#include "volume/journal_control.h"
#include "volume/volume_discovery.h"

namespace vessiko {
namespace {

class FileRecordReaderTest : public ::testing::Test {
 protected:
  FileRecordReaderTest() : volume_(machine_.addNtfsDrive('C', u"")) {}

  void discover() {
    DroppedVolumeRows rows;
    DiscoverVolumes(machine_, slots_, rows, messages_);
  }
  uint64_t file(const std::u16string& name, uint64_t size, uint32_t attributes = 0) {
    SimEntry entry = testing::SimFile(5, name, size, attributes);
    entry.times = FileTimes{1000, 2000, 3000, 4000};
    return volume_.create(entry);
  }

  FileValues read(uint64_t reference, bool withSize = true) {
    return ReadFileRecord(slots_, 2, static_cast<uint32_t>(reference & 0xFFFFFFFFFFFF),
                          withSize ? kAllFileValues : kAllFileValues & ~uint32_t{kSize});
  }

  RecordingMessages messages_;
  PrivateHeap heap_{messages_};
  VolumeSlots slots_{heap_};
  SimMachine machine_;
  SimVolume& volume_;
};

TEST_F(FileRecordReaderTest, TimesAndFlagsComeFromTheFileName) {
  const uint64_t f = file(u"a.txt", 5000, ntfs::kAttributeHidden);
  discover();
  const FileValues r = read(f);
  EXPECT_EQ(r.delivered, kAllFileValues);
  EXPECT_EQ(r.creation, 1000u);
  EXPECT_EQ(r.recordChange, 3000u);
  EXPECT_EQ(r.lastAccess, 4000u);
  EXPECT_EQ(r.attributes & ntfs::kAttributeHidden, ntfs::kAttributeHidden);
  EXPECT_EQ(r.size, 5000u);
}

TEST_F(FileRecordReaderTest, SizeOfTheFileNameWinsUnlessItIsZero) {
  const uint64_t small = file(u"small.txt", 100);
  volume_.setFileNameSizes(small, 0, 0);
  const uint64_t stale = file(u"stale.txt", 100);
  volume_.setFileNameSizes(stale, 4096, 42);
  const uint64_t empty = file(u"empty.txt", 0);
  volume_.setFileNameSizes(empty, 0, 0);
  const uint64_t large = file(u"large.bin", 10'000'000);
  volume_.setFileNameSizes(large, 0, 0);
  discover();
  EXPECT_EQ(read(small).size, 100u);  // resident $DATA's value length
  EXPECT_EQ(read(stale).size, 42u);   // stale, but not 0
  EXPECT_EQ(read(empty).size, 0u);
  EXPECT_EQ(read(empty).delivered & kSize, kSize);
  EXPECT_EQ(read(large).size, 10'000'000u);  // non-resident $DATA's data size
}

TEST_F(FileRecordReaderTest, DirectoryGivesTimesAndFlagsWithoutSize) {
  SimEntry entry = testing::SimDir(5, u"dir");
  entry.times = FileTimes{11, 22, 33, 44};
  const uint64_t d = volume_.create(entry);
  discover();
  const FileValues r = read(d, false);
  EXPECT_EQ(r.delivered, kAllFileValues & ~kSize);
  EXPECT_EQ(r.creation, 11u);
}

TEST_F(FileRecordReaderTest, FragmentedFilesFindTheirDataThroughTheAttributeList) {
  struct Case {
    bool nonResidentList;
    bool fileNameInExtension;
  };
  for (const Case c :
       {Case{false, false}, Case{true, false}, Case{false, true}, Case{true, true}}) {
    const uint64_t f = file(u"frag.bin", 5'000'000);
    volume_.setFileNameSizes(f, 0, 0);
    SimFragmentation layout;
    layout.runs = 40;
    layout.extensionRecords = 2;
    layout.nonResidentList = c.nonResidentList;
    layout.fileNameInExtension = c.fileNameInExtension;
    ASSERT_TRUE(volume_.fragment(f, layout));
    slots_.closeAll();
    discover();
    const FileValues r = read(f);
    EXPECT_EQ(r.delivered, kAllFileValues) << c.nonResidentList << c.fileNameInExtension;
    EXPECT_EQ(r.size, 5'000'000u);
    EXPECT_EQ(r.creation, 1000u);
    ASSERT_TRUE(volume_.remove(f));
  }
}

TEST_F(FileRecordReaderTest, ARecordNotInUseDeliversNothing) {
  const uint64_t gone = file(u"gone.txt", 1);
  file(u"keep.txt", 1);
  ASSERT_TRUE(volume_.remove(gone));
  discover();
  // The volume hands out the nearest lower record in use; it is not the one asked for.
  EXPECT_EQ(read(gone).delivered, 0u);
  EXPECT_EQ(read(uint64_t{1} << 26).delivered, 0u);
}

TEST_F(FileRecordReaderTest, AnAttributeListPointingAtItsOwnRecordGivesNoSize) {
  const uint64_t f = file(u"self.bin", 5'000'000);
  volume_.setFileNameSizes(f, 0, 0);
  SimFragmentation layout;
  layout.runs = 10;
  layout.extensionRecords = 1;
  ASSERT_TRUE(volume_.fragment(f, layout));
  const uint64_t base = f & 0xFFFFFFFFFFFF;
  volume_.setRecordRewriter([base](uint64_t number, std::span<uint8_t> record) {
    if (number != base) return;
    // Point every entry of the resident list at the base record itself.
    uint32_t at = LoadU16(&record[ntfs::file_record::kFirstAttributeOffset]);
    while (at + 8 <= record.size() && LoadU32(&record[at]) != ntfs::attribute::kTypeEnd) {
      const uint32_t length = LoadU32(&record[at + 4]);
      if (length == 0) break;
      if (LoadU32(&record[at]) == ntfs::attribute::kTypeAttributeList) {
        const uint32_t value = at + LoadU16(&record[at + ntfs::attribute::kValueOffset]);
        const uint32_t end = value + LoadU32(&record[at + ntfs::attribute::kValueLength]);
        for (uint32_t e = value; e + 0x18 <= end;) {
          StoreU32(&record[e + 0x10], static_cast<uint32_t>(base));
          const uint16_t entryLength = LoadU16(&record[e + 4]);
          if (entryLength == 0) break;
          e += entryLength;
        }
      }
      at += length;
    }
  });
  discover();
  const FileValues r = read(f);
  EXPECT_EQ(r.delivered & kSize, 0u);
  EXPECT_EQ(r.size, 0u);  // a value not delivered stays 0
}

// Damaged records: random bytes rewritten in every record handed out. Whatever comes back,
// nothing is read outside the buffers (the sanitizers watch) and the reader returns.
TEST_F(FileRecordReaderTest, RandomlyDamagedRecordsAreReadWithinBounds) {
  std::vector<uint64_t> files;
  for (int i = 0; i < 20; ++i) {
    const uint64_t f = file(u"f" + std::u16string(1, static_cast<char16_t>(u'a' + i)), 100000 * i);
    volume_.setFileNameSizes(f, 0, 0);
    if (i % 3 == 0) {
      SimFragmentation layout;
      layout.runs = 30;
      layout.extensionRecords = 1 + i % 2;
      layout.nonResidentList = i % 2 == 0;
      volume_.fragment(f, layout);
    }
    files.push_back(f);
  }
  auto random = std::make_shared<std::mt19937>(99);
  volume_.setRecordRewriter([random](uint64_t, std::span<uint8_t> record) {
    const int flips = 1 + static_cast<int>((*random)() % 8);
    for (int i = 0; i < flips; ++i) {
      record[(*random)() % record.size()] = static_cast<uint8_t>((*random)());
    }
    if ((*random)() % 4 == 0) {  // a length field set to 0 or huge
      const uint32_t at = 0x18 + static_cast<uint32_t>((*random)() % 200) * 4;
      if (at + 4 <= record.size()) StoreU32(&record[at], (*random)() % 2 ? 0 : 0xFFFFFFF0);
    }
  });
  discover();
  for (int round = 0; round < 200; ++round) {
    for (uint64_t f : files) {
      read(f);
      FileHasName(slots_[2], heap_, f, 5, u"fa", 2);
    }
  }
}

// Whether a file has a name now, as a hard-link change is checked: every $FILE_NAME of the
// base record, or the one in an extension record; another file in a reused record has none.
TEST_F(FileRecordReaderTest, FileHasNameLooksAtTheNamesTheFileHasNow) {
  const uint64_t linked = file(u"one.txt", 10);
  const uint64_t folder = volume_.create(testing::SimDir(5, u"folder"));
  ASSERT_TRUE(volume_.addHardLink(linked, folder, u"two.txt"));
  const uint64_t fragmented = file(u"frag.bin", 5'000'000);
  SimFragmentation layout;
  layout.runs = 10;
  layout.extensionRecords = 1;
  layout.fileNameInExtension = true;
  ASSERT_TRUE(volume_.fragment(fragmented, layout));
  const uint64_t gone = file(u"gone.txt", 1);
  ASSERT_TRUE(volume_.remove(gone));
  discover();
  const auto has = [&](uint64_t f, uint64_t parent, std::u16string_view name) {
    return FileHasName(slots_[2], heap_, f, parent & 0xFFFFFFFFFFFF, name.data(),
                       static_cast<uint32_t>(name.size()));
  };
  EXPECT_EQ(has(linked, 5, u"one.txt"), NamePresence::kPresent);
  EXPECT_EQ(has(linked, folder, u"two.txt"), NamePresence::kPresent);
  EXPECT_EQ(has(linked, 5, u"two.txt"), NamePresence::kAbsent);
  EXPECT_EQ(has(linked, 5, u"ONE.TXT"), NamePresence::kAbsent);
  EXPECT_EQ(has(fragmented, 5, u"frag.bin"), NamePresence::kPresent);
  EXPECT_EQ(has(gone, 5, u"gone.txt"), NamePresence::kAbsent);
  const uint64_t reused = file(u"gone.txt", 1);
  ASSERT_EQ(reused & 0xFFFFFFFFFFFF, gone & 0xFFFFFFFFFFFF);
  EXPECT_EQ(has(gone, 5, u"gone.txt"), NamePresence::kAbsent);  // another file's name now
  EXPECT_EQ(has(reused, 5, u"gone.txt"), NamePresence::kPresent);
  machine_.faults('C').failNext(ntfs::kGetNtfsFileRecord, ntfs::kErrorInvalidParameter);
  EXPECT_EQ(has(linked, 5, u"one.txt"), NamePresence::kUnknown);
}

// The monitor waits for a journal deletion, which can last minutes, while the list view reads
// records of the same volume: the wait must not hold up the slot's handle. Bounded waits, so
// that a hold-up fails the test instead of hanging it.
TEST_F(FileRecordReaderTest, RecordsAreReadWhileAJournalDeletionIsWaitedFor) {
  const uint64_t f = file(u"a.txt", 10);
  discover();
  ASSERT_TRUE(volume_.beginJournalDeletion(/*slow=*/true));
  auto recreation = std::async(std::launch::async, [&] {
    JournalState journal;
    RecreateJournal(*slots_[2].volume, &journal);
    return journal.id;
  });
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
  while (machine_.faults('C').callCount(ntfs::kDeleteUsnJournal) == 0 &&
         std::chrono::steady_clock::now() < deadline) {
    std::this_thread::sleep_for(std::chrono::milliseconds(1));
  }
  auto reading = std::async(std::launch::async, [&] { return read(f).delivered; });
  const bool readInTime = reading.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
  const bool stillDeleting =
      recreation.wait_for(std::chrono::seconds(0)) == std::future_status::timeout;
  volume_.finishJournalDeletion();
  EXPECT_TRUE(readInTime);
  EXPECT_TRUE(stillDeleting);
  EXPECT_EQ(reading.get(), kAllFileValues);
  const uint64_t recreated = recreation.get();
  EXPECT_EQ(recreated, volume_.journal().id);
  EXPECT_EQ(volume_.journal().maximumSize, kRecreatedJournalSize);

  // A close gives the wait up at once; the deletion's end then finds nobody waiting.
  ASSERT_TRUE(volume_.beginJournalDeletion(/*slow=*/true));
  std::atomic<bool> closing{false};
  auto cancelled = std::async(std::launch::async, [&] {
    JournalState journal;
    return RecreateJournal(*slots_[2].volume, &journal, &closing);
  });
  closing = true;
  const bool gaveUp = cancelled.wait_for(std::chrono::seconds(10)) == std::future_status::ready;
  volume_.finishJournalDeletion();
  EXPECT_TRUE(gaveUp);
  EXPECT_FALSE(cancelled.get());
}

TEST_F(FileRecordReaderTest, FailingAndCutControlCallsDeliverNothing) {
  const uint64_t f = file(u"a.txt", 10);
  discover();
  machine_.faults('C').failNext(ntfs::kGetNtfsFileRecord, ntfs::kErrorInvalidParameter);
  EXPECT_EQ(read(f).delivered, 0u);
  machine_.faults('C').truncateNext(ntfs::kGetNtfsFileRecord, 40);
  EXPECT_EQ(read(f).delivered, 0u);
  EXPECT_EQ(read(f).delivered, kAllFileValues);
  EXPECT_EQ(ReadFileRecord(slots_, 3, 16, kAllFileValues).delivered, 0u);
  EXPECT_EQ(ReadFileRecord(slots_, 99, 16, kAllFileValues).delivered, 0u);
}

}  // namespace
}  // namespace vessiko
