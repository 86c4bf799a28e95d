#include "ntfs_model/file_record_builder.h"

#include <cstring>

#include "platform/little_endian.h"
#include "platform/ntfs_layout.h"

namespace vessiko {

namespace {

uint32_t Align8(size_t n) {
  return static_cast<uint32_t>((n + 7) & ~size_t{7});
}

// Bytes that hold v as a signed little-endian number.
uint8_t SignedWidth(int64_t v) {
  uint8_t width = 1;
  while (width < 8) {
    const int64_t limit = int64_t{1} << (8 * width - 1);
    if (v >= -limit && v < limit) break;
    ++width;
  }
  return width;
}

void AppendLittle(std::vector<uint8_t>& out, int64_t v, uint8_t width) {
  for (uint8_t i = 0; i < width; ++i)
    out.push_back(static_cast<uint8_t>(static_cast<uint64_t>(v) >> (8 * i)));
}

void StoreTimes(uint8_t* p, const FileTimes& t) {
  StoreU64(p, t.creation);
  StoreU64(p + 8, t.modification);
  StoreU64(p + 16, t.recordChange);
  StoreU64(p + 24, t.lastAccess);
}

}  // namespace

std::vector<uint8_t> EncodeMappingPairs(std::span<const AllocatedRun> runs) {
  std::vector<uint8_t> out;
  int64_t previous = 0;
  for (const AllocatedRun& run : runs) {
    const int64_t length = static_cast<int64_t>(run.length);
    const int64_t delta = static_cast<int64_t>(run.lcn) - previous;
    const uint8_t lengthWidth = SignedWidth(length);
    const uint8_t deltaWidth = SignedWidth(delta);
    out.push_back(static_cast<uint8_t>(lengthWidth | deltaWidth << 4));
    AppendLittle(out, length, lengthWidth);
    AppendLittle(out, delta, deltaWidth);
    previous = static_cast<int64_t>(run.lcn);
  }
  out.push_back(0);
  return out;
}

std::vector<uint8_t> StandardInformationValue(const FileTimes& times, uint32_t attributes,
                                              int64_t usn) {
  namespace si = ntfs::standard_information;
  std::vector<uint8_t> value(si::kSize);
  StoreTimes(value.data() + si::kCreation, times);
  StoreU32(value.data() + si::kAttributes, attributes);
  StoreU64(value.data() + si::kUsn, static_cast<uint64_t>(usn));
  return value;
}

std::vector<uint8_t> FileNameValue(const FileNameFields& f) {
  namespace fn = ntfs::file_name;
  std::vector<uint8_t> value(fn::kName + 2 * f.name.size());
  uint8_t* p = value.data();
  StoreU64(p + fn::kParent, f.parent);
  StoreTimes(p + fn::kCreation, f.times);
  StoreU64(p + fn::kAllocatedSize, f.allocatedSize);
  StoreU64(p + fn::kDataSize, f.dataSize);
  StoreU32(p + fn::kAttributes, f.flags);
  p[fn::kNameLength] = static_cast<uint8_t>(f.name.size());
  p[fn::kNamespace] = f.nameSpace;
  for (size_t i = 0; i < f.name.size(); ++i)
    StoreU16(p + fn::kName + 2 * i, f.name[i]);
  return value;
}

std::vector<uint8_t> EmptyFileNameIndexRootValue(uint32_t indexBlockSize, uint32_t clusterSize) {
  namespace ir = ntfs::index_root;
  namespace ih = ntfs::index_header;
  namespace ie = ntfs::index_entry;
  std::vector<uint8_t> value(ir::kIndexHeader + ih::kSize + ie::kHeaderSize);
  uint8_t* p = value.data();
  StoreU32(p + ir::kIndexedType, ntfs::attribute::kTypeFileName);
  StoreU32(p + ir::kCollationRule, ir::kCollationFileName);
  StoreU32(p + ir::kIndexBlockSize, indexBlockSize);
  // Clusters per index block, or sectors when a block is smaller than a cluster.
  p[ir::kClustersPerIndexBlock] = static_cast<uint8_t>(
      indexBlockSize >= clusterSize ? indexBlockSize / clusterSize
                                    : indexBlockSize / ntfs::volume_data::kBytesPerSectorValue);
  uint8_t* header = p + ir::kIndexHeader;
  StoreU32(header + ih::kEntriesOffset, ih::kSize);
  StoreU32(header + ih::kIndexLength, ih::kSize + ie::kHeaderSize);
  StoreU32(header + ih::kAllocatedSize, ih::kSize + ie::kHeaderSize);
  uint8_t* end = header + ih::kSize;
  StoreU16(end + ie::kLength, ie::kHeaderSize);
  StoreU16(end + ie::kFlags, ie::kFlagLast);
  return value;
}

void AppendAttributeListEntry(std::vector<uint8_t>& list, uint32_t type, uint64_t lowestVcn,
                              uint64_t segmentReference, uint16_t instance) {
  namespace le = ntfs::attribute_list_entry;
  const uint32_t length = Align8(le::kHeaderSize);
  const size_t at = list.size();
  list.resize(at + length);
  uint8_t* p = list.data() + at;
  StoreU32(p + le::kType, type);
  StoreU16(p + le::kLength, static_cast<uint16_t>(length));
  p[le::kNameOffset] = static_cast<uint8_t>(le::kHeaderSize);
  StoreU64(p + le::kLowestVcn, lowestVcn);
  StoreU64(p + le::kSegmentReference, segmentReference);
  StoreU16(p + le::kInstance, instance);
}

FileRecordBuilder::FileRecordBuilder(uint32_t recordSize, const FileRecordHeader& header)
    : record_(recordSize), header_(header), used_(firstAttributeOffset(recordSize)) {}

uint32_t FileRecordBuilder::residentLength(size_t nameUnits, size_t valueLength) {
  return Align8(ntfs::attribute::kResidentHeaderSize + 2 * nameUnits) + Align8(valueLength);
}

uint32_t FileRecordBuilder::nonResidentLength(size_t nameUnits, size_t mappingPairsLength) {
  return Align8(ntfs::attribute::kNonResidentHeaderSize + 2 * nameUnits) +
         Align8(mappingPairsLength);
}

uint32_t FileRecordBuilder::firstAttributeOffset(uint32_t recordSize) {
  const uint32_t strides = recordSize / ntfs::file_record::kSectorStride;
  return Align8(ntfs::file_record::kUpdateSequenceArray + 2 * (strides + 1));
}

uint8_t* FileRecordBuilder::reserve(uint32_t type, uint32_t length, bool nonResident,
                                    std::u16string_view name, uint32_t nameOffset) {
  namespace at = ntfs::attribute;
  if (used_ + length + kEndMarkerLength > record_.size()) return nullptr;
  uint8_t* p = record_.data() + used_;
  StoreU32(p + at::kType, type);
  StoreU32(p + at::kLength, length);
  p[at::kNonResident] = nonResident ? 1 : 0;
  p[at::kNameLength] = static_cast<uint8_t>(name.size());
  StoreU16(p + at::kNameOffset, static_cast<uint16_t>(nameOffset));
  StoreU16(p + at::kInstance, nextInstance_++);
  for (size_t i = 0; i < name.size(); ++i)
    StoreU16(p + nameOffset + 2 * i, name[i]);
  used_ += length;
  return p;
}

bool FileRecordBuilder::addResident(uint32_t type, std::u16string_view name,
                                    std::span<const uint8_t> value, uint8_t residentFlags) {
  namespace at = ntfs::attribute;
  const uint32_t valueOffset = Align8(at::kResidentHeaderSize + 2 * name.size());
  uint8_t* p = reserve(type, residentLength(name.size(), value.size()), false, name,
                       at::kResidentHeaderSize);
  if (p == nullptr) return false;
  StoreU32(p + at::kValueLength, static_cast<uint32_t>(value.size()));
  StoreU16(p + at::kValueOffset, static_cast<uint16_t>(valueOffset));
  p[at::kResidentFlags] = residentFlags;
  if (!value.empty()) std::memcpy(p + valueOffset, value.data(), value.size());
  return true;
}

bool FileRecordBuilder::addNonResident(uint32_t type, std::u16string_view name,
                                       const NonResidentExtent& extent) {
  namespace at = ntfs::attribute;
  const uint32_t pairsOffset = Align8(at::kNonResidentHeaderSize + 2 * name.size());
  uint8_t* p = reserve(type, nonResidentLength(name.size(), extent.mappingPairs.size()), true, name,
                       at::kNonResidentHeaderSize);
  if (p == nullptr) return false;
  StoreU64(p + at::kLowestVcn, extent.lowestVcn);
  StoreU64(p + at::kHighestVcn, extent.highestVcn);
  StoreU16(p + at::kMappingPairsOffset, static_cast<uint16_t>(pairsOffset));
  StoreU64(p + at::kAllocatedSize, extent.allocatedSize);
  StoreU64(p + at::kDataSize, extent.dataSize);
  StoreU64(p + at::kInitializedSize, extent.initializedSize);
  std::memcpy(p + pairsOffset, extent.mappingPairs.data(), extent.mappingPairs.size());
  return true;
}

std::vector<uint8_t> FileRecordBuilder::finish() {
  namespace fr = ntfs::file_record;
  uint8_t* p = record_.data();
  StoreU32(p + used_, ntfs::attribute::kTypeEnd);
  const uint32_t bytesUsed = used_ + kEndMarkerLength;
  std::memcpy(p + fr::kMagic, fr::kMagicBytes, sizeof(fr::kMagicBytes));
  const uint32_t strides = static_cast<uint32_t>(record_.size()) / fr::kSectorStride;
  StoreU16(p + fr::kUpdateSequenceOffset, static_cast<uint16_t>(fr::kUpdateSequenceArray));
  StoreU16(p + fr::kUpdateSequenceCount, static_cast<uint16_t>(strides + 1));
  StoreU64(p + fr::kLsn, header_.lsn);
  StoreU16(p + fr::kSequenceNumber, header_.sequence);
  StoreU16(p + fr::kLinkCount, header_.linkCount);
  StoreU16(p + fr::kFirstAttributeOffset,
           static_cast<uint16_t>(firstAttributeOffset(static_cast<uint32_t>(record_.size()))));
  StoreU16(p + fr::kFlags, header_.flags);
  StoreU32(p + fr::kBytesUsed, bytesUsed);
  StoreU32(p + fr::kBytesAllocated, static_cast<uint32_t>(record_.size()));
  StoreU64(p + fr::kBaseRecord, header_.baseReference);
  StoreU16(p + fr::kNextAttributeInstance, nextInstance_);
  StoreU32(p + fr::kRecordNumber, static_cast<uint32_t>(header_.recordNumber));
  // In memory the strides end with their real bytes; the array keeps a copy of them.
  uint8_t* array = p + fr::kUpdateSequenceArray;
  StoreU16(array, header_.updateSequenceNumber);
  for (uint32_t i = 0; i < strides; ++i) {
    std::memcpy(array + 2 * (i + 1), p + (i + 1) * fr::kSectorStride - 2, 2);
  }
  return std::move(record_);
}

void ProtectRecord(std::span<uint8_t> record) {
  namespace fr = ntfs::file_record;
  uint8_t* p = record.data();
  uint8_t* array = p + LoadU16(p + fr::kUpdateSequenceOffset);
  const uint32_t strides = static_cast<uint32_t>(record.size()) / fr::kSectorStride;
  for (uint32_t i = 0; i < strides; ++i) {
    uint8_t* end = p + (i + 1) * fr::kSectorStride - 2;
    std::memcpy(array + 2 * (i + 1), end, 2);
    std::memcpy(end, array, 2);
  }
}

}  // namespace vessiko
