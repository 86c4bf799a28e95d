#include "volume/file_record_reader.h"

#include <algorithm>
#include <memory>
#include <vector>

#include "volume/file_record_view.h"
#include "volume/mapping_pairs.h"

namespace vessiko {

namespace {

namespace a = ntfs::attribute;
namespace fn = ntfs::file_name;
namespace le = ntfs::attribute_list_entry;
namespace out = ntfs::file_record_output;

enum class Fetched { kRecord, kNotInUse, kFailed };

// NTFS gives a file at most 1024 names, so no more extension records hold them; a list naming
// more is damaged.
constexpr size_t kMaxNames = 1024;
// An attribute list longer than this is damage: 1024 names and the runs of a fragmented file
// take a few tens of KiB.
constexpr uint64_t kMaxListBytes = 256 << 10;

// Reads record `number` into the slot's buffer. kNotInUse when the volume hands out another
// record (the nearest lower one in use) or one not in use.
Fetched Fetch(VolumeSlot& slot, uint64_t number, FileRecordView* record) REQUIRES(slot.recordLock) {
  uint8_t in[out::kInputSize];
  StoreU64(in, number);
  uint32_t returned = 0;
  uint32_t error = 0;
  uint8_t* buffer = slot.fileRecordBuffer;
  if (!slot.volume->control(ntfs::kGetNtfsFileRecord, in, sizeof in, buffer,
                            slot.fileRecordBufferSize, &returned, &error) ||
      returned <= out::kFileRecordBuffer || returned > slot.fileRecordBufferSize) {
    return Fetched::kFailed;
  }
  if ((LoadU64(buffer + out::kFileReferenceNumber) & ntfs::kRecordNumberMask48) != number) {
    return Fetched::kNotInUse;
  }
  uint32_t length = LoadU32(buffer + out::kFileRecordLength);
  if (length > returned - out::kFileRecordBuffer) length = returned - out::kFileRecordBuffer;
  *record = FileRecordView(buffer + out::kFileRecordBuffer, length);
  return record->inUse() ? Fetched::kRecord : Fetched::kNotInUse;
}

// Reads record `number` into the slot's buffer. False unless the volume hands out exactly that
// record, in use.
bool FetchRecord(VolumeSlot& slot, uint64_t number, FileRecordView* record)
    REQUIRES(slot.recordLock) {
  return Fetch(slot, number, record) == Fetched::kRecord;
}

// f(record number) for the attribute-list entries of `type`, in order, from a list held as
// bytes, until f returns true (the entries are sorted by type: the walk ends past it).
template <class F>
void WalkListEntries(const uint8_t* list, uint32_t length, uint32_t type, F&& f) {
  uint32_t at = 0;
  while (length - at >= le::kHeaderSize) {
    const uint8_t* entry = list + at;
    const uint32_t entryType = LoadU32(entry + le::kType);
    const uint32_t entryLength = LoadU16(entry + le::kLength);
    if (entryType == a::kTypeEnd || entryType > type || entryLength < le::kHeaderSize ||
        entryLength > length - at) {
      return;
    }
    if (entryType == type &&
        f((static_cast<uint64_t>(LoadU16(entry + le::kSegmentReference + 4)) << 32) |
          LoadU32(entry + le::kSegmentReference))) {
      return;
    }
    at += entryLength;
  }
}

// Walks the entries of `type` in the record's $ATTRIBUTE_LIST (see WalkListEntries): resident in
// the record, or non-resident in clusters of its own. False when the record has no list or it
// cannot be read whole.
template <class F>
bool WalkAttributeList(VolumeSlot& slot, PrivateHeap& heap, const FileRecordView& record,
                       uint32_t type, F&& f) {
  const uint32_t at = record.find(record.firstAttribute(), a::kTypeAttributeList);
  if (at == 0) return false;
  const AttributeView list = record.attributeAt(at);
  if (!list.nonResident) {
    const uint8_t* value;
    uint32_t length;
    if (!ResidentValue(list, &value, &length)) return false;
    WalkListEntries(value, length, type, f);
    return true;
  }
  // The list in clusters of its own: every run of it, as far as the list goes (a file of many
  // names has a list of many clusters, wherever the volume found room for them).
  const uint32_t clusterBytes = slot.bytesPerCluster;
  const uint32_t pairs = list.length >= a::kNonResidentHeaderSize
                             ? LoadU16(list.bytes + a::kMappingPairsOffset)
                             : list.length;
  uint64_t listSize;
  std::vector<ClusterRun> runs;
  if (clusterBytes == 0 || pairs >= list.length || !DataAttributeSize(list, &listSize) ||
      !DecodeMappingPairs({list.bytes + pairs, list.length - pairs}, 0, slot.totalClusters,
                          &runs)) {
    return false;
  }
  const uint64_t wanted = std::min(listSize, kMaxListBytes);
  const auto bytes =
      static_cast<uint32_t>((wanted + clusterBytes - 1) / clusterBytes * clusterBytes);
  // The reads are unbuffered and the heap aligns less than a sector: the buffer is aligned
  // within a larger block.
  size_t space = size_t{bytes} + kRawReadAlignment;
  void* block = heap.allocate(space, false);
  if (block == nullptr) return false;
  void* aligned = block;
  auto* buffer = static_cast<uint8_t*>(std::align(kRawReadAlignment, bytes, aligned, space));
  uint32_t done = 0;
  for (const ClusterRun& run : runs) {
    if (done == bytes) break;
    if (run.lcn == ClusterRun::kSparse) break;
    const auto piece = static_cast<uint32_t>(std::min<uint64_t>(
        bytes - done, std::min<uint64_t>(run.length, bytes / clusterBytes) * clusterBytes));
    uint32_t read = 0;
    uint32_t error = 0;
    if (!slot.volume->readAt(static_cast<uint64_t>(run.lcn) * clusterBytes, buffer + done, piece,
                             &read, &error) ||
        read != piece) {
      break;
    }
    done += piece;
  }
  // Entries past the list's own size are whatever else the clusters hold.
  const bool readable = done == bytes;
  if (readable) WalkListEntries(buffer, static_cast<uint32_t>(wanted), type, f);
  heap.free(block);
  return readable;
}

// The record number of the first entry of `type` in the record's $ATTRIBUTE_LIST.
bool FindInAttributeList(VolumeSlot& slot, PrivateHeap& heap, const FileRecordView& record,
                         uint32_t type, uint64_t* number) {
  bool found = false;
  WalkAttributeList(slot, heap, record, type, [&](uint64_t n) {
    *number = n;
    found = true;
    return true;
  });
  return found;
}

bool FileNameValue(const FileRecordView& record, uint32_t at, const uint8_t** value) {
  uint32_t length;
  return at != 0 && ResidentValue(record.attributeAt(at), value, &length) &&
         length >= fn::kAttributes + 4;
}

uint32_t DeliverNameValues(const uint8_t* value, uint32_t wanted, FileValues* values) {
  if ((wanted & kCreationTime) != 0) values->creation = LoadU64(value + fn::kCreation);
  if ((wanted & kLastAccessTime) != 0) values->lastAccess = LoadU64(value + fn::kLastAccess);
  if ((wanted & kRecordChangeTime) != 0) {
    values->recordChange = LoadU64(value + fn::kRecordChange);
  }
  if ((wanted & kAttributes) != 0) values->attributes = LoadU32(value + fn::kAttributes);
  return wanted & (kCreationTime | kLastAccessTime | kRecordChangeTime | kAttributes);
}

// The size from the record's $DATA, or from the $DATA of the extension record its attribute
// list names. `from` is where the walk for $DATA starts.
bool FindDataSize(VolumeSlot& slot, PrivateHeap& heap, const FileRecordView& record, uint32_t from,
                  uint64_t* size) REQUIRES(slot.recordLock) {
  const uint32_t data = record.find(from, a::kTypeData);
  if (data != 0) return DataAttributeSize(record.attributeAt(data), size);
  uint64_t extension;
  if (!FindInAttributeList(slot, heap, record, a::kTypeData, &extension)) return false;
  FileRecordView other;
  if (!FetchRecord(slot, extension, &other)) return false;
  const uint32_t at = other.find(other.firstAttribute(), a::kTypeData);
  return at != 0 && DataAttributeSize(other.attributeAt(at), size);
}

// Whether one of the record's $FILE_NAME attributes is the name in the folder.
bool RecordHasName(const FileRecordView& record, uint64_t parentNumber, const char16_t* name,
                   uint32_t length, bool* hasNames) {
  for (uint32_t at = record.find(record.firstAttribute(), a::kTypeFileName); at != 0;
       at = record.find(record.next(at, record.attributeAt(at)), a::kTypeFileName)) {
    const uint8_t* value;
    uint32_t valueLength;
    if (!ResidentValue(record.attributeAt(at), &value, &valueLength) || valueLength < fn::kName) {
      continue;
    }
    *hasNames = true;
    const uint32_t units = value[fn::kNameLength];
    if (units != length || fn::kName + 2 * units > valueLength ||
        (LoadU64(value + fn::kParent) & ntfs::kRecordNumberMask48) != parentNumber) {
      continue;
    }
    uint32_t i = 0;
    while (i < length && LoadU16(value + fn::kName + 2 * i) == name[i])
      ++i;
    if (i == length) return true;
  }
  return false;
}

}  // namespace

NamePresence FileHasName(VolumeSlot& slot, PrivateHeap& heap, uint64_t fileReference,
                         uint64_t parentNumber, const char16_t* name, uint32_t length) {
  if (!slot.present() || slot.fileRecordBuffer == nullptr) return NamePresence::kUnknown;
  MutexLock lock(slot.recordLock);
  const uint64_t number = fileReference & ntfs::kRecordNumberMask48;
  const auto sequence = static_cast<uint16_t>(fileReference >> ntfs::kSequenceShift);
  FileRecordView record;
  switch (Fetch(slot, number, &record)) {
    case Fetched::kFailed:
      return NamePresence::kUnknown;
    case Fetched::kNotInUse:
      return NamePresence::kAbsent;
    case Fetched::kRecord:
      break;
  }
  if (sequence != 0 && record.sequenceNumber() != sequence) return NamePresence::kAbsent;
  bool hasNames = false;
  if (RecordHasName(record, parentNumber, name, length, &hasNames)) return NamePresence::kPresent;
  // The names that do not fit the base record (a file with many, a heavily fragmented one) lie
  // in the extension records its attribute list names, whether the base record keeps some or
  // none. The buffer holds one record at a time: they are gathered first.
  std::vector<uint64_t> extensions;
  bool damaged = false;
  WalkAttributeList(slot, heap, record, a::kTypeFileName, [&](uint64_t n) {
    if (n == number || std::find(extensions.begin(), extensions.end(), n) != extensions.end()) {
      return false;
    }
    damaged = extensions.size() == kMaxNames;
    if (!damaged) extensions.push_back(n);
    return damaged;
  });
  if (damaged) return NamePresence::kUnknown;
  for (const uint64_t extension : extensions) {
    FileRecordView other;
    if (!FetchRecord(slot, extension, &other)) return NamePresence::kUnknown;
    if (RecordHasName(other, parentNumber, name, length, &hasNames)) return NamePresence::kPresent;
  }
  return hasNames || !extensions.empty() ? NamePresence::kAbsent : NamePresence::kUnknown;
}

FileValues ReadFileRecord(VolumeSlots& slots, uint32_t volume, uint32_t recordNumber,
                          uint32_t wanted) {
  FileValues values;
  if (volume >= kVolumeCount) return values;
  VolumeSlot& slot = slots[volume];
  if (!slot.present() || slot.fileRecordBuffer == nullptr) return values;
  MutexLock lock(slot.recordLock);
  FileRecordView record;
  if (!FetchRecord(slot, recordNumber, &record)) return values;

  const uint32_t name = record.find(record.firstAttribute(), a::kTypeFileName);
  const uint8_t* value = nullptr;
  const bool hasName = FileNameValue(record, name, &value);
  if (hasName) {
    values.delivered = DeliverNameValues(value, wanted, &values);
    if ((wanted & kSize) != 0 && LoadU64(value + fn::kDataSize) != 0) {
      values.size = LoadU64(value + fn::kDataSize);
      values.delivered |= kSize;
      return values;
    }
  }
  if ((wanted & kSize) != 0) {
    const uint32_t from =
        hasName ? record.next(name, record.attributeAt(name)) : record.firstAttribute();
    if (FindDataSize(slot, slots.heap(), record, from, &values.size)) values.delivered |= kSize;
  }
  const bool wantsName = (wanted & ~kSize) != 0;
  if (!hasName && wantsName) {
    // The names live in an extension record; the buffer may hold another record by now.
    uint64_t extension;
    FileRecordView other;
    if (FetchRecord(slot, recordNumber, &record) &&
        FindInAttributeList(slot, slots.heap(), record, a::kTypeFileName, &extension) &&
        FetchRecord(slot, extension, &other) &&
        FileNameValue(other, other.find(other.firstAttribute(), a::kTypeFileName), &value)) {
      values.delivered |= DeliverNameValues(value, wanted, &values);
    }
  }
  return values;
}

}  // namespace vessiko
