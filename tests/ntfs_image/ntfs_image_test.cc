// The NTFS readers over volumes that Debian's mkntfs (ntfs-3g) makes at test time: the boot
// sector must read as ntfsinfo tells it, and the file table as NTFS lays it out (record 0 maps
// the table itself; record 5 is the root folder "."). Then the same bytes, damaged at random,
// must be refused or read within their bounds, never outside them (the sanitizers watch).
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iterator>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "ntfs_image/boot_sector.h"
#include "ntfs_image/mapping_pairs.h"
#include "ntfs_image/update_sequence.h"
#include "platform/little_endian.h"
#include "platform/ntfs_layout.h"
#include "platform/utf.h"
#include "volume/file_record_view.h"

namespace vessiko {
namespace {

namespace fr = ntfs::file_record;
namespace at = ntfs::attribute;

// mkntfs lies in /usr/sbin, which a user's PATH may lack.
std::string Run(const std::string& command) {
  std::string out;
  std::FILE* pipe = popen(("PATH=\"$PATH:/usr/sbin:/sbin\"; " + command).c_str(), "r");
  if (pipe == nullptr) return out;
  char buffer[4096];
  for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, pipe)) > 0;)
    out.append(buffer, n);
  pclose(pipe);
  return out;
}

// A fresh NTFS volume in a file, made by mkntfs with the options given, and its bytes.
class MadeVolume {
 public:
  MadeVolume(uint64_t bytes, const std::string& options) {
    char folder[] = "/tmp/vessiko-ntfs-XXXXXX";
    if (mkdtemp(folder) == nullptr) return;
    folder_ = folder;
    path_ = folder_ + "/volume.img";
    std::ofstream(path_).close();
    if (truncate(path_.c_str(), static_cast<off_t>(bytes)) != 0) return;
    Run("mkntfs -F -q -f -L test " + options + " " + path_ + " 2>&1");
    std::ifstream in(path_, std::ios::binary);
    bytes_.assign(std::istreambuf_iterator<char>(in), {});
  }
  ~MadeVolume() {
    if (!folder_.empty()) Run("rm -rf " + folder_);
  }

  // ntfsinfo's "Name: value" lines about the volume and its file table.
  std::map<std::string, std::string> info() const {
    std::map<std::string, std::string> fields;
    std::istringstream lines(Run("ntfsinfo -m " + path_ + " 2>/dev/null"));
    for (std::string line; std::getline(lines, line);) {
      const size_t colon = line.find(": ");
      const size_t start = line.find_first_not_of('\t');
      if (colon == std::string::npos || start == std::string::npos) continue;
      fields[line.substr(start, colon - start)] = line.substr(colon + 2);
    }
    return fields;
  }

  std::vector<uint8_t> bytes_;

 private:
  std::string folder_;
  std::string path_;
};

bool HaveMkntfs() {
  return Run("command -v mkntfs && command -v ntfsinfo").find("ntfsinfo") != std::string::npos;
}

// The non-resident $DATA of a file record: its allocated size and its runs.
bool DataRuns(const std::vector<uint8_t>& record, const VolumeGeometry& g, uint64_t* allocated,
              std::vector<ClusterRun>* runs) {
  const FileRecordView view(record.data(), static_cast<uint32_t>(record.size()));
  const uint32_t offset = view.find(view.firstAttribute(), at::kTypeData);
  if (offset == 0) return false;
  const AttributeView data = view.attributeAt(offset);
  if (!data.nonResident || data.length < at::kNonResidentHeaderSize) return false;
  *allocated = LoadU64(data.bytes + at::kAllocatedSize);
  const uint32_t pairs = LoadU16(data.bytes + at::kMappingPairsOffset);
  if (pairs >= data.length) return false;
  return DecodeMappingPairs({data.bytes + pairs, data.length - pairs},
                            LoadU64(data.bytes + at::kLowestVcn), g.totalClusters, runs);
}

