// A Volume over a volume handle opened with CreateFileW.
#pragma once

#include <cstdint>
#include <memory>

#include "platform/volume.h"

namespace vessiko {

// CreateFileW on a device path such as "\\.\C:", as Drives::openVolume describes. The Volume
// keeps the path to open the volume again. Null with the system error code on failure.
std::unique_ptr<Volume> OpenVolumeDevice(const char16_t* devicePath, uint32_t* error);

}  // namespace vessiko
