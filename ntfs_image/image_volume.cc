#include "ntfs_image/image_volume.h"

#include <algorithm>
#include <cstring>
#include <string_view>

#include "ntfs_image/file_table_reader.h"
#include "ntfs_image/update_sequence.h"
#include "ntfs_model/metafiles.h"
#include "ntfs_model/usn_journal.h"
#include "ntfs_model/volume_data.h"
#include "platform/little_endian.h"
#include "platform/ntfs_layout.h"
#include "volume/file_record_view.h"

namespace vessiko {

namespace {

namespace fr = ntfs::file_record;
namespace at = ntfs::attribute;
namespace fn = ntfs::file_name;

// An attribute list longer than this is taken for damage: real ones hold a few hundred entries.
constexpr uint64_t kMaxAttributeList = 1 << 20;
// Extension records one file's names may lie in.
constexpr size_t kMaxExtensionRecords = 256;

// Bytes [offset, offset + size) of an attribute's value, read through its runs; a sparse run
// reads as zeros.
bool ReadThroughRuns(ImageBytes& bytes, uint32_t clusterBytes, const std::vector<ClusterRun>& runs,
                     uint64_t offset, uint32_t size, uint8_t* out) {
  while (size > 0) {
    const uint64_t vcn = offset / clusterBytes;
    const auto run = std::find_if(runs.begin(), runs.end(), [vcn](const ClusterRun& r) {
      return vcn >= r.vcn && vcn - r.vcn < r.length;
    });
    if (run == runs.end()) return false;
    const uint64_t within = offset - run->vcn * clusterBytes;
    // Counted in clusters first, as a hole may be longer than bytes can count; never 0.
    const uint64_t left =
        std::min<uint64_t>(run->length - (vcn - run->vcn), size / clusterBytes + 1) * clusterBytes -
        offset % clusterBytes;
    const auto piece = static_cast<uint32_t>(std::min<uint64_t>(size, left));
    if (run->lcn == ClusterRun::kSparse) {
      std::memset(out, 0, piece);
    } else if (!bytes.read(static_cast<uint64_t>(run->lcn) * clusterBytes + within, out, piece)) {
      return false;
    }
    out += piece;
    offset += piece;
    size -= piece;
  }
  return true;
}

// The mapping pairs of a non-resident attribute, decoded.
bool RunsOf(const AttributeView& a, uint64_t totalClusters, std::vector<ClusterRun>* runs) {
  if (!a.nonResident || a.length < at::kNonResidentHeaderSize) return false;
  const uint32_t pairs = LoadU16(a.bytes + at::kMappingPairsOffset);
  if (pairs < at::kNonResidentHeaderSize || pairs >= a.length) return false;
  return DecodeMappingPairs({a.bytes + pairs, a.length - pairs}, LoadU64(a.bytes + at::kLowestVcn),
                            totalClusters, runs);
}

// A $FILE_NAME value whose name fits it.
bool FileNameValue(const AttributeView& a, const uint8_t** value, uint32_t* length) {
  if (!ResidentValue(a, value, length) || *length < fn::kName) return false;
  return fn::kName + 2 * uint32_t{(*value)[fn::kNameLength]} <= *length;
}

// What one file contributes to an enumeration: one entry per name that is not a DOS twin. Kept
// from file to file, so that a walk allocates nothing per file.
struct FileNames {
  struct Name {
    uint32_t offset;  // in units
    uint32_t length;
    uint64_t parent;
  };
  int64_t usn = 0;
  uint32_t attributes = 0;
  std::u16string units;  // the names, one after another
  std::vector<Name> names;

