#include <errno.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstring>

#include "platform/image_file.h"

namespace vessiko {

namespace {

class ImageFile : public ImageBytes {
 public:
  ImageFile(int fd, uint64_t size) : fd_(fd), size_(size) {}
  ~ImageFile() override { close(fd_); }
  ImageFile(const ImageFile&) = delete;
  ImageFile& operator=(const ImageFile&) = delete;

  bool read(uint64_t offset, void* out, uint32_t size) override {
    if (offset > size_ || size > size_ - offset) return false;
    auto* bytes = static_cast<char*>(out);
    uint32_t done = 0;
    while (done < size) {
      const ssize_t n = pread(fd_, bytes + done, size - done, static_cast<off_t>(offset + done));
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) return false;
      done += static_cast<uint32_t>(n);
    }
    return true;
  }
  uint64_t size() const override { return size_; }
  void prefetch(uint64_t offset, uint64_t size) override {
    posix_fadvise(fd_, static_cast<off_t>(offset), static_cast<off_t>(size), POSIX_FADV_WILLNEED);
  }

 private:
  const int fd_;
  const uint64_t size_;
};

}  // namespace

std::shared_ptr<ImageBytes> OpenImageFile(const std::string& path, std::string* error) {
  const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    *error = std::strerror(errno);
    return nullptr;
  }
  // A block device's size is where its end lies; stat gives it 0.
  const off_t end = lseek(fd, 0, SEEK_END);
  if (end < 0) {
    *error = std::strerror(errno);
    close(fd);
    return nullptr;
  }
  return std::make_shared<ImageFile>(fd, static_cast<uint64_t>(end));
}

}  // namespace vessiko
