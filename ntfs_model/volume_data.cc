#include "ntfs_model/volume_data.h"

#include <cstring>

#include "platform/little_endian.h"
#include "platform/ntfs_layout.h"

namespace vessiko {

uint32_t WriteVolumeData(const VolumeGeometry& g, uint8_t* out, uint32_t outSize,
                         uint32_t* returned) {
  namespace vd = ntfs::volume_data;
  if (outSize < vd::kSize) return ntfs::kErrorInsufficientBuffer;
  std::memset(out, 0, vd::kSize);
  StoreU64(out + vd::kVolumeSerialNumber, g.serialNumber);
  StoreU64(out + vd::kNumberSectors, g.totalClusters * g.clusterSize / vd::kBytesPerSectorValue);
  StoreU64(out + vd::kTotalClusters, g.totalClusters);
  StoreU64(out + vd::kFreeClusters, g.freeClusters);
  StoreU32(out + vd::kBytesPerSector, vd::kBytesPerSectorValue);
  StoreU32(out + vd::kBytesPerCluster, g.clusterSize);
  StoreU32(out + vd::kBytesPerFileRecordSegment, g.recordSize);
  // Whole clusters per record, or 0 when a record is smaller than a cluster.
  StoreU32(out + vd::kClustersPerFileRecordSegment,
           g.recordSize >= g.clusterSize ? g.recordSize / g.clusterSize : 0);
  StoreU64(out + vd::kMftValidDataLength, g.mftValidDataLength);
  StoreU64(out + vd::kMftStartLcn, g.mftStartLcn);
  StoreU64(out + vd::kMft2StartLcn, g.mft2StartLcn);
  StoreU64(out + vd::kMftZoneStart, g.mftZoneStart);
  StoreU64(out + vd::kMftZoneEnd, g.mftZoneEnd);
  *returned = vd::kSize;
  return 0;
}

}  // namespace vessiko
