#include <windows.h>

#include <string>

#include "platform/files.h"
#include "platform/win32/wide_path.h"

namespace vessiko {

namespace {

class Win32Reader final : public FileReader {
 public:
  explicit Win32Reader(HANDLE file) : file_(file) {}
  ~Win32Reader() override { CloseHandle(file_); }

  bool size(uint64_t* bytes, uint32_t* error) override {
    LARGE_INTEGER size;
    if (!GetFileSizeEx(file_, &size)) {
      *error = GetLastError();
      return false;
    }
    *bytes = static_cast<uint64_t>(size.QuadPart);
    return true;
  }

  bool read(void* buffer, size_t n, size_t* got, uint32_t* error) override {
    auto* out = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < n) {
      const DWORD want = static_cast<DWORD>(n - done > 0x40000000 ? 0x40000000 : n - done);
      DWORD read = 0;
      if (!ReadFile(file_, out + done, want, &read, nullptr)) {
        *error = GetLastError();
        *got = done;
        return false;
      }
      if (read == 0) break;
      done += read;
    }
    *got = done;
    return true;
  }

 private:
  HANDLE file_;
};

class Win32Files final : public Files {
 public:
  std::unique_ptr<FileReader> openForRead(const std::string& path, uint32_t* error) override {
    HANDLE file = CreateFileW(Widen(path).c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr,
                              OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      *error = GetLastError();
      return nullptr;
    }
    return std::make_unique<Win32Reader>(file);
  }

  bool replaceWith(const std::string& path, std::span<const std::span<const uint8_t>> pieces,
                   uint32_t* error) override {
    const std::string temp = path + ".tmp" + std::to_string(GetCurrentProcessId());
    if (writeWhole(temp, pieces, error) && moveReplacing(temp, path, error)) return true;
    DeleteFileW(Widen(temp).c_str());
    return false;
  }

  bool writeWhole(const std::string& path, std::span<const std::span<const uint8_t>> pieces,
                  uint32_t* error) override {
    HANDLE file = CreateFileW(Widen(path).c_str(), GENERIC_READ | GENERIC_WRITE,
                              FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, CREATE_ALWAYS,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) {
      *error = GetLastError();
      return false;
    }
    bool ok = true;
    for (const auto& piece : pieces) {
      const uint8_t* data = piece.data();
      size_t left = piece.size();
      while (ok && left > 0) {
        const DWORD want = static_cast<DWORD>(left > 0x40000000 ? 0x40000000 : left);
        DWORD written = 0;
        if (!WriteFile(file, data, want, &written, nullptr) || written == 0) ok = false;
        data += written;
        left -= written;
      }
      if (!ok) break;
    }
    if (ok && !FlushFileBuffers(file)) ok = false;
    if (!ok) *error = GetLastError();
    CloseHandle(file);
    return ok;
  }

  bool moveReplacing(const std::string& from, const std::string& to, uint32_t* error) override {
    // Write-through: the call returns once the move is on the disk.
    if (MoveFileExW(Widen(from).c_str(), Widen(to).c_str(),
                    MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
      return true;
    }
    *error = GetLastError();
    return false;
  }

  bool exists(const std::string& path) override {
    return GetFileAttributesW(Widen(path).c_str()) != INVALID_FILE_ATTRIBUTES;
  }

  bool remove(const std::string& path) override { return DeleteFileW(Widen(path).c_str()) != 0; }
};

}  // namespace

Files& SystemFiles() {
  static Win32Files files;
  return files;
}

}  // namespace vessiko
