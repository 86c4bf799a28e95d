// One owner per database folder. The owner holds an exclusive lock on DIR/lock for as long as it
// runs (the kernel lets go of it when the process ends, however it ends) and, once its index is
// ready, listens on the socket DIR/socket. Every other vessiko process on the folder reaches the
// owner through the socket, or waits for it; none opens the index itself, so the databases and
// the mirrors' states in the folder are always the saves of one owner.
#pragma once

#include <sys/socket.h>
#include <sys/un.h>

#include <string>

namespace vessiko {

// mkdir -p.
bool MakeFolders(const std::string& path);

class FolderLock {
 public:
  explicit FolderLock(const std::string& folder) : path_(folder + "/lock") {}
  ~FolderLock();
  FolderLock(const FolderLock&) = delete;
  FolderLock& operator=(const FolderLock&) = delete;

  // Takes the lock when no other process holds it, and writes this process's id in the file.
  // False when another holds it, or the file cannot be opened (*error then says why).
  bool tryLock(std::string* error);
  bool held() const { return held_; }
  // The process id the owner wrote; 0 when unknown.
  long ownerId() const;

 private:
  std::string path_;
  int fd_ = -1;
  bool held_ = false;
};

// The address of a folder's socket. A path too long for sockaddr_un is reached through the
// folder's descriptor (/proc/self/fd/N/socket), which this object keeps open.
class SocketAddress {
 public:
  explicit SocketAddress(const std::string& folder);
  ~SocketAddress();
  SocketAddress(const SocketAddress&) = delete;
  SocketAddress& operator=(const SocketAddress&) = delete;

  bool valid() const { return valid_; }
  const sockaddr* address() const { return reinterpret_cast<const sockaddr*>(&address_); }
  socklen_t length() const { return sizeof address_; }
  // The path to unlink or chmod (possibly through /proc/self/fd).
  const char* path() const { return address_.sun_path; }

 private:
  sockaddr_un address_{};
  int folder_ = -1;
  bool valid_ = false;
};

// A connection to the owner of the folder; -1 when no process listens there now.
int ConnectToOwner(const std::string& folder);

}  // namespace vessiko
