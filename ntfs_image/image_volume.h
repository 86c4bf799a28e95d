// NtfsImageVolume: a read-only NTFS volume over its own bytes, as another implementation wrote
// them, answering the control codes the engine sends as Windows answers them:
//   FSCTL_GET_NTFS_VOLUME_DATA  from the boot sector and the file table's own record, the free
//                               clusters counted in $Bitmap
//   FSCTL_ENUM_USN_DATA         the file table's records from 16 up, in order: one record per
//                               Win32 or POSIX $FILE_NAME (a DOS name alone is a twin), with
//                               the names an attribute list places in extension records
//   FSCTL_GET_NTFS_FILE_RECORD  the record's own bytes, the update sequence applied
//   the journal's codes         queries and reads of $Extend\$UsnJrnl where Windows left one
//                               (see ImageJournal), else ERROR_JOURNAL_NOT_ACTIVE; none can be
//                               made or deleted on a read-only volume
// and raw reads of its clusters. Every length, offset and run read from the bytes is checked
// before it is used: a damaged or hostile volume gets an error, never a read outside a buffer.
#pragma once

#include <cstdint>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "ntfs_image/boot_sector.h"
#include "ntfs_image/image_journal.h"
#include "platform/image_bytes.h"
#include "platform/volume.h"
#include "volume/file_record_view.h"
#include "volume/mapping_pairs.h"

namespace vessiko {

class NtfsImageVolume : public Volume {
 public:
  // Reads the boot sector and maps the file table from its own record; null with the reason in
  // *error when the bytes are no readable NTFS volume.
  static std::unique_ptr<NtfsImageVolume> Open(std::shared_ptr<ImageBytes> bytes,
                                               std::string* error);

  bool control(uint32_t code, const void* in, uint32_t inSize, void* out, uint32_t outSize,
               uint32_t* returned, uint32_t* error) override;
  bool readAt(uint64_t offset, void* buffer, uint32_t size, uint32_t* read,
              uint32_t* error) override;
  std::unique_ptr<Volume> reopen() override;

  const BootSectorGeometry& geometry() const { return geometry_; }
  bool hasJournal() const { return journal_.has_value(); }
  // Answers as a volume without a journal from now on, and so do the handles reopened: for a
  // volume another system may be changing unjournaled (mounted read-write on Linux), where a
  // catch-up from the journal would miss changes.
  void ignoreJournal();
  // The volume's label from $Volume; empty when it has none or it cannot be read.
  std::u16string label() const;
  // Records the file table holds.
  uint64_t recordCount() const { return mftDataSize_ / geometry_.bytesPerFileRecord; }
  // Record n, its update sequence applied and its header checked; false when it lies outside
  // the table, cannot be read, is torn or is no FILE record.
  bool readRecord(uint64_t n, std::vector<uint8_t>* record) const;
  // The entries of a record's attribute list; none when it has no list. False when the list
  // cannot be read.
  bool readAttributeList(const FileRecordView& record, std::vector<uint8_t>* entries) const;
  // The value of a non-resident attribute of a record, at most `limit` bytes.
  bool readNonResident(const uint8_t* attribute, uint32_t length, uint64_t limit,
                       std::vector<uint8_t>* value) const;
  // Bytes [offset, offset + size) of the file table.
  bool readTable(uint64_t offset, uint32_t size, uint8_t* out) const;
  // A hint that those bytes of the table will be read soon.
  void prefetchTable(uint64_t offset, uint64_t size) const;
  // The runs of a non-resident attribute, checked against the volume.
  bool runsOf(const AttributeView& attribute, std::vector<ClusterRun>* runs) const;
  // Bytes [offset, offset + size) of a value laid out in `runs`; sparse runs read as zeros.
  bool readRuns(const std::vector<ClusterRun>& runs, uint64_t offset, uint32_t size,
                uint8_t* out) const;

 private:
  NtfsImageVolume(std::shared_ptr<ImageBytes> bytes, const BootSectorGeometry& geometry)
      : bytes_(std::move(bytes)), geometry_(geometry) {}

  // Clusters $Bitmap marks free; 0 when it cannot be read.
  uint64_t freeClusters() const;
  uint32_t volumeData(uint8_t* out, uint32_t outSize, uint32_t* returned) const;
  uint32_t enumerate(const uint8_t* in, uint32_t inSize, uint8_t* out, uint32_t outSize,
                     uint32_t* returned) const;
  uint32_t fileRecord(const uint8_t* in, uint32_t inSize, uint8_t* out, uint32_t outSize,
                      uint32_t* returned) const;

  std::shared_ptr<ImageBytes> bytes_;
  BootSectorGeometry geometry_;
  std::vector<ClusterRun> mftRuns_;
  uint64_t mftDataSize_ = 0;
  mutable int64_t freeClusters_ = -1;  // counted at the first volume data asked for
  std::optional<ImageJournal> journal_;
  // Calls run one at a time, as on a synchronous Windows handle.
  std::mutex calls_;
};

}  // namespace vessiko
