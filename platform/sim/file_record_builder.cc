#include "platform/sim/file_record_builder.h"

#include <cstring>

#include "platform/little_endian.h"
#include "platform/ntfs_layout.h"

namespace vessiko {

namespace {

uint32_t align8(size_t n) {
  return static_cast<uint32_t>((n + 7) & ~size_t{7});
}

// Bytes that hold v as a signed little-endian number.
uint8_t signedWidth(int64_t v) {
  uint8_t width = 1;
  while (width < 8) {
    const int64_t limit = int64_t{1} << (8 * width - 1);
    if (v >= -limit && v < limit) break;
    ++width;
  }
  return width;
}

void appendLittle(std::vector<uint8_t>& out, int64_t v, uint8_t width) {
  for (uint8_t i = 0; i < width; ++i)
    out.push_back(static_cast<uint8_t>(static_cast<uint64_t>(v) >> (8 * i)));
}

void storeTimes(uint8_t* p, const FileTimes& t) {
  storeU64(p, t.creation);
  storeU64(p + 8, t.modification);
  storeU64(p + 16, t.recordChange);
  storeU64(p + 24, t.lastAccess);
}

}  // namespace

std::vector<uint8_t> encodeMappingPairs(std::span<const ClusterRun> runs) {
  std::vector<uint8_t> out;
  int64_t previous = 0;
  for (const ClusterRun& run : runs) {
    const int64_t length = static_cast<int64_t>(run.length);
    const int64_t delta = static_cast<int64_t>(run.lcn) - previous;
    const uint8_t lengthWidth = signedWidth(length);
    const uint8_t deltaWidth = signedWidth(delta);
    out.push_back(static_cast<uint8_t>(lengthWidth | deltaWidth << 4));
    appendLittle(out, length, lengthWidth);
    appendLittle(out, delta, deltaWidth);
    previous = static_cast<int64_t>(run.lcn);
  }
  out.push_back(0);
  return out;
}

std::vector<uint8_t> standardInformationValue(const FileTimes& times, uint32_t attributes,
                                              int64_t usn) {
  namespace si = ntfs::standard_information;
  std::vector<uint8_t> value(si::kSize);
  storeTimes(value.data() + si::kCreation, times);
  storeU32(value.data() + si::kAttributes, attributes);
  storeU64(value.data() + si::kUsn, static_cast<uint64_t>(usn));
  return value;
}

std::vector<uint8_t> fileNameValue(const FileNameFields& f) {
  namespace fn = ntfs::file_name;
  std::vector<uint8_t> value(fn::kName + 2 * f.name.size());
  uint8_t* p = value.data();
  storeU64(p + fn::kParent, f.parent);
  storeTimes(p + fn::kCreation, f.times);
  storeU64(p + fn::kAllocatedSize, f.allocatedSize);
  storeU64(p + fn::kDataSize, f.dataSize);
  storeU32(p + fn::kAttributes, f.flags);
  p[fn::kNameLength] = static_cast<uint8_t>(f.name.size());
  p[fn::kNamespace] = f.nameSpace;
  for (size_t i = 0; i < f.name.size(); ++i)
    storeU16(p + fn::kName + 2 * i, f.name[i]);
  return value;
}

std::vector<uint8_t> emptyFileNameIndexRootValue(uint32_t indexBlockSize, uint32_t clusterSize) {
  namespace ir = ntfs::index_root;
  namespace ih = ntfs::index_header;
  namespace ie = ntfs::index_entry;
  std::vector<uint8_t> value(ir::kIndexHeader + ih::kSize + ie::kHeaderSize);
  uint8_t* p = value.data();
  storeU32(p + ir::kIndexedType, ntfs::attribute::kTypeFileName);
  storeU32(p + ir::kCollationRule, ir::kCollationFileName);
  storeU32(p + ir::kIndexBlockSize, indexBlockSize);
  // Clusters per index block, or sectors when a block is smaller than a cluster.
  p[ir::kClustersPerIndexBlock] = static_cast<uint8_t>(
      indexBlockSize >= clusterSize ? indexBlockSize / clusterSize
                                    : indexBlockSize / ntfs::volume_data::kBytesPerSectorValue);
  uint8_t* header = p + ir::kIndexHeader;
  storeU32(header + ih::kEntriesOffset, ih::kSize);
  storeU32(header + ih::kIndexLength, ih::kSize + ie::kHeaderSize);
  storeU32(header + ih::kAllocatedSize, ih::kSize + ie::kHeaderSize);
  uint8_t* end = header + ih::kSize;
  storeU16(end + ie::kLength, ie::kHeaderSize);
  storeU16(end + ie::kFlags, ie::kFlagLast);
  return value;
}

void appendAttributeListEntry(std::vector<uint8_t>& list, uint32_t type, uint64_t lowestVcn,
                              uint64_t segmentReference, uint16_t instance) {
  namespace le = ntfs::attribute_list_entry;
  const uint32_t length = align8(le::kHeaderSize);
  const size_t at = list.size();
  list.resize(at + length);
  uint8_t* p = list.data() + at;
  storeU32(p + le::kType, type);
  storeU16(p + le::kLength, static_cast<uint16_t>(length));
  p[le::kNameOffset] = static_cast<uint8_t>(le::kHeaderSize);
  storeU64(p + le::kLowestVcn, lowestVcn);
  storeU64(p + le::kSegmentReference, segmentReference);
  storeU16(p + le::kInstance, instance);
}

FileRecordBuilder::FileRecordBuilder(uint32_t recordSize, const FileRecordHeader& header)
    : record_(recordSize), header_(header), used_(firstAttributeOffset(recordSize)) {}

uint32_t FileRecordBuilder::residentLength(size_t nameUnits, size_t valueLength) {
  return align8(ntfs::attribute::kResidentHeaderSize + 2 * nameUnits) + align8(valueLength);
}

uint32_t FileRecordBuilder::nonResidentLength(size_t nameUnits, size_t mappingPairsLength) {
  return align8(ntfs::attribute::kNonResidentHeaderSize + 2 * nameUnits) +
         align8(mappingPairsLength);
}

uint32_t FileRecordBuilder::firstAttributeOffset(uint32_t recordSize) {
  const uint32_t strides = recordSize / ntfs::file_record::kSectorStride;
  return align8(ntfs::file_record::kUpdateSequenceArray + 2 * (strides + 1));
}

uint8_t* FileRecordBuilder::reserve(uint32_t type, uint32_t length, bool nonResident,
                                    std::u16string_view name, uint32_t nameOffset) {
  namespace at = ntfs::attribute;
  if (used_ + length + kEndMarkerLength > record_.size()) return nullptr;
  uint8_t* p = record_.data() + used_;
  storeU32(p + at::kType, type);
  storeU32(p + at::kLength, length);
  p[at::kNonResident] = nonResident ? 1 : 0;
  p[at::kNameLength] = static_cast<uint8_t>(name.size());
  storeU16(p + at::kNameOffset, static_cast<uint16_t>(nameOffset));
  storeU16(p + at::kInstance, nextInstance_++);
  for (size_t i = 0; i < name.size(); ++i)
    storeU16(p + nameOffset + 2 * i, name[i]);
  used_ += length;
  return p;
}

bool FileRecordBuilder::addResident(uint32_t type, std::u16string_view name,
                                    std::span<const uint8_t> value, uint8_t residentFlags) {
  namespace at = ntfs::attribute;
  const uint32_t valueOffset = align8(at::kResidentHeaderSize + 2 * name.size());
  uint8_t* p = reserve(type, residentLength(name.size(), value.size()), false, name,
                       at::kResidentHeaderSize);
  if (p == nullptr) return false;
  storeU32(p + at::kValueLength, static_cast<uint32_t>(value.size()));
  storeU16(p + at::kValueOffset, static_cast<uint16_t>(valueOffset));
  p[at::kResidentFlags] = residentFlags;
  if (!value.empty()) std::memcpy(p + valueOffset, value.data(), value.size());
  return true;
}

bool FileRecordBuilder::addNonResident(uint32_t type, std::u16string_view name,
                                       const NonResidentExtent& extent) {
  namespace at = ntfs::attribute;
  const uint32_t pairsOffset = align8(at::kNonResidentHeaderSize + 2 * name.size());
  uint8_t* p = reserve(type, nonResidentLength(name.size(), extent.mappingPairs.size()), true, name,
                       at::kNonResidentHeaderSize);
  if (p == nullptr) return false;
  storeU64(p + at::kLowestVcn, extent.lowestVcn);
  storeU64(p + at::kHighestVcn, extent.highestVcn);
  storeU16(p + at::kMappingPairsOffset, static_cast<uint16_t>(pairsOffset));
  storeU64(p + at::kAllocatedSize, extent.allocatedSize);
  storeU64(p + at::kDataSize, extent.dataSize);
  storeU64(p + at::kInitializedSize, extent.initializedSize);
  std::memcpy(p + pairsOffset, extent.mappingPairs.data(), extent.mappingPairs.size());
  return true;
}

std::vector<uint8_t> FileRecordBuilder::finish() {
  namespace fr = ntfs::file_record;
  uint8_t* p = record_.data();
  storeU32(p + used_, ntfs::attribute::kTypeEnd);
  const uint32_t bytesUsed = used_ + kEndMarkerLength;
  std::memcpy(p + fr::kMagic, fr::kMagicBytes, sizeof(fr::kMagicBytes));
  const uint32_t strides = static_cast<uint32_t>(record_.size()) / fr::kSectorStride;
  storeU16(p + fr::kUpdateSequenceOffset, static_cast<uint16_t>(fr::kUpdateSequenceArray));
  storeU16(p + fr::kUpdateSequenceCount, static_cast<uint16_t>(strides + 1));
  storeU64(p + fr::kLsn, header_.lsn);
  storeU16(p + fr::kSequenceNumber, header_.sequence);
  storeU16(p + fr::kLinkCount, header_.linkCount);
  storeU16(p + fr::kFirstAttributeOffset,
           static_cast<uint16_t>(firstAttributeOffset(static_cast<uint32_t>(record_.size()))));
  storeU16(p + fr::kFlags, header_.flags);
  storeU32(p + fr::kBytesUsed, bytesUsed);
  storeU32(p + fr::kBytesAllocated, static_cast<uint32_t>(record_.size()));
  storeU64(p + fr::kBaseRecord, header_.baseReference);
  storeU16(p + fr::kNextAttributeInstance, nextInstance_);
  storeU32(p + fr::kRecordNumber, static_cast<uint32_t>(header_.recordNumber));
  // In memory the strides end with their real bytes; the array keeps a copy of them.
  uint8_t* array = p + fr::kUpdateSequenceArray;
  storeU16(array, header_.updateSequenceNumber);
  for (uint32_t i = 0; i < strides; ++i) {
    std::memcpy(array + 2 * (i + 1), p + (i + 1) * fr::kSectorStride - 2, 2);
  }
  return std::move(record_);
}

void protectRecord(std::span<uint8_t> record) {
  namespace fr = ntfs::file_record;
  uint8_t* p = record.data();
  uint8_t* array = p + loadU16(p + fr::kUpdateSequenceOffset);
  const uint32_t strides = static_cast<uint32_t>(record.size()) / fr::kSectorStride;
  for (uint32_t i = 0; i < strides; ++i) {
    uint8_t* end = p + (i + 1) * fr::kSectorStride - 2;
    std::memcpy(array + 2 * (i + 1), end, 2);
    std::memcpy(end, array, 2);
  }
}

}  // namespace vessiko
