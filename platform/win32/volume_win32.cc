#include "platform/win32/volume_win32.h"

#include <mutex>

namespace vessiko {

namespace {

class Win32Volume final : public Volume {
 public:
  explicit Win32Volume(HANDLE handle) : handle_(handle) {}
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

 private:
  HANDLE handle_;
  std::mutex readMutex_;
};

}  // namespace

std::unique_ptr<Volume> adoptVolumeHandle(HANDLE handle) {
  return std::make_unique<Win32Volume>(handle);
}

}  // namespace vessiko
