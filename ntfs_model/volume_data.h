// NTFS_VOLUME_DATA_BUFFER, as FSCTL_GET_NTFS_VOLUME_DATA hands it out, from a volume's geometry.
//
// Thread safety: a plain function of its arguments.
#pragma once

#include <cstdint>

namespace vessiko {

struct VolumeGeometry {
  uint64_t serialNumber = 0;
  uint64_t totalClusters = 0;
  uint64_t freeClusters = 0;
  uint32_t clusterSize = 4096;
  uint32_t recordSize = 1024;
  uint64_t mftValidDataLength = 0;
  uint64_t mftStartLcn = 0;
  uint64_t mft2StartLcn = 0;
  uint64_t mftZoneStart = 0;
  uint64_t mftZoneEnd = 0;
};

// The control code's answer: 0 with *returned bytes at out, or ERROR_INSUFFICIENT_BUFFER.
uint32_t WriteVolumeData(const VolumeGeometry& geometry, uint8_t* out, uint32_t outSize,
                         uint32_t* returned);

}  // namespace vessiko
