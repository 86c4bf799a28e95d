#include "mirror/mirror_volume.h"

#include <algorithm>
#include <cstring>

#include "mirror/file_name_bytes.h"
#include "mirror/live_file_values.h"
#include "ntfs_model/file_record_builder.h"
#include "ntfs_model/metafiles.h"
#include "ntfs_model/volume_data.h"
#include "ntfs_model/volume_handle.h"
#include "platform/little_endian.h"
#include "platform/ntfs_layout.h"

namespace vessiko {

namespace {

constexpr uint32_t kClusterSize = 4096;
constexpr uint32_t kRecordSize = 1024;
constexpr uint32_t kIndexBlockSize = 4096;
constexpr uint64_t kTotalClusters = uint64_t{1} << 27;
constexpr uint64_t kMftStartLcn = 786432;
constexpr uint64_t kMftMirrorLcn = 2;
constexpr uint64_t kAllocationDelta = 8ULL << 20;

}  // namespace

uint32_t AttributesFor(NodeKind kind, std::string_view name) {
  uint32_t attributes = name.front() == '.' ? ntfs::kAttributeHidden : 0;
  switch (kind) {
    case NodeKind::kDirectory:
      return attributes | ntfs::kAttributeDirectory;
    case NodeKind::kFile:
      return attributes | ntfs::kAttributeArchive;
    default:
      return attributes | ntfs::kAttributeSystem;
  }
}

// What a FILE record is made of, copied from the tree so that the record is built, and its
// file's values read, without the lock.
struct MirrorVolume::Snapshot {
  uint32_t number = 0;
  uint16_t sequence = 0;
  bool inUse = false;
  uint64_t parentReference = 0;
  int64_t lastUsn = 0;
  uint32_t attributes = 0;
  uint8_t nameSpace = ntfs::file_name::kNamespaceWin32;
  std::u16string name;
  // The real file the record stands for.
  std::string path;
  uint64_t inode = 0;
};

MirrorVolume::MirrorVolume(std::unique_ptr<MirrorTree> tree, std::string root, uint64_t rootDevice,
                           const MirrorJournal& journal)
    : tree_(std::move(tree)),
      root_(std::move(root)),
      rootDevice_(rootDevice),
      journal_(journal.id, journal.startUsn, [this] { tree_->forgetUsns(); }) {
  journal_.create(journal.maximumSize, kAllocationDelta);
}

std::unique_ptr<Volume> MirrorVolume::open() {
  return std::make_unique<VolumeHandle<MirrorVolume>>(shared_from_this());
}

uint64_t MirrorVolume::referenceOf(uint32_t n) const {
  return n | uint64_t{tree_->node(n)->sequence} << ntfs::kSequenceShift;
}

bool MirrorVolume::control(uint32_t code, const void* in, uint32_t inSize, void* out,
                           uint32_t outSize, uint32_t* returned, uint32_t* error) {
  *returned = 0;
  const auto* input = static_cast<const uint8_t*>(in);
  auto* output = static_cast<uint8_t*>(out);
  uint32_t failure = 0;
  switch (code) {
    case ntfs::kGetNtfsVolumeData:
      failure = volumeData(output, outSize, returned);
      break;
    case ntfs::kEnumUsnData:
      failure = enumerate(input, inSize, output, outSize, returned);
      break;
    case ntfs::kReadUsnJournal: {
      std::shared_lock lock(lock_);
      failure = journal_.read(lock, input, inSize, output, outSize, returned);
      break;
    }
    case ntfs::kQueryUsnJournal: {
      const auto lock = readLock();
      failure = journal_.query(output, outSize, returned);
      break;
    }
    case ntfs::kCreateUsnJournal: {
      const auto lock = writeLock();
      failure = journal_.createControl(input, inSize);
      break;
    }
    case ntfs::kDeleteUsnJournal: {
      std::unique_lock lock(lock_);
      failure = journal_.deleteControl(lock, input, inSize);
      break;
    }
    case ntfs::kGetNtfsFileRecord:
      failure = fileRecord(input, inSize, output, outSize, returned);
      break;
    default:
      failure = ntfs::kErrorInvalidFunction;
  }
  if (failure != 0) {
    *returned = 0;
    *error = failure;
    return false;
  }
  return true;
}

uint32_t MirrorVolume::volumeData(uint8_t* out, uint32_t outSize, uint32_t* returned) const {
  VolumeGeometry g;
  g.clusterSize = kClusterSize;
  g.recordSize = kRecordSize;
  g.totalClusters = kTotalClusters;
  {
    const auto lock = readLock();
    g.serialNumber = rootDevice_ << 32 ^ tree_->node(kRootNode)->inode;
    g.mftValidDataLength = uint64_t{tree_->recordLimit()} * kRecordSize;
  }
  g.freeClusters = kTotalClusters - (g.mftValidDataLength + kClusterSize - 1) / kClusterSize;
  g.mftStartLcn = g.mftZoneStart = kMftStartLcn;
  g.mft2StartLcn = kMftMirrorLcn;
  g.mftZoneEnd = kMftStartLcn + uint64_t{kRecordLimit} * kRecordSize / kClusterSize;
  return WriteVolumeData(g, out, outSize, returned);
}

uint32_t MirrorVolume::enumerate(const uint8_t* in, uint32_t inSize, uint8_t* out, uint32_t outSize,
                                 uint32_t* returned) const {
  namespace me = ntfs::mft_enum_data;
  if (inSize < me::kSize) return ntfs::kErrorInvalidParameter;
  if (outSize < 8) return ntfs::kErrorInsufficientBuffer;
  const int64_t low = LoadI64(in + me::kLowUsn);
  const int64_t high = LoadI64(in + me::kHighUsn);
  const uint64_t start = LoadU64(in + me::kStartFileReferenceNumber) & ntfs::kRecordNumberMask48;
  std::u16string name;
  name.reserve(256);
  uint32_t used = 8;
  bool stopped = false;
  const auto lock = readLock();
  const MirrorTree& tree = *tree_;
  uint64_t n = std::max<uint64_t>(start, kFirstEntryNode);
  for (; n < tree.recordLimit(); ++n) {
    const MirrorNode* node = tree.node(static_cast<uint32_t>(n));
    if (node == nullptr || node->lastUsn < low || node->lastUsn > high) continue;
    const std::string_view bytes = tree.name(static_cast<uint32_t>(n));
    DecodeFileName(bytes, &name);
    const uint32_t length = UsnRecordLength(name.size());
    if (used + length > outSize) {
      stopped = true;
      break;
    }
    UsnRecordFields fields;
    fields.fileReference = referenceOf(static_cast<uint32_t>(n));
    fields.parentReference = referenceOf(node->parent);
    fields.usn = node->lastUsn;
    fields.attributes = AttributesFor(node->kind(), bytes);
    fields.name = name;
    WriteUsnRecord(out + used, fields);
    used += length;
  }
  if (used == 8) return stopped ? ntfs::kErrorInsufficientBuffer : ntfs::kErrorHandleEof;
  StoreU64(out, n);
  *returned = used;
  return 0;
}

bool MirrorVolume::snapshot(uint32_t n, Snapshot* s) const {
  const MirrorTree& tree = *tree_;
  s->number = n;
  s->sequence = tree.sequence(n);
  s->inUse = false;
  if (n < kFirstEntryNode && n != kRootNode) {
    // The metafiles, whose values are the mirrored directory's.
    s->sequence = static_cast<uint16_t>(n == 0 ? 1 : n);
    if (n >= std::size(ntfs::kMetafiles)) return false;
    s->name = ntfs::kMetafiles[n].name;
    s->attributes = ntfs::kAttributeHidden | ntfs::kAttributeSystem |
                    (ntfs::kMetafiles[n].directory ? ntfs::kAttributeDirectory : 0);
    s->nameSpace = ntfs::file_name::kNamespaceWin32AndDos;
    s->parentReference = referenceOf(kRootNode);
    s->lastUsn = 0;
    s->path = root_;
    s->inode = tree.node(kRootNode)->inode;
    s->inUse = true;
    return true;
  }
  const MirrorNode* node = tree.node(n);
  if (node == nullptr) return false;
  s->lastUsn = node->lastUsn;
  s->inode = node->inode;
  if (n == kRootNode) {
    s->name = u".";
    s->attributes = ntfs::kAttributeHidden | ntfs::kAttributeSystem | ntfs::kAttributeDirectory;
    s->nameSpace = ntfs::file_name::kNamespaceWin32AndDos;
    s->parentReference = referenceOf(kRootNode);
    s->path = root_;
  } else {
    DecodeFileName(tree.name(n), &s->name);
    s->attributes = AttributesFor(node->kind(), tree.name(n));
    s->nameSpace = ntfs::file_name::kNamespaceWin32;
    s->parentReference = referenceOf(node->parent);
    if (!tree.pathOf(root_, n, &s->path)) return false;
  }
  s->inUse = true;
  return true;
}

std::vector<uint8_t> MirrorVolume::buildRecord(const Snapshot& s) const {
  namespace at = ntfs::attribute;
  namespace fr = ntfs::file_record;
  FileRecordHeader header;
  header.recordNumber = s.number;
  header.sequence = s.sequence;
  if (!s.inUse) return FileRecordBuilder(kRecordSize, header).finish();
  const bool directory = (s.attributes & ntfs::kAttributeDirectory) != 0;
  LiveValues live;
  // A record whose file has gone from the disk is handed out not in use, as NTFS does once the
  // file is deleted: the reader then delivers nothing for it.
  const bool there = ReadLiveValues(s.path, s.inode, directory, rootDevice_, &live);
  header.linkCount = 1;
  header.flags =
      static_cast<uint16_t>((there ? fr::kFlagInUse : 0) | (directory ? fr::kFlagDirectory : 0));
  header.lsn = static_cast<uint64_t>(s.lastUsn);
  header.updateSequenceNumber = static_cast<uint16_t>(1 + (s.lastUsn >> 3) % 0xFFFE);
  FileRecordBuilder b(kRecordSize, header);
  // $STANDARD_INFORMATION keeps no directory bit; the record's flags tell a directory.
  b.addResident(
      at::kTypeStandardInformation, u"",
      StandardInformationValue(live.times, s.attributes & ~ntfs::kAttributeDirectory, s.lastUsn));
  FileNameFields name;
  name.parent = s.parentReference;
  name.times = live.times;
  name.allocatedSize = live.allocatedSize;
  name.dataSize = live.dataSize;
  name.flags = (s.attributes & ~ntfs::kAttributeDirectory) |
               (directory ? ntfs::kAttributeFileNameIndexPresent : 0);
  name.nameSpace = s.nameSpace;
  name.name = s.name;
  b.addResident(at::kTypeFileName, u"", FileNameValue(name), at::kResidentIndexed);
  if (directory) {
    b.addResident(at::kTypeIndexRoot, ntfs::index_root::kFileNameIndexName,
                  EmptyFileNameIndexRootValue(kIndexBlockSize, kClusterSize));
  } else {
    // The size is the $FILE_NAME's; the data itself is never read.
    b.addResident(at::kTypeData, u"", {});
  }
  return b.finish();
}

uint32_t MirrorVolume::fileRecord(const uint8_t* in, uint32_t inSize, uint8_t* out,
                                  uint32_t outSize, uint32_t* returned) const {
  namespace fo = ntfs::file_record_output;
  if (inSize < fo::kInputSize) return ntfs::kErrorInvalidParameter;
  if (outSize < fo::kFileRecordBuffer + kRecordSize) return ntfs::kErrorInsufficientBuffer;
  Snapshot s;
  {
    // The nearest record in use at or below the one asked for; $MFT (0) always is.
    const auto lock = readLock();
    const uint64_t asked = LoadU64(in) & ntfs::kRecordNumberMask48;
    auto n = static_cast<uint32_t>(std::min<uint64_t>(asked, tree_->recordLimit() - 1));
    while (!snapshot(n, &s))
      --n;
  }
  const std::vector<uint8_t> record = buildRecord(s);
  StoreU64(out + fo::kFileReferenceNumber, s.number | uint64_t{s.sequence} << ntfs::kSequenceShift);
  StoreU32(out + fo::kFileRecordLength, kRecordSize);
  std::memcpy(out + fo::kFileRecordBuffer, record.data(), record.size());
  *returned = fo::kFileRecordBuffer + kRecordSize;
  return 0;
}

bool MirrorVolume::readAt(uint64_t offset, void* buffer, uint32_t size, uint32_t* read,
                          uint32_t* error) {
  *read = 0;
  const uint32_t sector = ntfs::volume_data::kBytesPerSectorValue;
  if (offset % sector != 0 || size % sector != 0 ||
      reinterpret_cast<uintptr_t>(buffer) % sector != 0) {
    *error = ntfs::kErrorInvalidParameter;
    return false;
  }
  const uint64_t volumeBytes = kTotalClusters * kClusterSize;
  const uint64_t length =
      offset >= volumeBytes ? 0 : std::min<uint64_t>(size, volumeBytes - offset);
  auto* out = static_cast<uint8_t*>(buffer);
  std::memset(out, 0, length);
  const uint64_t end = offset + length;
  // The MFT, in its on-disk form: every record made so far, nothing past them.
  const uint64_t mftBegin = kMftStartLcn * kClusterSize;
  uint64_t limit;
  {
    const auto lock = readLock();
    limit = tree_->recordLimit();
  }
  const uint64_t mftEnd = mftBegin + limit * kRecordSize;
  Snapshot s;
  for (uint64_t at = std::max(offset, mftBegin); at < std::min(end, mftEnd);) {
    const uint64_t n = (at - mftBegin) / kRecordSize;
    {
      const auto lock = readLock();
      snapshot(static_cast<uint32_t>(n), &s);
    }
    std::vector<uint8_t> record = buildRecord(s);
    ProtectRecord(record);
    // The bytes of the record that fall in the read.
    const uint64_t from = mftBegin + n * kRecordSize;
    const uint64_t first = std::max(from, offset);
    const uint64_t last = std::min(from + kRecordSize, end);
    std::memcpy(out + (first - offset), record.data() + (first - from), last - first);
    at = from + kRecordSize;
  }
  *read = static_cast<uint32_t>(length);
  return true;
}

}  // namespace vessiko
