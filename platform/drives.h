// The machine's drives: the logical drive strings, each root's drive type and volume
// information, and opening a volume for raw access. On Windows a pass-through to
// GetLogicalDriveStringsW, GetDriveTypeW, GetVolumeInformationW and CreateFileW; in tests the
// simulated machine, on Linux the mirrored directory trees. Texts are UTF-16, NUL-terminated,
// as the Win32 calls take and give them.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/volume.h"

namespace vessiko {

class Drives {
 public:
  virtual ~Drives() = default;
  // GetLogicalDriveStringsW: root strings such as "C:\" each followed by a NUL, then a final
  // NUL. Returns the units written without the final NUL, or the units needed when the buffer
  // is too small (nothing written then).
  virtual uint32_t logicalDriveStrings(char16_t* buffer, uint32_t capacity) = 0;
  // GetDriveTypeW: one of the ntfs::kDrive* values.
  virtual uint32_t driveType(const char16_t* root) = 0;
  // GetVolumeInformationW: the volume label and the file-system name, each cut to its buffer.
  // False when the volume information cannot be read.
  virtual bool volumeInformation(const char16_t* root, char16_t* label, uint32_t labelCapacity,
                                 char16_t* fileSystem, uint32_t fileSystemCapacity) = 0;
  // CreateFileW on a device path such as "\\.\C:", GENERIC_READ | GENERIC_WRITE, shared for
  // reading and writing, OPEN_EXISTING. Null with the system error code on failure.
  virtual std::unique_ptr<Volume> openVolume(const char16_t* devicePath, uint32_t* error) = 0;
};

}  // namespace vessiko
