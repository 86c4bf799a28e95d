#include "volume/volume_discovery.h"

#include <string>

#include "platform/little_endian.h"
#include "platform/ntfs_layout.h"
#include "volume/journal_control.h"

namespace vessiko {

namespace {

constexpr uint32_t kDriveStringUnits = 105;  // 26 roots of 4 units and the final NUL
constexpr uint32_t kLabelUnits = 32;
constexpr uint32_t kFileSystemUnits = 8;
// Sizes a real volume can have; anything else is treated as unknown (no record reads).
constexpr uint32_t kMinRecordSegment = 256;
constexpr uint32_t kMaxRecordSegment = 65536;
constexpr uint32_t kMinCluster = 512;
constexpr uint32_t kMaxCluster = 2 * 1024 * 1024;

bool IsNtfs(const char16_t* fileSystem) {
  return fileSystem[0] == u'N' && fileSystem[1] == u'T' && fileSystem[2] == u'F' &&
         fileSystem[3] == u'S';
}

// Reads the volume's geometry and gives it its file-record buffer.
void ReadGeometry(VolumeSlot& slot, PrivateHeap& heap) {
  namespace v = ntfs::volume_data;
  uint8_t data[v::kSize] = {};
  uint32_t returned = 0;
  uint32_t error = 0;
  if (!slot.volume->control(ntfs::kGetNtfsVolumeData, nullptr, 0, data, sizeof data, &returned,
                            &error) ||
      returned < v::kClustersPerFileRecordSegment) {
    return;
  }
  const uint32_t cluster = LoadU32(data + v::kBytesPerCluster);
  const uint32_t segment = LoadU32(data + v::kBytesPerFileRecordSegment);
  if (cluster >= kMinCluster && cluster <= kMaxCluster) slot.bytesPerCluster = cluster;
  slot.totalClusters = LoadU64(data + v::kTotalClusters);
  if (segment < kMinRecordSegment || segment > kMaxRecordSegment) return;
  slot.fileRecordBufferSize = segment + 15;
  slot.fileRecordBuffer = static_cast<uint8_t*>(heap.allocate(slot.fileRecordBufferSize, false));
  if (slot.fileRecordBuffer == nullptr) slot.fileRecordBufferSize = 0;
}

}  // namespace

void DiscoverVolumes(Drives& drives, VolumeSlots& slots, VolumeRows& rows, UserMessages& messages,
                     const std::atomic<bool>* cancel) {
  char16_t roots[kDriveStringUnits] = {};
  const uint32_t written = drives.logicalDriveStrings(roots, kDriveStringUnits);
  if (written == 0 || written >= kDriveStringUnits) return;
  int volumeRows = 0;
  // Volumes refused for want of an administrator's token: one message names them all.
  std::string refused;
  for (uint32_t at = 0; at + 4 <= kDriveStringUnits && roots[at] != 0; at += 4) {
    char16_t* root = roots + at;
    if (root[0] >= u'a') root[0] = static_cast<char16_t>(root[0] - 0x20);
    if (root[0] < u'A' || root[0] > u'Z') continue;
    const uint32_t volume = root[0] - u'A';
    if (slots[volume].present()) continue;  // a drive letter is listed once
    if (drives.driveType(root) != ntfs::kDriveFixed) continue;
    char16_t label[kLabelUnits] = {};
    char16_t fileSystem[kFileSystemUnits] = {};
    if (!drives.volumeInformation(root, label, kLabelUnits, fileSystem, kFileSystemUnits) ||
        !IsNtfs(fileSystem)) {
      continue;
    }
    label[kLabelUnits - 1] = 0;

    std::u16string row(label);
    row += u" (";
    row += root[0];
    row += u":)";
    if (rows.insertRow(volumeRows, row, true)) rows.setSecondColumn(volumeRows, u"是");
    ++volumeRows;

    const char16_t devicePath[] = {u'\\', u'\\', u'.', u'\\', root[0], u':', 0};
    uint32_t error = 0;
    std::unique_ptr<Volume> handle = drives.openVolume(devicePath, &error);
    if (handle == nullptr) {
      if (error == ntfs::kErrorAccessDenied) {
        refused += refused.empty() ? "" : " ";
        refused += static_cast<char>(root[0]);
        refused += ':';
      } else {
        ShowError(messages, "创建卷%c失败 代码%d", static_cast<char>(root[0]),
                  static_cast<int>(error));
      }
      continue;
    }
    VolumeSlot& slot = slots[volume];
    slot.volume = std::move(handle);
    ReadGeometry(slot, slots.heap());
    JournalState journal;
    slot.unfollowed = !PrepareJournal(*slot.volume, &journal, cancel);
    if (slot.unfollowed) {
      ShowStatus(messages, -1, "(%c:)盘没有USN日志，索引不会随文件的变化更新",
                 static_cast<char>(root[0]));
    }
    slot.journalId = journal.id;
    slot.firstUsn = journal.firstUsn;
    slot.nextUsn = journal.nextUsn;
  }
  if (!refused.empty()) {
    ShowError(messages, "没有管理员权限，无法读取卷 %s。请右击 Vessiko，选择“以管理员身份运行”。",
              refused.c_str());
  }
}

}  // namespace vessiko
