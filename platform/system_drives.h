// The machine's own drives. Windows only: there it is the Win32 calls themselves; the Linux face
// works on a simulated machine instead.
#pragma once

#include "platform/drives.h"

namespace vessiko {

Drives& systemDrives();

}  // namespace vessiko
