// vessiko --serve: the resident service of a database folder. It runs in the foreground, as a
// systemd user unit wants: it owns the folder's index for its drives (waiting while another
// process does), keeps it live, and answers the other modes over the folder's socket. Status
// texts go to standard error. While changes are pending it saves every few minutes, so that a
// crash costs only a catch-up; SIGTERM or SIGINT saves and ends it with status 0.
#pragma once

#include "cli/command_line.h"

namespace vessiko {

// Returns the exit status.
int RunService(const CommandLine& line);

}  // namespace vessiko
