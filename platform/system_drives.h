// The machine's own drives. Windows only: there it is the Win32 calls themselves; the Linux face
// presents its mirrored directory trees as drives instead (mirror/mirror_drives.h).
#pragma once

#include "platform/drives.h"

namespace vessiko {

Drives& systemDrives();

}  // namespace vessiko