// Record n of the file table, read through the table's runs, its update sequence applied.
bool ReadRecord(const std::vector<uint8_t>& volume, const VolumeGeometry& g,
                const std::vector<ClusterRun>& runs, uint64_t n, std::vector<uint8_t>* record) {
  const uint64_t byte = n * g.bytesPerFileRecord;
  for (const ClusterRun& run : runs) {
    const uint64_t first = run.vcn * g.bytesPerCluster;
    if (byte < first || byte + g.bytesPerFileRecord > first + run.length * g.bytesPerCluster) {
      continue;
    }
    const uint64_t at = static_cast<uint64_t>(run.lcn) * g.bytesPerCluster + (byte - first);
    if (run.lcn < 0 || at + g.bytesPerFileRecord > volume.size()) return false;
    record->assign(volume.begin() + static_cast<ptrdiff_t>(at),
                   volume.begin() + static_cast<ptrdiff_t>(at + g.bytesPerFileRecord));
    return ApplyUpdateSequence(*record);
  }
  return false;
}

TEST(NtfsImage, FreshVolumesReadAsNtfsInfoTellsThem) {
  ASSERT_TRUE(HaveMkntfs()) << "mkntfs and ntfsinfo (Debian's ntfs-3g) are needed; "
                               "scripts/setup installs them";
  const struct {
    uint64_t bytes;
    const char* options;
  } volumes[] = {{32u << 20, "-c 4096"}, {48u << 20, "-c 1024"}, {64u << 20, "-c 65536"}};
  for (const auto& made : volumes) {
    SCOPED_TRACE(made.options);
    MadeVolume volume(made.bytes, made.options);
    ASSERT_EQ(volume.bytes_.size(), made.bytes);
    VolumeGeometry g;
    std::string error;
    ASSERT_TRUE(ParseBootSector(volume.bytes_, &g, &error)) << error;
    const std::map<std::string, std::string> info = volume.info();
    EXPECT_EQ(std::to_string(g.bytesPerSector), info.at("Sector Size"));
    EXPECT_EQ(std::to_string(g.bytesPerCluster), info.at("Cluster Size"));
    EXPECT_EQ(std::to_string(g.bytesPerIndexBlock), info.at("Index Block Size"));
    EXPECT_EQ(std::to_string(g.totalClusters), info.at("Volume Size in Clusters"));
    EXPECT_EQ(std::to_string(g.bytesPerFileRecord), info.at("MFT Record Size"));
    EXPECT_EQ(std::to_string(g.mftLcn), info.at("LCN of Data Attribute for FILE_MFT"));
    EXPECT_EQ(std::to_string(g.mftMirrorLcn), info.at("LCN of Data Attribute for File_MFTMirr"));

    // Record 0 is the file table's own: its $DATA maps the table, starting where the boot
    // sector says.
    const uint64_t first = g.mftLcn * g.bytesPerCluster;
    ASSERT_LE(first + g.bytesPerFileRecord, volume.bytes_.size());
    std::vector<uint8_t> record(
        volume.bytes_.begin() + static_cast<ptrdiff_t>(first),
        volume.bytes_.begin() + static_cast<ptrdiff_t>(first + g.bytesPerFileRecord));
    ASSERT_TRUE(ApplyUpdateSequence(record));
    ASSERT_EQ(std::string(record.begin(), record.begin() + 4), "FILE");
    EXPECT_EQ(LoadU32(record.data() + fr::kRecordNumber), 0u);
    uint64_t allocated = 0;
    std::vector<ClusterRun> runs;
    ASSERT_TRUE(DataRuns(record, g, &allocated, &runs));
    ASSERT_FALSE(runs.empty());
    EXPECT_EQ(runs[0].vcn, 0u);
    EXPECT_EQ(static_cast<uint64_t>(runs[0].lcn), g.mftLcn);
    uint64_t clusters = 0;
    for (const ClusterRun& run : runs)
      clusters += run.length;
    EXPECT_EQ(clusters * g.bytesPerCluster, allocated);

    // Record 5 is the root folder, named "." in itself.
    ASSERT_TRUE(ReadRecord(volume.bytes_, g, runs, 5, &record));
    const FileRecordView root(record.data(), static_cast<uint32_t>(record.size()));
    ASSERT_TRUE(root.inUse());
    EXPECT_NE(LoadU16(record.data() + fr::kFlags) & fr::kFlagDirectory, 0);
    const AttributeView name =
        root.attributeAt(root.find(root.firstAttribute(), at::kTypeFileName));
    const uint8_t* value;
    uint32_t length;
    ASSERT_TRUE(ResidentValue(name, &value, &length));
    ASSERT_GE(length, ntfs::file_name::kName + 2);
    EXPECT_EQ(value[ntfs::file_name::kNameLength], 1);
    EXPECT_EQ(LoadU16(value + ntfs::file_name::kName), u'.');
    EXPECT_EQ(LoadU64(value + ntfs::file_name::kParent) & ntfs::kRecordNumberMask48, 5u);
  }
}

