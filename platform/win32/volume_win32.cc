#include "platform/win32/volume_win32.h"

#include <windows.h>

#include <mutex>
#include <string>

#include "platform/win32/wide_path.h"

namespace vessiko {

namespace {

class Win32Volume final : public Volume {
 public:
  Win32Volume(HANDLE handle, std::u16string devicePath)
      : handle_(handle), devicePath_(std::move(devicePath)) {}
  ~Win32Volume() override { CloseHandle(handle_); }

  bool control(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
               uint32_t* returned, uint32_t* error) override {
    DWORD bytes = 0;
    const BOOL ok = DeviceIoControl(handle_, code, const_cast<void*>(in), inSize, out, outSize,
                                    &bytes, nullptr);
    *returned = bytes;
    if (!ok) *error = GetLastError();
    return ok != 0;
  }

  bool readAt(uint64_t offset, void* buffer, uint32_t size, uint32_t* read,
              uint32_t* error) override {
    // The file pointer is shared by every thread using the handle: seek and read go together.
    std::lock_guard lock(readMutex_);
    *read = 0;
    LARGE_INTEGER distance;
    distance.QuadPart = static_cast<LONGLONG>(offset);
    if (!SetFilePointerEx(handle_, distance, nullptr, FILE_BEGIN)) {
      *error = GetLastError();
      return false;
    }
    DWORD bytes = 0;
    const BOOL ok = ReadFile(handle_, buffer, size, &bytes, nullptr);
    *read = bytes;
    if (!ok) *error = GetLastError();
    return ok != 0;
  }

  std::unique_ptr<Volume> reopen() override {
    uint32_t error = 0;
    return OpenVolumeDevice(devicePath_.c_str(), &error);
  }

 private:
  HANDLE handle_;
  std::u16string devicePath_;
  std::mutex readMutex_;
};

}  // namespace

std::unique_ptr<Volume> OpenVolumeDevice(const char16_t* devicePath, uint32_t* error) {
  // A synchronous handle: the I/O manager runs the calls made on it one at a time.
  HANDLE handle =
      CreateFileW(WideText(devicePath), GENERIC_READ | GENERIC_WRITE,
                  FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING, 0, nullptr);
  if (handle == INVALID_HANDLE_VALUE) {
    *error = GetLastError();
    return nullptr;
  }
  return std::make_unique<Win32Volume>(handle, devicePath);
}

}  // namespace vessiko
