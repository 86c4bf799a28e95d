#include "ntfs_image/image_journal.h"

#include <algorithm>
#include <cstring>
#include <span>
#include <string_view>

#include "ntfs_image/image_volume.h"
#include "ntfs_image/update_sequence.h"
#include "ntfs_model/metafiles.h"
#include "ntfs_model/usn_journal.h"
#include "platform/little_endian.h"
#include "platform/ntfs_layout.h"

namespace vessiko {

namespace {

namespace at = ntfs::attribute;
namespace ur = ntfs::usn_record;
namespace u3 = ntfs::usn_record_v3;
namespace ie = ntfs::index_entry;
namespace ih = ntfs::index_header;

// $Extend's index is a handful of names; more than this is damage.
constexpr uint64_t kMaxExtendIndex = 1 << 20;
// A record never crosses a page, so none is longer.
constexpr uint32_t kMaxRecordBytes = 4096;
// $J is read this much at a time.
constexpr uint32_t kWindowBytes = 64 << 10;

// The UTF-16LE units at `bytes` (as many as the name has, known to be there) are `name`.
bool SameUnits(const uint8_t* bytes, std::u16string_view name) {
  for (size_t i = 0; i < name.size(); ++i) {
    if (LoadU16(bytes + 2 * i) != name[i]) return false;
  }
  return true;
}

// The attribute's name equals `name`.
bool Named(const AttributeView& a, std::u16string_view name) {
  const uint32_t units = a.bytes[at::kNameLength];
  const uint32_t offset = LoadU16(a.bytes + at::kNameOffset);
  return units == name.size() && offset <= a.length && 2 * units <= a.length - offset &&
         SameUnits(a.bytes + offset, name);
}

// The attribute of `type` named `name` in the record, or an end marker.
AttributeView NamedAttribute(const FileRecordView& view, uint32_t type, std::u16string_view name) {
  for (uint32_t offset = view.find(view.firstAttribute(), type); offset != 0;
       offset = view.find(view.next(offset, view.attributeAt(offset)), type)) {
    const AttributeView a = view.attributeAt(offset);
    if (Named(a, name)) return a;
  }
  return {};
}

// The file reference of the entry named `name` among the index entries of one node,
// [first, end) of `node`; *subnodes is set when an entry points below.
bool FindInNode(const uint8_t* node, uint32_t first, uint32_t end, std::u16string_view name,
                uint64_t* reference, bool* subnodes) {
  namespace fn = ntfs::file_name;
  for (uint32_t offset = first; end - offset >= ie::kHeaderSize && offset < end;) {
    const uint8_t* entry = node + offset;
    const uint32_t length = LoadU16(entry + ie::kLength);
    const uint32_t flags = LoadU16(entry + ie::kFlags);
    if (length < ie::kHeaderSize || length > end - offset) return false;
    if (flags & ie::kFlagSubnode) *subnodes = true;
    if (flags & ie::kFlagLast) return false;
    const uint32_t key = LoadU16(entry + ie::kKeyLength);
    if (key >= fn::kName && key <= length - ie::kHeaderSize) {
      const uint8_t* value = entry + ie::kHeaderSize;
      const uint32_t units = value[fn::kNameLength];
      if (units == name.size() && fn::kName + 2 * units <= key &&
          SameUnits(value + fn::kName, name)) {
        *reference = LoadU64(entry + ie::kFileReference);
        return true;
      }
    }
    offset += length;
  }
  return false;
}

// The reference $Extend's index of names gives $UsnJrnl: in the index root, else in any of the
// index blocks.
bool FindJournalFile(const NtfsImageVolume& volume, uint64_t* reference) {
  namespace ir = ntfs::index_root;
  namespace ib = ntfs::index_block;
  const std::u16string_view name = ntfs::usn_journal_max::kJournalName;
  std::vector<uint8_t> record;
  if (!volume.readRecord(ntfs::kExtendRecord, &record)) return false;
  const FileRecordView view(record.data(), static_cast<uint32_t>(record.size()));
  if (!view.inUse()) return false;
  const AttributeView root = NamedAttribute(view, at::kTypeIndexRoot, ir::kFileNameIndexName);
  const uint8_t* value;
  uint32_t length;
  if (root.atEnd() || !ResidentValue(root, &value, &length) ||
      length < ir::kIndexHeader + ih::kSize) {
    return false;
  }
  const uint8_t* header = value + ir::kIndexHeader;
  const uint32_t room = length - ir::kIndexHeader;
  bool subnodes = false;
  if (FindInNode(header, LoadU32(header + ih::kEntriesOffset),
                 std::min(LoadU32(header + ih::kIndexLength), room), name, reference, &subnodes)) {
    return true;
  }
  if (!subnodes) return false;
  const uint32_t blockSize = LoadU32(value + ir::kIndexBlockSize);
  const AttributeView blocks =
      NamedAttribute(view, at::kTypeIndexAllocation, ir::kFileNameIndexName);
  std::vector<uint8_t> bytes;
  if (blocks.atEnd() || blockSize < ntfs::file_record::kSectorStride || blockSize > 65536 ||
      (blockSize & (blockSize - 1)) != 0 ||
      !volume.readNonResident(blocks.bytes, blocks.length, kMaxExtendIndex, &bytes)) {
    return false;
  }
  for (size_t at = 0; bytes.size() - at >= blockSize; at += blockSize) {
    const std::span<uint8_t> block(bytes.data() + at, blockSize);
    if (std::memcmp(block.data(), ib::kMagicBytes, 4) != 0 || !ApplyUpdateSequence(block)) {
      continue;
    }
    const uint8_t* node = block.data() + ib::kIndexHeader;
    const uint32_t nodeRoom = blockSize - ib::kIndexHeader;
    if (FindInNode(node, LoadU32(node + ih::kEntriesOffset),
                   std::min(LoadU32(node + ih::kIndexLength), nodeRoom), name, reference,
                   &subnodes)) {
      return true;
    }
  }
  return false;
}

// Whether Windows had the volume read-write last: its $LogFile begins with a restart page. The
// drivers of other systems journal nothing, and mounting read-write leaves $LogFile emptied: a
// journal older than their changes would catch an index up without them.
bool WindowsHadItLast(const NtfsImageVolume& volume) {
  namespace lf = ntfs::log_file;
  std::vector<uint8_t> record;
  if (!volume.readRecord(ntfs::kLogFileRecord, &record)) return false;
  const FileRecordView view(record.data(), static_cast<uint32_t>(record.size()));
  const uint32_t data = view.inUse() ? view.find(view.firstAttribute(), at::kTypeData) : 0;
  std::vector<ClusterRun> runs;
  uint8_t magic[4];
  return data != 0 && volume.runsOf(view.attributeAt(data), &runs) &&
         volume.readRuns(runs, 0, sizeof magic, magic) &&
         (std::memcmp(magic, lf::kRestartMagic, 4) == 0 ||
          std::memcmp(magic, lf::kCheckedMagic, 4) == 0);
}

}  // namespace

bool ImageJournal::Find(const NtfsImageVolume& volume, ImageJournal* journal) {
  namespace um = ntfs::usn_journal_max;
  uint64_t reference = 0;
  if (!WindowsHadItLast(volume) || !FindJournalFile(volume, &reference)) return false;
  const uint64_t number = reference & ntfs::kRecordNumberMask48;
  std::vector<uint8_t> base;
  if (!volume.readRecord(number, &base)) return false;
  const FileRecordView view(base.data(), static_cast<uint32_t>(base.size()));
  if (!view.inUse() || view.sequenceNumber() != reference >> ntfs::kSequenceShift) return false;
  // The streams lie in the base record and in the extension records its list names; a large
  // $J is spread over several.
  std::vector<uint64_t> holders{number};
  std::vector<uint8_t> entries;
  if (!volume.readAttributeList(view, &entries)) return false;
  ForEachListEntry(entries.data(), entries.size(), [&](uint32_t type, uint64_t, uint64_t holder) {
    if (type == at::kTypeData && holders.size() < 4096 &&
        std::find(holders.begin(), holders.end(), holder) == holders.end()) {
      holders.push_back(holder);
    }
  });
  bool sizesFound = false;
  bool recordsFound = false;
  std::vector<uint8_t> other;
  for (const uint64_t holder : holders) {
    if (holder != number && !volume.readRecord(holder, &other)) return false;
    const std::vector<uint8_t>& bytes = holder == number ? base : other;
    const FileRecordView record(bytes.data(), static_cast<uint32_t>(bytes.size()));
    if (holder != number && (LoadU64(bytes.data() + ntfs::file_record::kBaseRecord) &
                             ntfs::kRecordNumberMask48) != number) {
      return false;
    }
    const AttributeView sizes = NamedAttribute(record, at::kTypeData, um::kSizesStream);
    const uint8_t* value;
    uint32_t length;
    if (!sizes.atEnd() && ResidentValue(sizes, &value, &length) && length >= um::kSize) {
      journal->maximumSize_ = LoadU64(value + um::kMaximumSize);
      journal->allocationDelta_ = LoadU64(value + um::kAllocationDelta);
      journal->id_ = LoadU64(value + um::kUsnJournalId);
      journal->lowestValidUsn_ = LoadI64(value + um::kLowestValidUsn);
      sizesFound = true;
    }
    const AttributeView records = NamedAttribute(record, at::kTypeData, um::kRecordsStream);
    std::vector<ClusterRun> runs;
    if (records.atEnd()) continue;
    if (!volume.runsOf(records, &runs)) return false;
    if (LoadU64(records.bytes + at::kLowestVcn) == 0) {
      journal->nextUsn_ = LoadI64(records.bytes + at::kDataSize);
      recordsFound = true;
    }
    journal->runs_.insert(journal->runs_.end(), runs.begin(), runs.end());
  }
  if (!sizesFound || !recordsFound || journal->nextUsn_ < 0 || journal->lowestValidUsn_ < 0) {
    return false;
  }
  std::sort(journal->runs_.begin(), journal->runs_.end(),
            [](const ClusterRun& x, const ClusterRun& y) { return x.vcn < y.vcn; });
  // The runs must map $J from its start to its end, one after another.
  const uint64_t clusterBytes = volume.geometry().bytesPerCluster;
  uint64_t mapped = 0;
  int64_t firstKept = -1;
  for (const ClusterRun& run : journal->runs_) {
    if (run.vcn != mapped) return false;
    if (firstKept < 0 && run.lcn != ClusterRun::kSparse) {
      firstKept = static_cast<int64_t>(run.vcn * clusterBytes);
    }
    mapped += run.length;
  }
  const auto next = static_cast<uint64_t>(journal->nextUsn_);
  if (mapped < (next + clusterBytes - 1) / clusterBytes) return false;
  journal->firstUsn_ =
      std::min(std::max(firstKept < 0 ? journal->nextUsn_ : firstKept, journal->lowestValidUsn_),
               journal->nextUsn_);
  return true;
}

uint32_t ImageJournal::query(uint8_t* out, uint32_t outSize, uint32_t* returned) const {
  namespace jd = ntfs::usn_journal_data;
  if (outSize < jd::kSize) return ntfs::kErrorInsufficientBuffer;
  StoreU64(out + jd::kUsnJournalId, id_);
  StoreU64(out + jd::kFirstUsn, static_cast<uint64_t>(firstUsn_));
  StoreU64(out + jd::kNextUsn, static_cast<uint64_t>(nextUsn_));
  StoreU64(out + jd::kLowestValidUsn, static_cast<uint64_t>(lowestValidUsn_));
  StoreU64(out + jd::kMaxUsn, static_cast<uint64_t>(kJournalMaxUsn));
  StoreU64(out + jd::kMaximumSize, maximumSize_);
  StoreU64(out + jd::kAllocationDelta, allocationDelta_);
  *returned = jd::kSize;
  return 0;
}

uint32_t ImageJournal::read(const NtfsImageVolume& volume, const uint8_t* in, uint32_t inSize,
                            uint8_t* out, uint32_t outSize, uint32_t* returned) const {
  namespace rj = ntfs::read_usn_journal_data;
  if (inSize < rj::kSize) return ntfs::kErrorInvalidParameter;
  if (outSize < 8) return ntfs::kErrorInsufficientBuffer;
  if (LoadU64(in + rj::kUsnJournalId) != id_) return ntfs::kErrorInvalidParameter;
  int64_t start = LoadI64(in + rj::kStartUsn);
  const uint32_t mask = LoadU32(in + rj::kReasonMask);
  const bool onlyOnClose = LoadU32(in + rj::kReturnOnlyOnClose) != 0;
  // StartUsn 0 is the oldest record kept.
  if (start == 0) start = firstUsn_;
  if (start < firstUsn_) return ntfs::kErrorJournalEntryDeleted;
  std::vector<uint8_t> window;
  int64_t windowStart = 0;
  uint32_t used = 8;
  // Records start on 8-byte boundaries; a start past the end reads nothing.
  int64_t usn = start >= nextUsn_ ? nextUsn_ : (start + 7) & ~int64_t{7};
  for (; usn < nextUsn_;) {
    // The window holds the record's header, and then the whole record.
    const auto have = [&](uint32_t bytes) {
      return usn >= windowStart && usn + bytes <= windowStart + static_cast<int64_t>(window.size());
    };
    const auto load = [&] {
      windowStart = usn;
      window.resize(static_cast<size_t>(std::min<int64_t>(kWindowBytes, nextUsn_ - usn)));
      return volume.readRuns(runs_, static_cast<uint64_t>(usn),
                             static_cast<uint32_t>(window.size()), window.data());
    };
    if (!have(8) && !load()) return ntfs::kErrorCrc;
    if (!have(8)) return ntfs::kErrorFileCorrupt;  // a record cut by the stream's end
    const uint32_t length = LoadU32(window.data() + (usn - windowStart));
    if (length == 0) {  // the zeros that end a page
      usn += 8;
      continue;
    }
    if (length % 8 != 0 || length < ur::kHeaderSize || length > kMaxRecordBytes ||
        static_cast<uint64_t>(nextUsn_ - usn) < length) {
      return ntfs::kErrorFileCorrupt;
    }
    if (!have(length) && !load()) return ntfs::kErrorCrc;
    const uint8_t* record = window.data() + (usn - windowStart);
    const uint32_t major = LoadU16(record + ur::kMajorVersion);
    if (major == 4) {
      usn += length;
      continue;
    }
    const bool v3 = major == 3;
    if (major != 2 && !v3) return ntfs::kErrorFileCorrupt;
    const uint32_t header = v3 ? u3::kHeaderSize : ur::kHeaderSize;
    const uint32_t nameBytes = LoadU16(record + (v3 ? u3::kFileNameLength : ur::kFileNameLength));
    const uint32_t nameOffset = LoadU16(record + (v3 ? u3::kFileNameOffset : ur::kFileNameOffset));
    if (length < header || nameOffset < header || nameBytes % 2 != 0 ||
        nameBytes > length - std::min(length, nameOffset) ||
        LoadI64(record + (v3 ? u3::kUsn : ur::kUsn)) != usn) {
      return ntfs::kErrorFileCorrupt;
    }
    const uint32_t reason = LoadU32(record + (v3 ? u3::kReason : ur::kReason));
    if ((reason & mask) != 0 && (!onlyOnClose || (reason & ntfs::kReasonClose) != 0)) {
      const uint32_t units = nameBytes / 2;
      const uint32_t outLength = UsnRecordLength(units);
      if (used + outLength > outSize) {
        if (used == 8) return ntfs::kErrorInsufficientBuffer;
        break;
      }
      char16_t name[kMaxRecordBytes / 2];
      for (uint32_t i = 0; i < units; ++i)
        name[i] = static_cast<char16_t>(LoadU16(record + nameOffset + 2 * i));
      UsnRecordFields fields;
      fields.fileReference =
          LoadU64(record + (v3 ? u3::kFileReferenceNumber : ur::kFileReferenceNumber));
      fields.parentReference =
          LoadU64(record + (v3 ? u3::kParentFileReferenceNumber : ur::kParentFileReferenceNumber));
      fields.usn = usn;
      fields.timeStamp = LoadU64(record + (v3 ? u3::kTimeStamp : ur::kTimeStamp));
      fields.reason = reason;
      fields.attributes = LoadU32(record + (v3 ? u3::kFileAttributes : ur::kFileAttributes));
      fields.name = std::u16string_view(name, units);
      WriteUsnRecord(out + used, fields);
      used += outLength;
    }
    usn += length;
  }
  StoreU64(out, static_cast<uint64_t>(usn < nextUsn_ ? usn : std::max(start, nextUsn_)));
  *returned = used;
  return 0;
}

}  // namespace vessiko
