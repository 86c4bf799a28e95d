// The FILE records of the model: how a file's attributes are laid out in its base record and
// its extension records, built on demand.
#include "platform/sim/sim_volume.h"

#include <algorithm>

namespace vessiko {

SimVolume::DataShape SimVolume::dataShape(uint64_t n, const Slot& s) const {
  DataShape shape;
  if (n == 0) {  // $MFT: the table itself, one run from its start
    const uint64_t clusters = clustersFor(mftRecordsAllocated() * options_.recordSize);
    shape.resident = false;
    shape.size = (highestUsed_ + 1) * options_.recordSize;
    shape.allocated = clusters * options_.clusterSize;
    shape.runs.push_back({options_.mftStartLcn, clusters});
    return shape;
  }
  shape.size = s.size;
  if (s.extras && s.extras->layout) {
    shape.resident = false;
    shape.runs = s.extras->layout->runs;
    shape.allocated = s.extras->layout->clusters() * options_.clusterSize;
  } else if (s.flags & kNonResident) {
    const uint64_t clusters = clustersFor(s.size);
    shape.resident = false;
    shape.allocated = clusters * options_.clusterSize;
    if (clusters > 0) shape.runs.push_back({s.lcn, clusters});
  } else {
    shape.allocated = (s.size + 7) & ~uint64_t{7};
  }
  return shape;
}

// What buildRecord() would use of the base record, without building it: creating a large
// volume asks this for every file.
uint32_t SimVolume::baseRecordBytes(uint64_t n, const Slot& s) const {
  using B = FileRecordBuilder;
  namespace fn = ntfs::file_name;
  uint32_t bytes = B::firstAttributeOffset(options_.recordSize) +
                   B::residentLength(0, ntfs::standard_information::kSize) + B::kEndMarkerLength;
  const Layout* layout = s.extras ? s.extras->layout.get() : nullptr;
  const bool listed = layout != nullptr && !layout->extensions.empty();
  if (listed) {
    const AllocatedRun listRun[] = {{layout->listLcn, layout->listClusters}};
    bytes += layout->nonResidentList ? B::nonResidentLength(0, EncodeMappingPairs(listRun).size())
                                     : B::residentLength(0, attributeList(n, s).size());
  }
  if (!(layout != nullptr && layout->fileNameInExtension)) {
    bytes += B::residentLength(0, fn::kName + 2 * s.nameLength);
    if (s.extras) {
      if (!s.extras->dosName.empty()) {
        bytes += B::residentLength(0, fn::kName + 2 * s.extras->dosName.size());
      }
      for (const Name& link : s.extras->links) {
        bytes += B::residentLength(0, fn::kName + 2 * link.name.size());
      }
    }
  }
  if (s.attributes & ntfs::kAttributeDirectory) {
    bytes += B::residentLength(
        std::size(ntfs::index_root::kFileNameIndexName) - 1,
        EmptyFileNameIndexRootValue(kIndexBlockSize, options_.clusterSize).size());
  } else if (!listed) {
    if (n != 0 && (s.flags & kNonResident) == 0) {
      // Data as large as a record never fits in one (and would overflow the sum).
      return s.size >= options_.recordSize ? options_.recordSize + 1
                                           : bytes + B::residentLength(0, s.size);
    }
    bytes += B::nonResidentLength(0, EncodeMappingPairs(dataShape(n, s).runs).size());
  }
  return bytes;
}

// After the size or the names of a file changed: data that no longer fits in the record moves
// out to clusters, and non-resident data gets the clusters its size needs. False when the
// record cannot hold the file even so.
bool SimVolume::settleData(uint64_t n, Slot& s, uint64_t oldSize) {
  if (s.attributes & ntfs::kAttributeDirectory) {
    return baseRecordBytes(n, s) <= options_.recordSize;
  }
  if (s.extras && s.extras->layout) {
    Layout& layout = *s.extras->layout;
    const uint64_t have = layout.clusters();
    const uint64_t need = clustersFor(s.size);
    // Growth adds a run to the last extent; a shrinking file keeps its clusters.
    if (need > have) layout.runs.push_back({allocateClusters(need - have), need - have});
    if (baseRecordBytes(n, s) > options_.recordSize) return false;
    // The runs added fill the last extension record, a new name the first.
    for (uint64_t e : layout.extensions) {
      if (buildRecord(e).empty()) return false;
    }
    return true;
  }
  if (s.flags & kNonResident) {
    const uint64_t had = clustersFor(oldSize);
    const uint64_t need = clustersFor(s.size);
    if (need > had) {
      clustersInUse_ -= had;
      s.lcn = allocateClusters(need);
    } else {
      clustersInUse_ -= had - need;
    }
  } else if (baseRecordBytes(n, s) > options_.recordSize) {
    s.flags |= kNonResident;
    s.lcn = allocateClusters(clustersFor(s.size));
  }
  return baseRecordBytes(n, s) <= options_.recordSize;
}

std::vector<uint8_t> SimVolume::attributeList(uint64_t n, const Slot& s) const {
  namespace at = ntfs::attribute;
  const Layout& layout = *s.extras->layout;
  const uint64_t base = referenceOf(n, s);
  std::vector<uint8_t> list;
  AppendAttributeListEntry(list, at::kTypeStandardInformation, 0, base, 0);
  size_t next = 0;
  if (layout.fileNameInExtension) {
    const uint64_t extension = layout.extensions[next++];
    AppendAttributeListEntry(list, at::kTypeFileName, 0, referenceOf(extension, *slotAt(extension)),
                             0);
  } else {
    // In the base record: $STANDARD_INFORMATION 0, $ATTRIBUTE_LIST 1, the names from 2.
    const size_t count = names(s).size();
    for (size_t i = 0; i < count; ++i) {
      AppendAttributeListEntry(list, at::kTypeFileName, 0, base, static_cast<uint16_t>(2 + i));
    }
  }
  uint64_t vcn = 0;
  for (uint32_t j = 0; j < layout.dataExtents; ++j, ++next) {
    const uint64_t extension = layout.extensions[next];
    AppendAttributeListEntry(list, at::kTypeData, vcn, referenceOf(extension, *slotAt(extension)),
                             0);
    const size_t end = layout.extentBegin(j + 1);
    for (size_t r = layout.extentBegin(j); r < end; ++r)
      vcn += layout.runs[r].length;
  }
  return list;
}

std::vector<uint8_t> SimVolume::buildRecord(uint64_t n) const {
  namespace at = ntfs::attribute;
  namespace fr = ntfs::file_record;
  const Slot* s = slotAt(n);
  FileRecordHeader header;
  header.recordNumber = n;
  if (s == nullptr || s->state != kInUse) {
    header.sequence = s != nullptr ? s->sequence : 0;
    return FileRecordBuilder(options_.recordSize, header).finish();
  }
  const bool extension = (s->flags & kExtension) != 0;
  const uint64_t baseNumber = extension ? recordOf(s->parent) : n;
  const Slot& base = *slotAt(baseNumber);
  header.sequence = s->sequence;
  header.flags = fr::kFlagInUse;
  header.lsn = static_cast<uint64_t>(base.lastUsn);
  header.updateSequenceNumber = static_cast<uint16_t>(1 + (base.lastUsn >> 3) % 0xFFFE);
  const std::vector<Name> allNames = names(base);
  const DataShape shape = dataShape(baseNumber, base);
  bool fits = true;
  auto finish = [&](FileRecordBuilder& b) { return fits ? b.finish() : std::vector<uint8_t>(); };

  auto addName = [&](FileRecordBuilder& b, const Name& name) {
    FileNameFields f;
    f.parent = name.parent;
    f.times = base.times;
    const bool directory = (base.attributes & ntfs::kAttributeDirectory) != 0;
    if (base.extras && base.extras->fileNameSizes) {
      f.allocatedSize = base.extras->fileNameSizes->first;
      f.dataSize = base.extras->fileNameSizes->second;
    } else if (!directory) {
      f.allocatedSize = shape.allocated;
      f.dataSize = shape.size;
    }
    f.flags = (base.attributes & ~ntfs::kAttributeDirectory) |
              (directory ? ntfs::kAttributeFileNameIndexPresent : 0);
    f.nameSpace = name.nameSpace;
    f.name = name.name;
    fits = b.addResident(at::kTypeFileName, u"", FileNameValue(f), at::kResidentIndexed) && fits;
  };
  auto addExtent = [&](FileRecordBuilder& b, size_t firstRun, size_t endRun, uint64_t lowestVcn) {
    NonResidentExtent extent;
    uint64_t clusters = 0;
    for (size_t r = firstRun; r < endRun; ++r)
      clusters += shape.runs[r].length;
    extent.lowestVcn = lowestVcn;
    extent.highestVcn = lowestVcn + clusters - 1;
    if (lowestVcn == 0) {
      extent.allocatedSize = shape.allocated;
      extent.dataSize = shape.size;
      extent.initializedSize = shape.size;
    }
    extent.mappingPairs = EncodeMappingPairs(
        std::span<const AllocatedRun>(shape.runs).subspan(firstRun, endRun - firstRun));
    fits = b.addNonResident(at::kTypeData, u"", extent) && fits;
  };

  const Layout* layout = base.extras ? base.extras->layout.get() : nullptr;
  if (extension) {
    header.baseReference = s->parent;
    FileRecordBuilder b(options_.recordSize, header);
    const size_t index =
        static_cast<size_t>(std::find(layout->extensions.begin(), layout->extensions.end(), n) -
                            layout->extensions.begin());
    if (layout->fileNameInExtension && index == 0) {
      addName(b, allNames.front());
    } else {
      const uint32_t j = static_cast<uint32_t>(index - (layout->fileNameInExtension ? 1 : 0));
      uint64_t vcn = 0;
      for (size_t r = 0; r < layout->extentBegin(j); ++r)
        vcn += shape.runs[r].length;
      // The last extent also holds runs added when the file grew.
      const size_t end =
          j + 1 == layout->dataExtents ? shape.runs.size() : layout->extentBegin(j + 1);
      addExtent(b, layout->extentBegin(j), end, vcn);
    }
    return finish(b);
  }

  const bool directory = (base.attributes & ntfs::kAttributeDirectory) != 0;
  header.linkCount = static_cast<uint16_t>(1 + (base.extras ? base.extras->links.size() : 0));
  header.flags |= directory ? fr::kFlagDirectory : 0;
  FileRecordBuilder b(options_.recordSize, header);
  // $STANDARD_INFORMATION keeps no directory bit; the record's flags tell a directory.
  fits = b.addResident(at::kTypeStandardInformation, u"",
                       StandardInformationValue(
                           base.times, base.attributes & ~ntfs::kAttributeDirectory, base.lastUsn));
  const bool listed = layout != nullptr && !layout->extensions.empty();
  if (listed) {
    const std::vector<uint8_t> list = attributeList(n, base);
    if (layout->nonResidentList) {
      NonResidentExtent extent;
      extent.highestVcn = layout->listClusters - 1;
      extent.allocatedSize = layout->listClusters * options_.clusterSize;
      extent.dataSize = list.size();
      extent.initializedSize = list.size();
      extent.mappingPairs =
          EncodeMappingPairs(std::vector<AllocatedRun>{{layout->listLcn, layout->listClusters}});
      fits = b.addNonResident(at::kTypeAttributeList, u"", extent) && fits;
    } else {
      fits = b.addResident(at::kTypeAttributeList, u"", list) && fits;
    }
  }
  if (!(layout != nullptr && layout->fileNameInExtension)) {
    for (const Name& name : allNames)
      addName(b, name);
  }
  if (directory) {
    fits = b.addResident(at::kTypeIndexRoot, ntfs::index_root::kFileNameIndexName,
                         EmptyFileNameIndexRootValue(kIndexBlockSize, options_.clusterSize)) &&
           fits;
  } else if (!listed) {
    if (shape.resident) {
      const std::vector<uint8_t> zeros(shape.size);
      fits = b.addResident(at::kTypeData, u"", zeros) && fits;
    } else {
      addExtent(b, 0, shape.runs.size(), 0);
    }
  }
  return finish(b);
}

std::vector<uint8_t> SimVolume::recordForCaller(uint64_t n) const {
  std::vector<uint8_t> record = buildRecord(n);
  if (rewriter_ && !record.empty()) rewriter_(n, record);
  return record;
}

}  // namespace vessiko
