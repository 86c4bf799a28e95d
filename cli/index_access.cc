#include "cli/index_access.h"

#include <unistd.h>

#include <string>

namespace vessiko {

namespace {

constexpr useconds_t kRetryMicroseconds = 50000;

}  // namespace

bool ReachIndex(const CommandLine& line, bool ownOnly, UserMessages& messages, IndexAccess* access,
                int* status) {
  if (!MakeFolders(line.databaseFolder)) {
    messages.showMessage("vessiko", "cannot create the database folder " + line.databaseFolder,
                         MessageIcon::kError);
    *status = 2;
    return false;
  }
  auto lock = std::make_unique<FolderLock>(line.databaseFolder);
  bool told = false;
  for (;;) {
    std::string error;
    if (lock->tryLock(&error)) {
      access->lock = std::move(lock);
      return true;
    }
    if (!error.empty()) {
      messages.showMessage("vessiko", error, MessageIcon::kError);
      *status = 2;
      return false;
    }
    if (!ownOnly) {
      access->connection = ConnectToOwner(line.databaseFolder);
      if (access->connection >= 0) return true;
    }
    if (!told) {
      told = true;
      const long owner = lock->ownerId();
      messages.showStatus("vessiko: waiting for " +
                          (owner > 0 ? "process " + std::to_string(owner) : "the process") +
                          ", which owns the index in " + line.databaseFolder);
    }
    usleep(kRetryMicroseconds);
  }
}

bool ReachOwner(const CommandLine& line, UserMessages& messages, IndexAccess* access,
                std::unique_ptr<ServiceClient>* client, int* status) {
  for (;;) {
    if (!ReachIndex(line, false, messages, access, status)) return false;
    if (access->connection < 0) return true;
    auto session = std::make_unique<ServiceClient>(access->connection, messages);
    access->connection = -1;
    if (session->open(line, status)) {
      *client = std::move(session);
      return true;
    }
    if (*status >= 0) return false;
  }
}

}  // namespace vessiko
