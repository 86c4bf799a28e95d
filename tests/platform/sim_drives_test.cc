#include <gtest/gtest.h>

#include "platform/ntfs_layout.h"
#include "platform/sim/sim_machine.h"
#include "tests/platform/sim_test_readers.h"

namespace vessiko {
namespace {

using simtest::Call;

TEST(SimDrives, DriveStringsListEveryRootInLetterOrderWithTheFinalNul) {
  SimMachine machine;
  machine.addNtfsDrive('D');
  machine.addNtfsDrive('C');
  machine.addDrive('E', ntfs::kDriveCdRom, u"CDFS");
  char16_t buffer[32];
  std::fill(std::begin(buffer), std::end(buffer), u'#');
  ASSERT_EQ(machine.logicalDriveStrings(buffer, 32), 12u);
  EXPECT_EQ(std::u16string(buffer, 13), std::u16string(u"C:\\\0D:\\\0E:\\\0\0", 13));
  EXPECT_EQ(buffer[13], u'#');
}

TEST(SimDrives, TooSmallBufferGetsTheSizeNeededAndNothingWritten) {
  SimMachine machine;
  machine.addNtfsDrive('C');
  machine.addNtfsDrive('Z');
  char16_t buffer[8];
  std::fill(std::begin(buffer), std::end(buffer), u'#');
  // 8 units hold both strings but not the final NUL.
  EXPECT_EQ(machine.logicalDriveStrings(buffer, 8), 9u);
  EXPECT_EQ(buffer[0], u'#');
  EXPECT_EQ(machine.logicalDriveStrings(nullptr, 0), 9u);
  char16_t exact[9];
  EXPECT_EQ(machine.logicalDriveStrings(exact, 9), 8u);
  EXPECT_EQ(std::u16string(exact, 9), std::u16string(u"C:\\\0Z:\\\0\0", 9));
}

TEST(SimDrives, NoDrivesGiveAnEmptyList) {
  SimMachine machine;
  char16_t buffer[4] = {u'#', u'#', u'#', u'#'};
  EXPECT_EQ(machine.logicalDriveStrings(buffer, 4), 0u);
  EXPECT_EQ(buffer[0], u'\0');
}

TEST(SimDrives, LowerCaseRootIsListedLowerAndStillAnswers) {
  SimMachine machine;
  machine.addNtfsDrive('C', u"System");
  machine.setLowerCaseRoot('C', true);
  char16_t buffer[8];
  ASSERT_EQ(machine.logicalDriveStrings(buffer, 8), 4u);
  EXPECT_EQ(std::u16string(buffer, 3), u"c:\\");
  EXPECT_EQ(machine.driveType(u"c:\\"), ntfs::kDriveFixed);
  char16_t label[16], fs[16];
  EXPECT_TRUE(machine.volumeInformation(u"c:\\", label, 16, fs, 16));
  EXPECT_EQ(std::u16string(label), u"System");
  uint32_t error = 0;
  EXPECT_NE(machine.openVolume(u"\\\\.\\c:", &error), nullptr);
}

TEST(SimDrives, TypesOfEveryKindAndOfRootsThatAreNone) {
  SimMachine machine;
  machine.addNtfsDrive('C');
  machine.addDrive('E', ntfs::kDriveFixed, u"FAT32");
  machine.addDrive('F', ntfs::kDriveRemovable, u"FAT32");
  machine.addDrive('G', ntfs::kDriveCdRom, u"CDFS");
  EXPECT_EQ(machine.driveType(u"C:\\"), ntfs::kDriveFixed);
  EXPECT_EQ(machine.driveType(u"E:\\"), ntfs::kDriveFixed);
  EXPECT_EQ(machine.driveType(u"F:\\"), ntfs::kDriveRemovable);
  EXPECT_EQ(machine.driveType(u"G:\\"), ntfs::kDriveCdRom);
  EXPECT_EQ(machine.driveType(u"H:\\"), ntfs::kDriveNoRootDir);
  EXPECT_EQ(machine.driveType(u"C:"), ntfs::kDriveNoRootDir);
  EXPECT_EQ(machine.driveType(u"C:\\x"), ntfs::kDriveNoRootDir);
  machine.removeDrive('F');
  EXPECT_EQ(machine.driveType(u"F:\\"), ntfs::kDriveNoRootDir);
}

TEST(SimDrives, VolumeInformationCutsTextsToTheirBuffersAndCanFail) {
  SimMachine machine;
  machine.addNtfsDrive('C', u"A long volume label");
  machine.addDrive('E', ntfs::kDriveFixed, u"FAT32", u"USB");
  char16_t label[8], fs[4];
  ASSERT_TRUE(machine.volumeInformation(u"C:\\", label, 8, fs, 4));
  EXPECT_EQ(std::u16string(label), u"A long ");
  EXPECT_EQ(std::u16string(fs), u"NTF");
  char16_t fullFs[16];
  ASSERT_TRUE(machine.volumeInformation(u"E:\\", nullptr, 0, fullFs, 16));
  EXPECT_EQ(std::u16string(fullFs), u"FAT32");
  machine.setVolumeInformationFails('C', true);
  EXPECT_FALSE(machine.volumeInformation(u"C:\\", label, 8, fs, 4));
  machine.setVolumeInformationFails('C', false);
  EXPECT_TRUE(machine.volumeInformation(u"C:\\", label, 8, fs, 4));
  EXPECT_FALSE(machine.volumeInformation(u"Q:\\", label, 8, fs, 4));
}

TEST(SimDrives, OpeningFailsWithTheChosenCodeOrForPathsThatAreNoVolume) {
  SimMachine machine;
  machine.addNtfsDrive('C');
  uint32_t error = 0;
  machine.setOpenError('C', ntfs::kErrorAccessDenied);
  EXPECT_EQ(machine.openVolume(u"\\\\.\\C:", &error), nullptr);
  EXPECT_EQ(error, ntfs::kErrorAccessDenied);
  machine.setOpenError('C', 0);
  EXPECT_NE(machine.openVolume(u"\\\\.\\C:", &error), nullptr);
  for (const char16_t* path : {u"\\\\.\\D:", u"C:\\", u"\\\\.\\C:\\", u"\\\\?\\C:"}) {
    error = 0;
    EXPECT_EQ(machine.openVolume(path, &error), nullptr);
    EXPECT_EQ(error, ntfs::kErrorFileNotFound);
  }
}

TEST(SimDrives, OpenedNtfsVolumeAnswersAndOthersKnowNoNtfsCode) {
  SimMachine machine;
  machine.addNtfsDrive('C');
  machine.addDrive('E', ntfs::kDriveFixed, u"FAT32");
  uint32_t error = 0;
  auto ntfsVolume = machine.openVolume(u"\\\\.\\C:", &error);
  auto fatVolume = machine.openVolume(u"\\\\.\\E:", &error);
  ASSERT_NE(ntfsVolume, nullptr);
  ASSERT_NE(fatVolume, nullptr);
  EXPECT_TRUE(Call(*ntfsVolume, ntfs::kGetNtfsVolumeData, {}, 96).ok);
  const auto fat = Call(*fatVolume, ntfs::kGetNtfsVolumeData, {}, 96);
  EXPECT_FALSE(fat.ok);
  EXPECT_EQ(fat.error, ntfs::kErrorInvalidFunction);
}

TEST(SimDrives, HandleKeepsItsVolumeAfterTheMachineIsGone) {
  std::unique_ptr<Volume> handle;
  {
    SimMachine machine;
    machine.addNtfsDrive('C').createQuietly({.name = u"kept.txt"});
    uint32_t error = 0;
    handle = machine.openVolume(u"\\\\.\\C:", &error);
  }
  const auto reply = Call(*handle, ntfs::kEnumUsnData, simtest::EnumInput(0, 0, INT64_MAX), 4096);
  ASSERT_TRUE(reply.ok);
  ASSERT_EQ(simtest::UsnRecords(reply.bytes).size(), 1u);
  EXPECT_EQ(simtest::UsnRecords(reply.bytes)[0].name, u"kept.txt");
}

}  // namespace
}  // namespace vessiko
