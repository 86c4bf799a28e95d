#include "ntfs_image/boot_sector.h"

#include <bit>
#include <cstring>

#include "platform/little_endian.h"
#include "platform/ntfs_layout.h"

namespace vessiko {

namespace {

constexpr uint32_t kMaxClusterBytes = 2u << 20;  // 2 MiB, the largest NTFS allows
constexpr uint32_t kMinRecordBytes = 256;
constexpr uint32_t kMaxRecordBytes = 65536;

// A size in clusters, or, when the byte read as signed is negative, 2 to the power of minus it
// in bytes (how NTFS gives sizes smaller than a cluster).
bool SizeFrom(uint8_t raw, uint32_t bytesPerCluster, uint32_t* bytes) {
  const auto value = static_cast<int8_t>(raw);
  if (value > 0) {
    const uint64_t size = static_cast<uint64_t>(value) * bytesPerCluster;
    if (size > kMaxRecordBytes) return false;
    *bytes = static_cast<uint32_t>(size);
  } else {
    if (-value < 8 || -value > 16) return false;
    *bytes = 1u << -value;
  }
  return std::has_single_bit(*bytes) && *bytes >= kMinRecordBytes && *bytes <= kMaxRecordBytes;
}

}  // namespace

bool ParseBootSector(std::span<const uint8_t> sector, BootSectorGeometry* geometry,
                     std::string* error) {
  namespace bs = ntfs::boot_sector;
  const auto fail = [error](const char* what) {
    *error = what;
    return false;
  };
  if (sector.size() < bs::kSize) return fail("the boot sector is cut short");
  const uint8_t* p = sector.data();
  if (std::memcmp(p + bs::kOemId, bs::kOemIdBytes, sizeof bs::kOemIdBytes) != 0) {
    return fail("not an NTFS volume (no \"NTFS\" in its boot sector)");
  }
  if (LoadU16(p + bs::kSignature) != bs::kSignatureValue) {
    return fail("the boot sector has no 55 AA signature");
  }
  BootSectorGeometry g;
  g.bytesPerSector = LoadU16(p + bs::kBytesPerSector);
  if (!std::has_single_bit(g.bytesPerSector) || g.bytesPerSector < 256 || g.bytesPerSector > 4096) {
    return fail("the boot sector gives an impossible sector size");
  }
  // Above 0x80 the byte gives the sectors as a power of two: 0xF4 is 2^12 sectors.
  const uint8_t perCluster = p[bs::kSectorsPerCluster];
  const uint64_t sectors = perCluster <= 0x80      ? perCluster
                           : 256 - perCluster < 32 ? uint64_t{1} << (256 - perCluster)
                                                   : 0;
  const uint64_t clusterBytes = sectors * g.bytesPerSector;
  if (clusterBytes == 0 || !std::has_single_bit(clusterBytes) || clusterBytes > kMaxClusterBytes ||
      clusterBytes < g.bytesPerSector) {
    return fail("the boot sector gives an impossible cluster size");
  }
  g.bytesPerCluster = static_cast<uint32_t>(clusterBytes);
  if (!SizeFrom(p[bs::kClustersPerFileRecord], g.bytesPerCluster, &g.bytesPerFileRecord) ||
      g.bytesPerFileRecord < g.bytesPerSector) {
    return fail("the boot sector gives an impossible file record size");
  }
  if (!SizeFrom(p[bs::kClustersPerIndexBlock], g.bytesPerCluster, &g.bytesPerIndexBlock)) {
    return fail("the boot sector gives an impossible index block size");
  }
  g.totalSectors = LoadU64(p + bs::kTotalSectors);
  g.totalClusters = g.totalSectors / (g.bytesPerCluster / g.bytesPerSector);
  g.mftLcn = LoadU64(p + bs::kMftLcn);
  g.mftMirrorLcn = LoadU64(p + bs::kMftMirrorLcn);
  if (g.totalClusters == 0 || g.mftLcn >= g.totalClusters || g.mftMirrorLcn >= g.totalClusters) {
    return fail("the boot sector places the file table outside the volume");
  }
  g.serialNumber = LoadU64(p + bs::kSerialNumber);
  *geometry = g;
  return true;
}

}  // namespace vessiko
