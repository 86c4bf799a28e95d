// The NTFS readers over volumes that Debian's mkntfs (ntfs-3g) makes at test time: the boot
// sector must read as ntfsinfo tells it, and the file table as NTFS lays it out (record 0 maps
// the table itself; record 5 is the root folder "."). Then the same bytes, damaged at random,
// must be refused or read within their bounds, never outside them (the sanitizers watch).
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <vector>

#include "ntfs_image/boot_sector.h"
#include "ntfs_image/image_volume.h"
#include "ntfs_image/update_sequence.h"
#include "platform/little_endian.h"
#include "platform/ntfs_layout.h"
#include "platform/utf.h"
#include "tests/ntfs_image/made_volume.h"
#include "tests/support/test_index.h"
#include "volume/enumeration.h"
#include "volume/file_record_view.h"
#include "volume/mapping_pairs.h"
#include "volume/volume_discovery.h"

namespace vessiko {
namespace {

namespace fr = ntfs::file_record;
namespace at = ntfs::attribute;

using testing::EnumerateAll;
using testing::HaveMkntfs;
using testing::ImageDrive;
using testing::Listed;
using testing::MadeVolume;
using testing::MemoryImage;

// The non-resident $DATA of a file record: its allocated size and its runs.
bool DataRuns(const std::vector<uint8_t>& record, const BootSectorGeometry& g, uint64_t* allocated,
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
bool ReadRecord(const std::vector<uint8_t>& volume, const BootSectorGeometry& g,
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

// The file table's first record as it lies on the volume, and the volume's geometry.
std::vector<uint8_t> FirstTableRecord(const std::vector<uint8_t>& volume, BootSectorGeometry* g) {
  std::string error;
  if (!ParseBootSector(volume, g, &error)) return {};
  const uint64_t first = g->mftLcn * g->bytesPerCluster;
  if (first + g->bytesPerFileRecord > volume.size()) return {};
  return {volume.begin() + static_cast<ptrdiff_t>(first),
          volume.begin() + static_cast<ptrdiff_t>(first + g->bytesPerFileRecord)};
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
    BootSectorGeometry g;
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
    // The free clusters $Bitmap counts, as ntfscluster counts them.
    std::shared_ptr<NtfsImageVolume> image =
        NtfsImageVolume::Open(std::make_shared<MemoryImage>(volume.bytes_), &error);
    ASSERT_NE(image, nullptr) << error;
    uint8_t data[ntfs::volume_data::kSize];
    uint32_t returned = 0;
    uint32_t code = 0;
    ASSERT_TRUE(
        image->control(ntfs::kGetNtfsVolumeData, nullptr, 0, data, sizeof data, &returned, &code));
    EXPECT_EQ(LoadU64(data + ntfs::volume_data::kFreeClusters) * g.bytesPerCluster,
              std::stoull(volume.clusterInfo().at("bytes of free space")));

    // Record 0 is the file table's own: its $DATA maps the table, starting where the boot
    // sector says.
    std::vector<uint8_t> record = FirstTableRecord(volume.bytes_, &g);
    ASSERT_FALSE(record.empty());
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

// A stride written apart from the others is refused, and the record is left as it lay. Then
// random damage to a real boot sector, file record and mapping pairs: every reader refuses it or
// gives what stays within the volume, and reads nothing outside the bytes it is given.
TEST(NtfsImage, DamagedBytesAreRefusedOrReadWithinBounds) {
  ASSERT_TRUE(HaveMkntfs());
  MadeVolume volume(32u << 20, "-c 4096");
  BootSectorGeometry g;
  std::vector<uint8_t> record = FirstTableRecord(volume.bytes_, &g);
  ASSERT_FALSE(record.empty());
  std::vector<uint8_t> torn = record;
  torn[2 * fr::kSectorStride - 1] ^= 0xFF;
  const std::vector<uint8_t> asItLay = torn;
  EXPECT_FALSE(ApplyUpdateSequence(torn));
  EXPECT_EQ(torn, asItLay);

  std::string error;
  const std::vector<uint8_t> boot(volume.bytes_.begin(), volume.bytes_.begin() + 512);
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
    BootSectorGeometry damaged;
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

// Files copied in by ntfscp (long names, CJK, accents; data resident in the record and in
// clusters) come out of the enumeration, each once with the root as parent, whatever the size
// of the calls; the file record control code gives each its size.
TEST(NtfsImage, FilesCopiedInAreEnumeratedWithTheirSizes) {
  ASSERT_TRUE(HaveMkntfs());
  MadeVolume volume(32u << 20, "-c 4096");
  std::map<std::u16string, size_t> placed;
  for (int i = 0; i < 60; ++i) {
    std::string name = "file " + std::to_string(i);
    if (i % 3 == 1) name = "文档报告" + std::to_string(i) + ".数据";
    if (i % 5 == 2) name = "Ünïcödé-" + std::to_string(i);
    if (i % 7 == 3) name = std::string(200, 'x') + std::to_string(i) + ".txt";
    const size_t size =
        i % 2 == 0 ? static_cast<size_t>(i * 7) : 5000 + static_cast<size_t>(i) * 997;
    volume.copyIn(name, size);
    placed[Utf8ToUtf16(name)] = size;
  }
  volume.reload();
  std::string error;
  std::shared_ptr<NtfsImageVolume> image =
      NtfsImageVolume::Open(std::make_shared<MemoryImage>(volume.bytes_), &error);
  ASSERT_NE(image, nullptr) << error;
  for (const uint32_t outSize : {512u, 4096u, 0x80008u}) {
    bool ended = false;
    std::map<std::u16string, size_t> found;
    for (const Listed& l : EnumerateAll(*image, outSize, &ended)) {
      if (l.parent != 5) continue;
      EXPECT_FALSE(l.directory);
      EXPECT_EQ(found.count(l.name), 0u) << Utf16ToUtf8(l.name);
      std::vector<uint8_t> out(12 + image->geometry().bytesPerFileRecord);
      uint8_t in[8];
      StoreU64(in, l.record);
      uint32_t returned = 0;
      uint32_t code = 0;
      ASSERT_TRUE(image->control(ntfs::kGetNtfsFileRecord, in, 8, out.data(),
                                 static_cast<uint32_t>(out.size()), &returned, &code));
      ASSERT_EQ(LoadU64(out.data()) & ntfs::kRecordNumberMask48, l.record);
      const FileRecordView view(out.data() + 12, image->geometry().bytesPerFileRecord);
      const uint32_t data = view.find(view.firstAttribute(), at::kTypeData);
      uint64_t size = 0;
      ASSERT_NE(data, 0u);
      ASSERT_TRUE(DataAttributeSize(view.attributeAt(data), &size));
      found[l.name] = size;
    }
    EXPECT_TRUE(ended) << outSize;
    EXPECT_EQ(found, placed) << outSize;
  }
}

// Discovery and the build over such a volume: it has no journal and takes none, so it is
// indexed, not followed, and the status says so, without an error; every file copied in is in
// the index, under the drive's root.
TEST(NtfsImage, AVolumeWithoutAJournalIsIndexedAndNotFollowed) {
  ASSERT_TRUE(HaveMkntfs());
  MadeVolume volume(16u << 20, "-c 4096");
  std::set<std::string> placed;
  for (int i = 0; i < 25; ++i) {
    const std::string name = (i % 2 == 0 ? "报告 " : "Report ") + std::to_string(i) + ".txt";
    volume.copyIn(name, static_cast<size_t>(i) * 100);
    placed.insert("D:\\" + name);
  }
  volume.reload();
  testing::TestIndex t;
  t.index().extensions.seedBuiltins();
  VolumeSlots slots(t.heap());
  ImageDrive drive(volume.bytes_);
  DroppedVolumeRows rows;
  DiscoverVolumes(drive, slots, rows, t.messages());
  ASSERT_TRUE(slots[3].present());
  EXPECT_TRUE(slots[3].unfollowed);
  EXPECT_EQ(t.messages().lastStatus(), "(D:)盘没有USN日志，索引不会随文件的变化更新");
  EXPECT_EQ(EnumerateVolumes(t.index(), slots, t.messages()), 0);
  std::set<std::string> indexed;
  for (const RecordRef file : t.filesInOrder())
    indexed.insert(t.filePath(file));
  EXPECT_EQ(indexed, placed);
  EXPECT_TRUE(t.messages().errors().empty());
}

// Damage anywhere in the boot sector or the first records of the file table: the volume is
// refused, or opens and enumerates to its end, reading nothing outside what it was given.
TEST(NtfsImage, DamagedVolumesAreRefusedOrReadWithinBounds) {
  ASSERT_TRUE(HaveMkntfs());
  MadeVolume volume(8u << 20, "-c 1024");
  for (int i = 0; i < 10; ++i)
    volume.copyIn("f" + std::to_string(i), static_cast<size_t>(i) * 300);
  volume.reload();
  BootSectorGeometry g;
  std::string error;
  ASSERT_TRUE(ParseBootSector(volume.bytes_, &g, &error)) << error;
  const size_t table = g.mftLcn * g.bytesPerCluster;
  std::mt19937 random(5);
  int opened = 0;
  for (int round = 0; round < 300; ++round) {
    std::vector<uint8_t> bytes = volume.bytes_;
    const int flips = 1 + static_cast<int>(random() % 16);
    for (int f = 0; f < flips; ++f) {
      const size_t at = random() % 2 == 0 ? random() % 512 : table + random() % (32u * 1024);
      bytes[at] = static_cast<uint8_t>(random());
    }
    std::shared_ptr<NtfsImageVolume> image =
        NtfsImageVolume::Open(std::make_shared<MemoryImage>(std::move(bytes)), &error);
    if (image == nullptr) continue;
    ++opened;
    bool ended = false;
    EnumerateAll(*image, 4096, &ended);
  }
  EXPECT_GT(opened, 30);
}

}  // namespace
}  // namespace vessiko
