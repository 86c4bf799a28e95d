#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <string>

#include "platform/files.h"

namespace vessiko {

namespace {

class PosixReader final : public FileReader {
 public:
  explicit PosixReader(int fd) : fd_(fd) {}
  ~PosixReader() override { ::close(fd_); }

  bool size(uint64_t* bytes, uint32_t* error) override {
    struct stat st;
    if (::fstat(fd_, &st) != 0) {
      *error = static_cast<uint32_t>(errno);
      return false;
    }
    *bytes = static_cast<uint64_t>(st.st_size);
    return true;
  }

  bool read(void* buffer, size_t n, size_t* got, uint32_t* error) override {
    auto* out = static_cast<char*>(buffer);
    size_t done = 0;
    while (done < n) {
      const ssize_t r = ::read(fd_, out + done, n - done);
      if (r < 0) {
        if (errno == EINTR) continue;
        *error = static_cast<uint32_t>(errno);
        *got = done;
        return false;
      }
      if (r == 0) break;
      done += static_cast<size_t>(r);
    }
    *got = done;
    return true;
  }

 private:
  int fd_;
};

bool WriteAll(int fd, const uint8_t* data, size_t n) {
  while (n > 0) {
    const ssize_t r = ::write(fd, data, n);
    if (r < 0) {
      if (errno == EINTR) continue;
      return false;
    }
    data += r;
    n -= static_cast<size_t>(r);
  }
  return true;
}

std::string FolderOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

class PosixFiles final : public Files {
 public:
  std::unique_ptr<FileReader> openForRead(const std::string& path, uint32_t* error) override {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
      *error = static_cast<uint32_t>(errno);
      return nullptr;
    }
    return std::make_unique<PosixReader>(fd);
  }

  bool replaceWith(const std::string& path, std::span<const std::span<const uint8_t>> pieces,
                   uint32_t* error) override {
    const std::string temp = path + ".tmp" + std::to_string(::getpid());
    if (writeWhole(temp, pieces, error) && moveReplacing(temp, path, error)) return true;
    ::unlink(temp.c_str());
    return false;
  }

  bool writeWhole(const std::string& path, std::span<const std::span<const uint8_t>> pieces,
                  uint32_t* error) override {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
      *error = static_cast<uint32_t>(errno);
      return false;
    }
    bool ok = true;
    for (const auto& piece : pieces) {
      if (!WriteAll(fd, piece.data(), piece.size())) {
        ok = false;
        break;
      }
    }
    if (ok && ::fsync(fd) != 0) ok = false;
    if (!ok) *error = static_cast<uint32_t>(errno);
    if (::close(fd) != 0 && ok) {
      *error = static_cast<uint32_t>(errno);
      ok = false;
    }
    return ok;
  }

  bool moveReplacing(const std::string& from, const std::string& to, uint32_t* error) override {
    if (::rename(from.c_str(), to.c_str()) != 0) {
      *error = static_cast<uint32_t>(errno);
      return false;
    }
    // The rename lasts once the folder is on the disk. A folder that cannot be flushed still
    // has the file moved, which is what the answer tells.
    const int dir = ::open(FolderOf(to).c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
      ::fsync(dir);
      ::close(dir);
    }
    return true;
  }

  bool exists(const std::string& path) override {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
  }

  bool remove(const std::string& path) override { return ::unlink(path.c_str()) == 0; }
};

}  // namespace

Files& SystemFiles() {
  static PosixFiles files;
  return files;
}

}  // namespace vessiko
