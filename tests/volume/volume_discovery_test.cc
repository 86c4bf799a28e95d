// Discovery of the fixed NTFS volumes of a simulated machine and the set-up of their journals.
#include "volume/volume_discovery.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "platform/fakes/recording_messages.h"
#include "platform/ntfs_layout.h"
#include "platform/sim/sim_machine.h"
#include "platform/utf.h"
#include "volume/journal_control.h"

namespace vessiko {
namespace {

class RecordingRows : public VolumeRows {
 public:
  struct Row {
    int position;
    std::string text;
    bool isVolume;
    std::string second;
  };
  bool insertRow(int position, std::u16string_view text, bool isVolume) override {
    rows.push_back({position, Utf16ToUtf8(text), isVolume, ""});
    return true;
  }
  void setSecondColumn(int row, std::u16string_view text) override {
    for (auto& r : rows) {
      if (r.position == row) r.second = Utf16ToUtf8(text);
    }
  }
  std::vector<Row> rows;
};

class DiscoveryTest : public ::testing::Test {
 protected:
  void discover() { DiscoverVolumes(machine_, slots_, rows_, messages_); }

  RecordingMessages messages_;
  PrivateHeap heap_{messages_};
  VolumeSlots slots_{heap_};
  SimMachine machine_;
  RecordingRows rows_;
};

TEST_F(DiscoveryTest, FixedNtfsVolumesGetSlotsAndRowsOthersNothing) {
  machine_.addNtfsDrive('C', u"System");
  machine_.addDrive('E', ntfs::kDriveFixed, u"FAT32", u"Stick");
  machine_.addDrive('F', ntfs::kDriveRemovable, u"NTFS", u"Backup");
  machine_.addNtfsDrive('D', u"");
  machine_.addDrive('R', ntfs::kDriveCdRom, u"CDFS", u"Disc");
  discover();

  EXPECT_TRUE(slots_[2].present());
  EXPECT_TRUE(slots_[3].present());
  EXPECT_FALSE(slots_[4].present());
  EXPECT_FALSE(slots_[5].present());
  EXPECT_FALSE(slots_[17].present());
  ASSERT_EQ(rows_.rows.size(), 2u);
  EXPECT_EQ(rows_.rows[0].position, 0);
  EXPECT_EQ(rows_.rows[0].text, "System (C:)");
  EXPECT_TRUE(rows_.rows[0].isVolume);
  EXPECT_EQ(rows_.rows[0].second, "是");
  EXPECT_EQ(rows_.rows[1].position, 1);
  EXPECT_EQ(rows_.rows[1].text, " (D:)");  // an unlabelled volume

  EXPECT_EQ(slots_[2].bytesPerCluster, 4096u);
  EXPECT_EQ(slots_[2].fileRecordBufferSize, 1024u + 15);
  ASSERT_NE(slots_[2].fileRecordBuffer, nullptr);
  const ChangeJournalState journal = machine_.volume('C').journal();
  EXPECT_EQ(slots_[2].journalId, journal.id);
  EXPECT_EQ(slots_[2].firstUsn, journal.firstUsn);
  EXPECT_EQ(slots_[2].nextUsn, journal.nextUsn);
  EXPECT_TRUE(messages_.messages().empty());
}

TEST_F(DiscoveryTest, LowerCaseRootIsTheUpperCaseDrive) {
  machine_.addNtfsDrive('G', u"Games");
  machine_.setLowerCaseRoot('G', true);
  discover();
  EXPECT_TRUE(slots_[6].present());
  ASSERT_EQ(rows_.rows.size(), 1u);
  EXPECT_EQ(rows_.rows[0].text, "Games (G:)");
}

TEST_F(DiscoveryTest, FileSystemNamesStartingWithNtfsAreAccepted) {
  machine_.addDrive('H', ntfs::kDriveFixed, u"NTFSX", u"Odd");
  machine_.addDrive('I', ntfs::kDriveFixed, u"NTF", u"Short");
  discover();
  ASSERT_EQ(rows_.rows.size(), 1u);
  EXPECT_EQ(rows_.rows[0].text, "Odd (H:)");
}

TEST_F(DiscoveryTest, AVolumeThatFailsToOpenKeepsItsRowAndSaysSoOnce) {
  machine_.addNtfsDrive('C', u"System");
  machine_.addNtfsDrive('D', u"Data");
  machine_.setOpenError('D', 21);  // ERROR_NOT_READY
  discover();
  EXPECT_TRUE(slots_[2].present());
  EXPECT_FALSE(slots_[3].present());
  EXPECT_EQ(rows_.rows.size(), 2u);
  EXPECT_EQ(messages_.errors(), std::vector<std::string>{"创建卷D失败 代码21"});
}

TEST_F(DiscoveryTest, WithoutAnAdministratorsTokenOneMessageNamesEveryVolume) {
  for (const char letter : {'C', 'D', 'E'}) {
    machine_.addNtfsDrive(letter, u"Disk");
    machine_.setOpenError(letter, ntfs::kErrorAccessDenied);
  }
  discover();
  EXPECT_FALSE(slots_[2].present());
  EXPECT_EQ(rows_.rows.size(), 3u);
  EXPECT_EQ(messages_.errors(),
            std::vector<std::string>{
                "没有管理员权限，无法读取卷 C: D: E:。请右击 Vessiko，选择“以管理员身份运行”。"});
}

TEST_F(DiscoveryTest, UnreadableVolumeInformationSkipsTheRoot) {
  machine_.addNtfsDrive('C', u"System");
  machine_.setVolumeInformationFails('C', true);
  discover();
  EXPECT_FALSE(slots_[2].present());
  EXPECT_TRUE(rows_.rows.empty());
}

TEST_F(DiscoveryTest, NoNtfsVolumeLeavesEverySlotEmpty) {
  machine_.addDrive('C', ntfs::kDriveFixed, u"exFAT", u"");
  discover();
  for (uint32_t v = 0; v < kVolumeCount; ++v)
    EXPECT_FALSE(slots_[v].present());
  EXPECT_TRUE(rows_.rows.empty());
}

TEST_F(DiscoveryTest, JournalsAreCreatedWithTheirTwoSizesAndExistingOnesKept) {
  SimVolumeOptions none;
  none.journal = false;
  SimVolume& missing = machine_.addNtfsDrive('C', u"", none);
  SimVolume& deleting = machine_.addNtfsDrive('D', u"");
  SimVolume& existing = machine_.addNtfsDrive('E', u"");
  const uint64_t deletedId = deleting.journal().id;
  deleting.beginJournalDeletion();
  existing.createJournal(123 << 20, 7 << 20);
  const ChangeJournalState before = existing.journal();
  discover();

  EXPECT_TRUE(missing.journal().active);
  EXPECT_EQ(missing.journal().maximumSize, kNewJournalSize);
  EXPECT_EQ(missing.journal().allocationDelta, kNewJournalDelta);
  EXPECT_EQ(slots_[2].journalId, missing.journal().id);

  EXPECT_TRUE(deleting.journal().active);
  EXPECT_FALSE(deleting.journal().deleting);
  EXPECT_NE(deleting.journal().id, deletedId);
  EXPECT_EQ(deleting.journal().maximumSize, kRecreatedJournalSize);
  EXPECT_EQ(deleting.journal().allocationDelta, kRecreatedJournalDelta);
  EXPECT_EQ(slots_[3].journalId, deleting.journal().id);

  EXPECT_EQ(existing.journal().id, before.id);
  EXPECT_EQ(existing.journal().maximumSize, before.maximumSize);
  EXPECT_EQ(slots_[4].journalId, before.id);
}

TEST_F(DiscoveryTest, JournalThatCannotBeQueriedLeavesZeroes) {
  machine_.addNtfsDrive('C', u"");
  machine_.faults('C').failAlways(ntfs::kQueryUsnJournal, ntfs::kErrorInvalidFunction);
  discover();
  EXPECT_TRUE(slots_[2].present());
  EXPECT_EQ(slots_[2].journalId, 0u);
  EXPECT_EQ(slots_[2].nextUsn, 0);
}

}  // namespace
}  // namespace vessiko
