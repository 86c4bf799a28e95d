// A Volume over a volume handle opened with CreateFileW.
#pragma once

#include <windows.h>

#include <memory>

#include "platform/volume.h"

namespace vessiko {

// Takes the handle over: it is closed with the Volume.
std::unique_ptr<Volume> adoptVolumeHandle(HANDLE handle);

}  // namespace vessiko
