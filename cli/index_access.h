// How a mode reaches the index of its database folder: by owning it (the folder's lock is
// this process's), or through the process that owns it. While the owner starts (its socket is
// not up yet), the mode waits with a status line instead of opening the index itself; when the
// owner ends, the next one to take the lock owns the index.
#pragma once

#include <memory>

#include "cli/command_line.h"
#include "cli/index_owner.h"
#include "cli/service_client.h"
#include "platform/user_messages.h"

namespace vessiko {

struct IndexAccess {
  std::unique_ptr<FolderLock> lock;  // held when this process owns the index
  int connection = -1;               // otherwise a connection to the owner
};

// Waits until this process owns the index or reaches its owner; `ownOnly` (the service) only
// owns. False after a message when the database folder cannot be used, with the exit status.
bool ReachIndex(const CommandLine& line, bool ownOnly, UserMessages& messages, IndexAccess* access,
                int* status);

// ReachIndex, then the session with the owner when there is one (*client, opened with the
// command line's options); again when the owner ended before it answered. False after the
// message with the exit status when the folder cannot be used or the owner refuses.
bool ReachOwner(const CommandLine& line, UserMessages& messages, IndexAccess* access,
                std::unique_ptr<ServiceClient>* client, int* status);

}  // namespace vessiko
