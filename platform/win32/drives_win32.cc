#include <windows.h>

#include "platform/system_drives.h"
#include "platform/win32/volume_win32.h"
#include "platform/win32/wide_path.h"

namespace vessiko {

namespace {

// Copies a NUL-terminated text cut to the capacity, as the interface promises; the Win32 call
// itself fails on a buffer that is too small.
void CopyCut(const wchar_t* text, char16_t* buffer, uint32_t capacity) {
  if (buffer == nullptr || capacity == 0) return;
  uint32_t units = 0;
  while (units + 1 < capacity && text[units] != L'\0') {
    buffer[units] = static_cast<char16_t>(text[units]);
    ++units;
  }
  buffer[units] = u'\0';
}

class Win32Drives final : public Drives {
 public:
  uint32_t logicalDriveStrings(char16_t* buffer, uint32_t capacity) override {
    return GetLogicalDriveStringsW(capacity, reinterpret_cast<wchar_t*>(buffer));
  }

  uint32_t driveType(const char16_t* root) override { return GetDriveTypeW(WideText(root)); }

  bool volumeInformation(const char16_t* root, char16_t* label, uint32_t labelCapacity,
                         char16_t* fileSystem, uint32_t fileSystemCapacity) override {
    wchar_t fullLabel[MAX_PATH + 1];
    wchar_t fullFileSystem[MAX_PATH + 1];
    if (!GetVolumeInformationW(WideText(root), fullLabel, MAX_PATH + 1, nullptr, nullptr, nullptr,
                               fullFileSystem, MAX_PATH + 1)) {
      return false;
    }
    CopyCut(fullLabel, label, labelCapacity);
    CopyCut(fullFileSystem, fileSystem, fileSystemCapacity);
    return true;
  }

  std::unique_ptr<Volume> openVolume(const char16_t* devicePath, uint32_t* error) override {
    return OpenVolumeDevice(devicePath, error);
  }
};

}  // namespace

Drives& systemDrives() {
  static Win32Drives drives;
  return drives;
}

}  // namespace vessiko
