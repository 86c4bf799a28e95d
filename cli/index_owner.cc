#include "cli/index_owner.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace vessiko {

namespace {

constexpr char kSocketName[] = "socket";

}  // namespace

bool MakeFolders(const std::string& path) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string part = path.substr(0, slash);
    if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) return true;
  }
}

FolderLock::~FolderLock() {
  if (fd_ >= 0) close(fd_);
}

bool FolderLock::tryLock(std::string* error) {
  if (held_) return true;
  if (fd_ < 0) fd_ = open(path_.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0600);
  if (fd_ < 0) {
    *error = "cannot open " + path_ + ": " + std::strerror(errno);
    return false;
  }
  if (flock(fd_, LOCK_EX | LOCK_NB) != 0) {
    if (errno != EWOULDBLOCK) *error = "cannot lock " + path_ + ": " + std::strerror(errno);
    return false;
  }
  held_ = true;
  // The id only feeds the status line of the processes that wait: a failed write costs nothing.
  const std::string id = std::to_string(getpid()) + "\n";
  [[maybe_unused]] const bool written =
      ftruncate(fd_, 0) == 0 && pwrite(fd_, id.data(), id.size(), 0) == ssize_t(id.size());
  return true;
}

long FolderLock::ownerId() const {
  char text[32] = {};
  const int fd = open(path_.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  const ssize_t n = pread(fd, text, sizeof text - 1, 0);
  close(fd);
  return n > 0 ? std::strtol(text, nullptr, 10) : 0;
}

SocketAddress::SocketAddress(const std::string& folder) {
  address_.sun_family = AF_UNIX;
  std::string path = folder + "/" + kSocketName;
  if (path.size() >= sizeof address_.sun_path) {
    folder_ = open(folder.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folder_ < 0) return;
    path = "/proc/self/fd/" + std::to_string(folder_) + "/" + kSocketName;
  }
  std::memcpy(address_.sun_path, path.c_str(), path.size() + 1);
  valid_ = true;
}

SocketAddress::~SocketAddress() {
  if (folder_ >= 0) close(folder_);
}

int ConnectToOwner(const std::string& folder) {
  const SocketAddress address(folder);
  if (!address.valid()) return -1;
  const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  if (connect(fd, address.address(), address.length()) != 0) {
    close(fd);
    return -1;
  }
  return fd;
}

}  // namespace vessiko
