// MirrorDrives: the drives the Linux face shows the engine, one fixed NTFS drive per mirrored
// tree, each with its MirrorVolume behind it, and one per NTFS partition or image read in place.
// Answers the Drives calls as Windows does for
// fixed NTFS drives: the logical drive strings, the drive type, the label and "NTFS", and
// opening "\\.\X:".
//
// Thread safety: every call may come from any thread.
#pragma once

#include <array>
#include <cstdint>
#include <memory>
#include <string>

#include "mirror/mirror_volume.h"
#include "platform/drives.h"
#include "platform/mutex.h"

namespace vessiko {

class MirrorDrives : public Drives {
 public:
  // Drive `letter` (A to Z) with its label, the volume shared with the handles it opens.
  void add(char letter, std::u16string label, std::shared_ptr<MirrorVolume> volume);
  // Drive `letter` over a volume of its own; each handle opened is the volume's reopen().
  void add(char letter, std::u16string label, std::shared_ptr<Volume> volume);

  uint32_t logicalDriveStrings(char16_t* buffer, uint32_t capacity) override;
  uint32_t driveType(const char16_t* root) override;
  bool volumeInformation(const char16_t* root, char16_t* label, uint32_t labelCapacity,
                         char16_t* fileSystem, uint32_t fileSystemCapacity) override;
  std::unique_ptr<Volume> openVolume(const char16_t* devicePath, uint32_t* error) override;

 private:
  struct Drive {
    std::u16string label;
    std::shared_ptr<MirrorVolume> volume;
    std::shared_ptr<Volume> own;  // set instead of volume for a drive read in place
  };
  // The drive a root such as "C:\" names, or null.
  const Drive* driveOfRoot(const char16_t* root) const REQUIRES(mutex_);

  Mutex mutex_;
  std::array<Drive, 26> drives_ GUARDED_BY(mutex_);
};

}  // namespace vessiko
