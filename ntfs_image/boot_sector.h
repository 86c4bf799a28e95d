// The geometry of an NTFS volume as its boot sector gives it, checked: the sizes NTFS allows
// and places inside the volume, so that everything read by it afterwards stays bounded.
#pragma once

#include <cstdint>
#include <span>
#include <string>

namespace vessiko {

struct BootSectorGeometry {
  uint32_t bytesPerSector = 0;
  uint32_t bytesPerCluster = 0;
  uint32_t bytesPerFileRecord = 0;
  uint32_t bytesPerIndexBlock = 0;
  uint64_t totalSectors = 0;
  uint64_t totalClusters = 0;
  uint64_t mftLcn = 0;
  uint64_t mftMirrorLcn = 0;
  uint64_t serialNumber = 0;
};

// False, with what is wrong in *error, for a sector that is not an NTFS boot sector or holds
// sizes or places NTFS cannot have.
bool ParseBootSector(std::span<const uint8_t> sector, BootSectorGeometry* geometry,
                     std::string* error);

}  // namespace vessiko
