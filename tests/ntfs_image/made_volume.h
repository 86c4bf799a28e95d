// What the tests of the NTFS readers share: volumes Debian's mkntfs makes in a temporary folder
// and their bytes, an image held in memory, one fixed drive over an image for discovery and the
// build, and the whole file table read through FSCTL_ENUM_USN_DATA.
#pragma once

#include <sys/types.h>

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "platform/drives.h"
#include "platform/image_bytes.h"
#include "platform/volume.h"

namespace vessiko::testing {

// Runs a shell command and gives its standard output. mkntfs lies in /usr/sbin, which a user's
// PATH may lack.
std::string Run(const std::string& command);

bool HaveMkntfs();

// A fresh NTFS volume in a file of a temporary folder, made by mkntfs with the options given, and
// its bytes. The folder goes with the object.
class MadeVolume {
 public:
  MadeVolume(uint64_t bytes, const std::string& options);
  ~MadeVolume();
  MadeVolume(const MadeVolume&) = delete;
  MadeVolume& operator=(const MadeVolume&) = delete;

  // ntfsinfo's "Name: value" lines about the volume and its file table.
  std::map<std::string, std::string> info() const;
  // ntfscluster's "name : value" lines about the volume's clusters.
  std::map<std::string, std::string> clusterInfo() const;
  // Copies a file of `size` random bytes into the volume's root as `name` (UTF-8).
  void copyIn(const std::string& name, size_t size);
  // Reads the bytes anew from the file.
  void reload();

  const std::string& folder() const { return folder_; }
  const std::string& path() const { return path_; }

  std::vector<uint8_t> bytes_;

 private:
  std::string folder_;
  std::string path_;
};

// Writes the $Max and $J streams of $Extend\$UsnJrnl into the volume's file, as ntfscp can, and
// the start of $LogFile (ntfscp cuts it to one page): a restart page, as Windows leaves a volume
// it had last, or the 0xFF a Linux driver leaves.
void WriteJournal(const MadeVolume& volume, const std::string& sizes, const std::string& records,
                  bool windowsLast = true);

// ntfs-3g serving an image at a mount point, in the foreground: the process ends once it has
// written everything back after the unmount, which a daemon's unmount does not wait for.
class Ntfs3gMount {
 public:
  // ntfs-3g's messages go to `log`.
  Ntfs3gMount(const std::string& image, const std::string& point, const std::string& log,
              bool readOnly = false);
  ~Ntfs3gMount() { unmount(); }
  Ntfs3gMount(const Ntfs3gMount&) = delete;
  Ntfs3gMount& operator=(const Ntfs3gMount&) = delete;

  // Empty when mounted, else why not.
  const std::string& failure() const { return failure_; }

  // True when the volume was unmounted and ntfs-3g finished cleanly.
  bool unmount();

 private:
  std::string point_;
  pid_t pid_ = -1;
  bool mounted_ = false;
  std::string failure_;
};

class MemoryImage : public ImageBytes {
 public:
  explicit MemoryImage(std::vector<uint8_t> bytes) : bytes_(std::move(bytes)) {}
  bool read(uint64_t offset, void* out, uint32_t size) override;
  uint64_t size() const override { return bytes_.size(); }

 private:
  std::vector<uint8_t> bytes_;
};

// One fixed NTFS drive, D, over the bytes of a volume.
class ImageDrive : public Drives {
 public:
  explicit ImageDrive(std::shared_ptr<ImageBytes> bytes) : bytes_(std::move(bytes)) {}
  explicit ImageDrive(std::vector<uint8_t> bytes)
      : bytes_(std::make_shared<MemoryImage>(std::move(bytes))) {}
  uint32_t logicalDriveStrings(char16_t* buffer, uint32_t capacity) override;
  uint32_t driveType(const char16_t*) override;
  bool volumeInformation(const char16_t*, char16_t* label, uint32_t labelCapacity,
                         char16_t* fileSystem, uint32_t fileSystemCapacity) override;
  std::unique_ptr<Volume> openVolume(const char16_t*, uint32_t* error) override;

 private:
  std::shared_ptr<ImageBytes> bytes_;
};

struct Listed {
  std::u16string name;
  uint64_t record;
  uint64_t parent;
  bool directory;
};

// The whole table through FSCTL_ENUM_USN_DATA, as the build reads it, in calls of `outSize`;
// *ended when the last call failed with ERROR_HANDLE_EOF. Every call that succeeds must move the
// start on, or the enumeration would never end.
std::vector<Listed> EnumerateAll(Volume& volume, uint32_t outSize, bool* ended);

}  // namespace vessiko::testing
