// A simulated Windows machine: drives A to Z, each with its drive type, file-system name and
// label, NTFS ones with a SimVolume behind them. Answers the Drives calls as Windows does.
// Safe to call from several threads.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>

#include "platform/drives.h"
#include "platform/faults/volume_faults.h"
#include "platform/sim/sim_volume.h"

namespace vessiko {

// One drive letter of a SimMachine. Outside the class: clang cannot default-construct a nested
// class with member initialisers inside the optional of a member declared in the same class.
struct SimDrive {
  uint32_t type = 0;
  std::u16string fileSystem;
  std::u16string label;
  std::shared_ptr<SimVolume> volume;
  std::shared_ptr<VolumeFaults> faults = std::make_shared<VolumeFaults>();
  uint32_t openError = 0;
  bool informationFails = false;
  bool lowerCaseRoot = false;
};

class SimMachine : public Drives {
 public:
  // A fixed NTFS drive; returns its volume, owned by the machine and shared with its handles.
  SimVolume& addNtfsDrive(char letter, std::u16string label = u"",
                          const SimVolumeOptions& options = {});
  // A drive of another kind (ntfs::kDrive*) or file system, such as a FAT32 fixed drive, a
  // removable drive or a CD. Opening it works, but its control codes and raw reads fail with
  // ERROR_INVALID_FUNCTION: the model holds no such file system.
  void addDrive(char letter, uint32_t driveType, std::u16string fileSystem,
                std::u16string label = u"");
  void removeDrive(char letter);
  // The NTFS volume of a drive; the drive must have one.
  SimVolume& volume(char letter);
  std::shared_ptr<SimVolume> sharedVolume(char letter);
  // The faults planted in every handle openVolume gives for the drive, whatever its kind.
  VolumeFaults& faults(char letter);

  // openVolume of this drive fails with `error` (0: opens again).
  void setOpenError(char letter, uint32_t error);
  void setVolumeInformationFails(char letter, bool fails);
  // logicalDriveStrings lists the drive as "c:\" instead of "C:\".
  void setLowerCaseRoot(char letter, bool lower);

  uint32_t logicalDriveStrings(char16_t* buffer, uint32_t capacity) override;
  uint32_t driveType(const char16_t* root) override;
  bool volumeInformation(const char16_t* root, char16_t* label, uint32_t labelCapacity,
                         char16_t* fileSystem, uint32_t fileSystemCapacity) override;
  std::unique_ptr<Volume> openVolume(const char16_t* devicePath, uint32_t* error) override;

 private:
  using Drive = SimDrive;
  Drive& drive(char letter);
  // The drive a root such as "C:\" names, or null.
  Drive* driveOfRoot(const char16_t* root);

  std::mutex mutex_;
  std::array<std::optional<Drive>, 26> drives_;
};

}  // namespace vessiko
