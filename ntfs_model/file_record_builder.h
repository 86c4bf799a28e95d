// Builds FILE record segments as NTFS lays them out: the header, attributes in the order they
// are added (callers add them sorted by type, as NTFS keeps them), the end marker and the
// update sequence array. Records come out in their in-memory form, as
// FSCTL_GET_NTFS_FILE_RECORD hands them out; ProtectRecord() turns one into its on-disk form.
#pragma once

#include <cstdint>
#include <span>
#include <string_view>
#include <vector>

namespace vessiko {

// One run of clusters the volume allocated to a non-resident attribute, as it encodes them.
struct AllocatedRun {
  uint64_t lcn = 0;
  uint64_t length = 0;
};

// The mapping pairs of consecutive runs, ended by a 0 byte. Each attribute extent starts its
// deltas from LCN 0. Lengths and deltas take the fewest bytes that keep them signed, so they
// read the same whether a reader takes the length as signed or not.
std::vector<uint8_t> EncodeMappingPairs(std::span<const AllocatedRun> runs);

// The four FILETIMEs NTFS keeps in $STANDARD_INFORMATION and in each $FILE_NAME.
struct FileTimes {
  uint64_t creation = 0;
  uint64_t modification = 0;
  uint64_t recordChange = 0;
  uint64_t lastAccess = 0;
};

// The value of $STANDARD_INFORMATION in its NTFS 3 form.
std::vector<uint8_t> StandardInformationValue(const FileTimes& times, uint32_t attributes,
                                              int64_t usn);

struct FileNameFields {
  uint64_t parent = 0;
  FileTimes times;
  uint64_t allocatedSize = 0;
  uint64_t dataSize = 0;
  uint32_t flags = 0;
  uint8_t nameSpace = 0;
  std::u16string_view name;
};
std::vector<uint8_t> FileNameValue(const FileNameFields& fields);

// The $INDEX_ROOT of a directory's file-name index ($I30) that holds no entry but the end.
std::vector<uint8_t> EmptyFileNameIndexRootValue(uint32_t indexBlockSize, uint32_t clusterSize);

// Appends one $ATTRIBUTE_LIST entry (unnamed attribute).
void AppendAttributeListEntry(std::vector<uint8_t>& list, uint32_t type, uint64_t lowestVcn,
                              uint64_t segmentReference, uint16_t instance);

// One extent of a non-resident attribute. Only the extent at VCN 0 carries the sizes; NTFS
// leaves them 0 in later extents.
struct NonResidentExtent {
  uint64_t lowestVcn = 0;
  uint64_t highestVcn = 0;  // lowestVcn - 1 for an attribute without clusters
  uint64_t allocatedSize = 0;
  uint64_t dataSize = 0;
  uint64_t initializedSize = 0;
  std::vector<uint8_t> mappingPairs;
};

struct FileRecordHeader {
  uint64_t recordNumber = 0;
  uint16_t sequence = 0;
  uint16_t linkCount = 0;
  uint16_t flags = 0;
  uint64_t baseReference = 0;
  uint64_t lsn = 0;
  uint16_t updateSequenceNumber = 1;
};

class FileRecordBuilder {
 public:
  FileRecordBuilder(uint32_t recordSize, const FileRecordHeader& header);

  // Bytes an attribute takes in a record.
  static uint32_t residentLength(size_t nameUnits, size_t valueLength);
  static uint32_t nonResidentLength(size_t nameUnits, size_t mappingPairsLength);
  // Bytes before the first attribute, and after the last one (the end marker).
  static uint32_t firstAttributeOffset(uint32_t recordSize);
  static constexpr uint32_t kEndMarkerLength = 8;

  // Each adds an attribute with the next instance number and returns false, adding nothing,
  // when it would not fit in the record with the end marker.
  bool addResident(uint32_t type, std::u16string_view name, std::span<const uint8_t> value,
                   uint8_t residentFlags = 0);
  bool addNonResident(uint32_t type, std::u16string_view name, const NonResidentExtent& extent);

  uint16_t nextInstance() const { return nextInstance_; }

  // Ends the attribute list and fills the header and the update sequence array.
  std::vector<uint8_t> finish();

 private:
  uint8_t* reserve(uint32_t type, uint32_t length, bool nonResident, std::u16string_view name,
                   uint32_t nameOffset);

  std::vector<uint8_t> record_;
  FileRecordHeader header_;
  uint32_t used_;
  uint16_t nextInstance_ = 0;
};

// The on-disk form of a record in its in-memory form: the last two bytes of each 512-byte
// stride move into the update sequence array and the update sequence number takes their place.
void ProtectRecord(std::span<uint8_t> record);

}  // namespace vessiko