// A stride written apart from the others is refused, and the record is left as it lay.
TEST(NtfsImage, ATornRecordIsRefusedAndLeftAsItLay) {
  ASSERT_TRUE(HaveMkntfs());
  MadeVolume volume(32u << 20, "-c 4096");
  VolumeGeometry g;
  std::string error;
  ASSERT_TRUE(ParseBootSector(volume.bytes_, &g, &error)) << error;
  const uint64_t first = g.mftLcn * g.bytesPerCluster;
  std::vector<uint8_t> record(
      volume.bytes_.begin() + static_cast<ptrdiff_t>(first),
      volume.bytes_.begin() + static_cast<ptrdiff_t>(first + g.bytesPerFileRecord));
  record[2 * fr::kSectorStride - 1] ^= 0xFF;
  const std::vector<uint8_t> torn = record;
  EXPECT_FALSE(ApplyUpdateSequence(record));
  EXPECT_EQ(record, torn);
}

// Random damage to a real boot sector, file record and mapping pairs: every reader refuses it or
// gives what stays within the volume, and reads nothing outside the bytes it is given.
TEST(NtfsImage, DamagedBytesAreRefusedOrReadWithinBounds) {
  ASSERT_TRUE(HaveMkntfs());
  MadeVolume volume(32u << 20, "-c 4096");
  VolumeGeometry g;
  std::string error;
  ASSERT_TRUE(ParseBootSector(volume.bytes_, &g, &error)) << error;
  const uint64_t first = g.mftLcn * g.bytesPerCluster;
  const std::vector<uint8_t> boot(volume.bytes_.begin(), volume.bytes_.begin() + 512);
  std::vector<uint8_t> record(
      volume.bytes_.begin() + static_cast<ptrdiff_t>(first),
      volume.bytes_.begin() + static_cast<ptrdiff_t>(first + g.bytesPerFileRecord));
  const std::vector<uint8_t> onDisk = record;
  ASSERT_TRUE(ApplyUpdateSequence(record));
  const std::vector<uint8_t> applied = record;

  std::mt19937 random(17);
  const auto damage = [&](std::vector<uint8_t> bytes) {
    const int flips = 1 + static_cast<int>(random() % 8);
    for (int i = 0; i < flips; ++i)
      bytes[random() % bytes.size()] = static_cast<uint8_t>(random());
    // Cut some short: a reader must not count on the size it expects.
    if (random() % 8 == 0) bytes.resize(random() % bytes.size());
    return bytes;
  };
  int accepted[3] = {};
  for (int round = 0; round < 20000; ++round) {
    VolumeGeometry damaged;
    if (ParseBootSector(damage(boot), &damaged, &error)) {
      ++accepted[0];
      EXPECT_LT(damaged.mftLcn, damaged.totalClusters);
      EXPECT_LE(damaged.bytesPerFileRecord, 65536u);
    }
    std::vector<uint8_t> bytes = damage(onDisk);
    if (ApplyUpdateSequence(bytes)) ++accepted[1];
    uint64_t allocated;
    std::vector<ClusterRun> runs;
    if (DataRuns(damage(applied), g, &allocated, &runs)) {
      ++accepted[2];
      for (const ClusterRun& run : runs) {
        if (run.lcn == ClusterRun::kSparse) continue;
        EXPECT_LE(static_cast<uint64_t>(run.lcn) + run.length, g.totalClusters);
      }
    }
  }
  // Damage that misses the fields read leaves the bytes readable: the generator reaches both.
  for (const int count : accepted) {
    EXPECT_GT(count, 100);
    EXPECT_LT(count, 20000);
  }
}

}  // namespace
}  // namespace vessiko
