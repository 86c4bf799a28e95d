// OpenImageFile: the bytes of an NTFS image file or block device, read in place (Linux).
#pragma once

#include <memory>
#include <string>

#include "platform/image_bytes.h"

namespace vessiko {

// Opens the file or device read-only; null with the system's reason in *error when it cannot be
// opened or its size read.
std::shared_ptr<ImageBytes> OpenImageFile(const std::string& path, std::string* error);

}  // namespace vessiko