  void clear() {
    usn = 0;
    attributes = 0;
    units.clear();
    names.clear();
  }
  std::u16string_view name(const Name& n) const { return {units.data() + n.offset, n.length}; }
};

void AddNames(const FileRecordView& view, FileNames* file) {
  for (uint32_t offset = view.find(view.firstAttribute(), at::kTypeFileName); offset != 0;
       offset = view.find(view.next(offset, view.attributeAt(offset)), at::kTypeFileName)) {
    const uint8_t* value;
    uint32_t length;
    if (!FileNameValue(view.attributeAt(offset), &value, &length)) continue;
    if (value[fn::kNamespace] == fn::kNamespaceDos) continue;
    const uint32_t units = value[fn::kNameLength];
    file->names.push_back(
        {static_cast<uint32_t>(file->units.size()), units, LoadU64(value + fn::kParent)});
    for (uint32_t i = 0; i < units; ++i)
      file->units.push_back(static_cast<char16_t>(LoadU16(value + fn::kName + 2 * i)));
  }
}

}  // namespace

std::unique_ptr<NtfsImageVolume> NtfsImageVolume::Open(std::shared_ptr<ImageBytes> bytes,
                                                       std::string* error) {
  uint8_t sector[ntfs::boot_sector::kSize];
  if (!bytes->read(0, sector, sizeof sector)) {
    *error = "the boot sector cannot be read";
    return nullptr;
  }
  BootSectorGeometry g;
  if (!ParseBootSector(sector, &g, error)) return nullptr;
  if (bytes->size() / g.bytesPerCluster < g.totalClusters) {
    *error = "the volume is larger than the bytes that hold it (a cut image?)";
    return nullptr;
  }
  std::unique_ptr<NtfsImageVolume> volume(new NtfsImageVolume(bytes, g));
  // The file table's own record, where the table's first runs lie.
  std::vector<uint8_t> record(g.bytesPerFileRecord);
  if (!bytes->read(g.mftLcn * g.bytesPerCluster, record.data(), g.bytesPerFileRecord) ||
      !ReadyFileRecord(record)) {
    *error = "the file table's first record is damaged";
    return nullptr;
  }
  const FileRecordView view(record.data(), g.bytesPerFileRecord);
  const uint32_t data = view.inUse() ? view.find(view.firstAttribute(), at::kTypeData) : 0;
  const AttributeView a = data != 0 ? view.attributeAt(data) : AttributeView{};
  if (data == 0 || !RunsOf(a, g.totalClusters, &volume->mftRuns_) || volume->mftRuns_.empty() ||
      volume->mftRuns_[0].vcn != 0) {
    *error = "the file table's first record does not map the table";
    return nullptr;
  }
  volume->mftDataSize_ = LoadU64(a.bytes + at::kDataSize);
  // A fragmented table may continue in extension records its attribute list names; those lie
  // in the part already mapped.
  std::vector<uint8_t> entries;
  if (!volume->readAttributeList(view, &entries)) {
    *error = "the file table's attribute list cannot be read";
    return nullptr;
  }
  if (!entries.empty()) {
    bool complete = true;
    ForEachListEntry(
        entries.data(), entries.size(), [&](uint32_t type, uint64_t lowestVcn, uint64_t holder) {
          if (!complete || type != at::kTypeData || lowestVcn == 0 || holder == 0) {
            return;
          }
          std::vector<uint8_t> extension;
          std::vector<ClusterRun> more;
          if (!volume->readRecord(holder, &extension)) {
            *error = "an extension record of the file table cannot be read";
            complete = false;
            return;
          }
          const FileRecordView ev(extension.data(), static_cast<uint32_t>(extension.size()));
          // The piece of $DATA the entry names: one record may hold several.
          uint32_t d = ev.find(ev.firstAttribute(), at::kTypeData);
          while (d != 0 && (!ev.attributeAt(d).nonResident ||
                            LoadU64(ev.attributeAt(d).bytes + at::kLowestVcn) != lowestVcn)) {
            d = ev.find(ev.next(d, ev.attributeAt(d)), at::kTypeData);
          }
          if (d == 0 || !RunsOf(ev.attributeAt(d), g.totalClusters, &more)) {
            *error = "an extension record of the file table does not map its part";
            complete = false;
            return;
          }
          volume->mftRuns_.insert(volume->mftRuns_.end(), more.begin(), more.end());
        });
    if (!complete) return nullptr;
    std::sort(volume->mftRuns_.begin(), volume->mftRuns_.end(),
              [](const ClusterRun& x, const ClusterRun& y) { return x.vcn < y.vcn; });
  }
  // The table as far as its runs map it without a gap or a hole (NTFS never makes it sparse),
  // and no larger than the volume: else damage could make it long enough to read for ever.
  uint64_t mapped = 0;
  for (const ClusterRun& run : volume->mftRuns_) {
    if (run.vcn != mapped || run.lcn == ClusterRun::kSparse) break;
    mapped += run.length;
  }
  volume->mftDataSize_ =
      std::min(volume->mftDataSize_, std::min(mapped, g.totalClusters) * g.bytesPerCluster);
  if (volume->recordCount() < ntfs::kFirstUserRecord) {
    *error = "the file table is shorter than NTFS's own files";
    return nullptr;
  }
  ImageJournal journal;
  if (ImageJournal::Find(*volume, &journal)) volume->journal_ = std::move(journal);
  return volume;
}

std::u16string NtfsImageVolume::label() const {
  std::vector<uint8_t> record;
  if (!readRecord(ntfs::kVolumeRecord, &record)) return {};
  const FileRecordView view(record.data(), static_cast<uint32_t>(record.size()));
  const uint32_t name = view.inUse() ? view.find(view.firstAttribute(), at::kTypeVolumeName) : 0;
  const uint8_t* value;
  uint32_t length;
  if (name == 0 || !ResidentValue(view.attributeAt(name), &value, &length)) return {};
  std::u16string label(length / 2, u'\0');
  for (size_t i = 0; i < label.size(); ++i)
    label[i] = static_cast<char16_t>(LoadU16(value + 2 * i));
  return label;
}

bool NtfsImageVolume::readAttributeList(const FileRecordView& record,
                                        std::vector<uint8_t>* entries) const {
  entries->clear();
  const uint32_t list = record.find(record.firstAttribute(), at::kTypeAttributeList);
  if (list == 0) return true;
  const AttributeView l = record.attributeAt(list);
  const uint8_t* value;
  uint32_t length;
  if (ResidentValue(l, &value, &length)) {
    entries->assign(value, value + length);
    return true;
  }
  return readNonResident(l.bytes, l.length, kMaxAttributeList, entries);
}

bool NtfsImageVolume::readNonResident(const uint8_t* attribute, uint32_t length, uint64_t limit,
                                      std::vector<uint8_t>* value) const {
  AttributeView a;
  a.bytes = attribute;
  a.length = length;
  a.nonResident = true;
  std::vector<ClusterRun> runs;
  if (!RunsOf(a, geometry_.totalClusters, &runs)) return false;
  const uint64_t size = LoadU64(attribute + at::kDataSize);
  if (size > limit) return false;
  value->resize(size);
  return readRuns(runs, 0, static_cast<uint32_t>(size), value->data());
}

bool NtfsImageVolume::runsOf(const AttributeView& attribute, std::vector<ClusterRun>* runs) const {
  return RunsOf(attribute, geometry_.totalClusters, runs);
}

bool NtfsImageVolume::readRuns(const std::vector<ClusterRun>& runs, uint64_t offset, uint32_t size,
                               uint8_t* out) const {
  return ReadThroughRuns(*bytes_, geometry_.bytesPerCluster, runs, offset, size, out);
}

bool NtfsImageVolume::readTable(uint64_t offset, uint32_t size, uint8_t* out) const {
  return readRuns(mftRuns_, offset, size, out);
}

void NtfsImageVolume::prefetchTable(uint64_t offset, uint64_t size) const {
  const uint32_t clusterBytes = geometry_.bytesPerCluster;
  for (const ClusterRun& run : mftRuns_) {
    const uint64_t start = run.vcn * clusterBytes;
    const uint64_t end = start + run.length * clusterBytes;
    if (end <= offset || start >= offset + size || run.lcn == ClusterRun::kSparse) continue;
    const uint64_t from = std::max(start, offset);
    const uint64_t to = std::min(end, offset + size);
    bytes_->prefetch(static_cast<uint64_t>(run.lcn) * clusterBytes + (from - start), to - from);
  }
}

bool NtfsImageVolume::readRecord(uint64_t n, std::vector<uint8_t>* record) const {
  if (n >= recordCount()) return false;
  record->resize(geometry_.bytesPerFileRecord);
  return readTable(n * geometry_.bytesPerFileRecord, geometry_.bytesPerFileRecord,
                   record->data()) &&
         ReadyFileRecord(*record);
}

bool NtfsImageVolume::control(uint32_t code, const void* in, uint32_t inSize, void* out,
                              uint32_t outSize, uint32_t* returned, uint32_t* error) {
  std::lock_guard lock(calls_);
  *returned = 0;
  const auto* input = static_cast<const uint8_t*>(in);
  auto* output = static_cast<uint8_t*>(out);
  uint32_t result;
  switch (code) {
    case ntfs::kGetNtfsVolumeData:
      result = volumeData(output, outSize, returned);
      break;
    case ntfs::kEnumUsnData:
      result = enumerate(input, inSize, output, outSize, returned);
      break;
    case ntfs::kGetNtfsFileRecord:
      result = fileRecord(input, inSize, output, outSize, returned);
      break;
    case ntfs::kQueryUsnJournal:
      result = journal_ ? journal_->query(output, outSize, returned) : ntfs::kErrorJournalNotActive;
      break;
    case ntfs::kReadUsnJournal:
      result = journal_ ? journal_->read(*this, input, inSize, output, outSize, returned)
                        : ntfs::kErrorJournalNotActive;
      break;
    case ntfs::kDeleteUsnJournal:
      result = journal_ ? ntfs::kErrorAccessDenied : ntfs::kErrorJournalNotActive;
      break;
    case ntfs::kCreateUsnJournal:
      result = ntfs::kErrorAccessDenied;  // the volume is read-only
      break;
    default:
      result = ntfs::kErrorInvalidFunction;
  }
  *error = result;
  return result == 0;
}

uint64_t NtfsImageVolume::freeClusters() const {
  std::vector<uint8_t> record;
  if (!readRecord(ntfs::kBitmapRecord, &record)) return 0;
  const FileRecordView view(record.data(), static_cast<uint32_t>(record.size()));
  const uint32_t data = view.inUse() ? view.find(view.firstAttribute(), at::kTypeData) : 0;
  if (data == 0) return 0;
  const AttributeView a = view.attributeAt(data);
  std::vector<uint8_t> bits;
  const uint64_t needed = (geometry_.totalClusters + 7) / 8;
  const uint8_t* value;
  uint32_t length;
  if (ResidentValue(a, &value, &length)) {
    bits.assign(value, value + length);
  } else if (!readNonResident(a.bytes, a.length, needed + 8, &bits)) {
    return 0;
  }
  if (bits.size() < needed) return 0;
  uint64_t used = 0;
  for (uint64_t cluster = 0; cluster < geometry_.totalClusters; ++cluster)
    used += bits[cluster / 8] >> (cluster % 8) & 1;
  return geometry_.totalClusters - used;
}

uint32_t NtfsImageVolume::volumeData(uint8_t* out, uint32_t outSize, uint32_t* returned) const {
  VolumeGeometry g;
  g.serialNumber = geometry_.serialNumber;
  g.totalClusters = geometry_.totalClusters;
  g.clusterSize = geometry_.bytesPerCluster;
  g.recordSize = geometry_.bytesPerFileRecord;
  g.mftValidDataLength = mftDataSize_;
  if (freeClusters_ < 0) freeClusters_ = static_cast<int64_t>(freeClusters());
  g.freeClusters = static_cast<uint64_t>(freeClusters_);
  g.mftStartLcn = geometry_.mftLcn;
  g.mft2StartLcn = geometry_.mftMirrorLcn;
  return WriteVolumeData(g, out, outSize, returned);
}

uint32_t NtfsImageVolume::enumerate(const uint8_t* in, uint32_t inSize, uint8_t* out,
                                    uint32_t outSize, uint32_t* returned) const {
  namespace me = ntfs::mft_enum_data;
  if (inSize < me::kSize) return ntfs::kErrorInvalidParameter;
  if (outSize < 8) return ntfs::kErrorInsufficientBuffer;
  const int64_t low = LoadI64(in + me::kLowUsn);
  const int64_t high = LoadI64(in + me::kHighUsn);
  uint64_t n = std::max(LoadU64(in + me::kStartFileReferenceNumber) & ntfs::kRecordNumberMask48,
                        ntfs::kFirstUserRecord);
  uint32_t used = 8;
  bool stopped = false;
  FileTableReader table(*this);
  FileNames file;
  std::vector<uint8_t> entries;
  std::vector<uint64_t> holders;
  std::vector<uint8_t> extension;
  for (; n < recordCount(); ++n) {
    const uint8_t* record = table.record(n);
    if (record == nullptr) continue;
    const FileRecordView view(record, geometry_.bytesPerFileRecord);
    // Free, or an extension of another record: the whole reference, as the table's own
    // extensions name record 0.
    if (!view.inUse() || LoadU64(record + fr::kBaseRecord) != 0) continue;
    file.clear();
    const uint32_t standard = view.find(view.firstAttribute(), at::kTypeStandardInformation);
    const uint8_t* value;
    uint32_t length;
    if (standard != 0 && ResidentValue(view.attributeAt(standard), &value, &length) &&
        length >= ntfs::standard_information::kMaximumVersions) {
      file.attributes = LoadU32(value + ntfs::standard_information::kAttributes);
      if (length >= ntfs::standard_information::kSize) {
        file.usn = LoadI64(value + ntfs::standard_information::kUsn);
      }
    }
    if (LoadU16(record + fr::kFlags) & fr::kFlagDirectory) {
      file.attributes |= ntfs::kAttributeDirectory;
    }
    if (file.usn < low || file.usn > high) continue;
    AddNames(view, &file);
    // Names an attribute list places in extension records.
    if (readAttributeList(view, &entries) && !entries.empty()) {
      holders.clear();
      ForEachListEntry(entries.data(), entries.size(),
                       [&](uint32_t type, uint64_t, uint64_t holder) {
                         if (type == at::kTypeFileName && holder != n &&
                             std::find(holders.begin(), holders.end(), holder) == holders.end() &&
                             holders.size() < kMaxExtensionRecords) {
                           holders.push_back(holder);
                         }
                       });
      for (const uint64_t holder : holders) {
        if (!readRecord(holder, &extension)) continue;
        const FileRecordView ev(extension.data(), static_cast<uint32_t>(extension.size()));
        if (!ev.inUse() ||
            (LoadU64(extension.data() + fr::kBaseRecord) & ntfs::kRecordNumberMask48) != n) {
          continue;  // not this file's: a stale list
        }
        AddNames(ev, &file);
      }
    }
    uint32_t needed = 0;
    for (const FileNames::Name& name : file.names)
      needed += UsnRecordLength(name.length);
    if (used + needed > outSize) {
      stopped = true;
      break;
    }
    const uint64_t reference = n | uint64_t{LoadU16(record + fr::kSequenceNumber)}
                                       << ntfs::kSequenceShift;
    for (const FileNames::Name& name : file.names) {
      UsnRecordFields fields;
      fields.fileReference = reference;
      fields.parentReference = name.parent;
      fields.usn = file.usn;
      fields.attributes = file.attributes;
      fields.name = file.name(name);
      WriteUsnRecord(out + used, fields);
      used += UsnRecordLength(name.length);
    }
  }
  if (used == 8) return stopped ? ntfs::kErrorInsufficientBuffer : ntfs::kErrorHandleEof;
  StoreU64(out, n);
  *returned = used;
  return 0;
}

uint32_t NtfsImageVolume::fileRecord(const uint8_t* in, uint32_t inSize, uint8_t* out,
                                     uint32_t outSize, uint32_t* returned) const {
  namespace fo = ntfs::file_record_output;
  if (inSize < fo::kInputSize) return ntfs::kErrorInvalidParameter;
  const uint32_t size = geometry_.bytesPerFileRecord;
  if (outSize < fo::kFileRecordBuffer + size) return ntfs::kErrorInsufficientBuffer;
  // The nearest record in use at or below the one asked for; the table's own always is.
  uint64_t n = std::min(LoadU64(in) & ntfs::kRecordNumberMask48, recordCount() - 1);
  std::vector<uint8_t> record;
  for (;; --n) {
    if (readRecord(n, &record) && FileRecordView(record.data(), size).inUse()) break;
    if (n == 0) return ntfs::kErrorFileCorrupt;
  }
  StoreU64(out + fo::kFileReferenceNumber,
           n | uint64_t{LoadU16(record.data() + fr::kSequenceNumber)} << ntfs::kSequenceShift);
  StoreU32(out + fo::kFileRecordLength, size);
  std::memcpy(out + fo::kFileRecordBuffer, record.data(), size);
  *returned = fo::kFileRecordBuffer + size;
  return 0;
}

bool NtfsImageVolume::readAt(uint64_t offset, void* buffer, uint32_t size, uint32_t* read,
                             uint32_t* error) {
  *read = 0;
  const uint32_t sector = geometry_.bytesPerSector;
  if (offset % sector != 0 || size % sector != 0 ||
      reinterpret_cast<uintptr_t>(buffer) % sector != 0) {
    *error = ntfs::kErrorInvalidParameter;
    return false;
  }
  const uint64_t volumeBytes = geometry_.totalClusters * geometry_.bytesPerCluster;
  const auto length = static_cast<uint32_t>(
      offset >= volumeBytes ? 0 : std::min<uint64_t>(size, volumeBytes - offset));
  if (length > 0 && !bytes_->read(offset, buffer, length)) {
    *error = ntfs::kErrorCrc;
    return false;
  }
  *read = length;
  return true;
}

void NtfsImageVolume::ignoreJournal() {
  std::lock_guard lock(calls_);
  journal_.reset();
}

std::unique_ptr<Volume> NtfsImageVolume::reopen() {
  // A handle on the same bytes as this one has read them: the table's map and the journal's
  // layout are not read again.
  std::lock_guard lock(calls_);
  std::unique_ptr<NtfsImageVolume> volume(new NtfsImageVolume(bytes_, geometry_));
  volume->mftRuns_ = mftRuns_;
  volume->mftDataSize_ = mftDataSize_;
  volume->freeClusters_ = freeClusters_;
  volume->journal_ = journal_;
  return volume;
}

}  // namespace vessiko
