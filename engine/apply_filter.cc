#include "engine/apply_filter.h"

#include <mutex>
#include <optional>

#include "volume/file_record_reader.h"

namespace vessiko {

namespace {

// Reads the values the enabled groups need from one entry's file record and judges them. A
// value asked for but not delivered reaches the filter as none.
bool RecordPasses(FilterContext& c, uint32_t volume, uint32_t recordNumber, bool withSize) {
  const FilterState& f = c.filter.state();
  const auto wanted = [&](int32_t kind, uint32_t bit) {
    return f.dateEnabled && f.dateKind == kind ? bit : 0u;
  };
  const FileValues v = ReadFileRecord(
      c.slots, volume, recordNumber,
      wanted(kByCreation, kCreationTime) | wanted(kByLastAccess, kLastAccessTime) |
          wanted(kByRecordChange, kRecordChangeTime) | (withSize ? uint32_t{kSize} : 0u) |
          (f.attributesEnabled ? uint32_t{kAttributes} : 0u));
  const auto value = [&v]<class T>(uint32_t bit, T read) -> std::optional<T> {
    if ((v.delivered & bit) == 0) return std::nullopt;
    return read;
  };
  return c.filter.accepts(value(kCreationTime, v.creation), value(kLastAccessTime, v.lastAccess),
                          value(kRecordChangeTime, v.recordChange), value(kSize, v.size),
                          value(kAttributes, v.attributes));
}

}  // namespace

void ApplyFilter(FilterContext& c) {
  if (!c.ui.searchEnabled && !c.ui.filterInForce) return;
  uint32_t fileResults;
  {
    MutexLock searchLock(c.state.lock);
    fileResults = c.state.fileResults.count();
  }
  if (!c.filter.validate(c.panel, fileResults, c.messages, c.clock)) return;

  MutexLock indexLock(c.index.lock);
  MutexLock searchLock(c.state.lock);
  c.ui.searchEnabled = false;
  c.ui.filterInForce = true;
  const bool sizeEnabled = c.filter.state().sizeEnabled;
  if (sizeEnabled) {
    c.state.dirResults.releaseBlocks();  // a directory has no size
  } else {
    c.state.dirResults.retainIf([&](RecordRef ref) {
      const EntryKey key = c.index.dir(ref).key();
      return RecordPasses(c, VolumeOf(key), RecordNumberOf(key), false);
    });
  }
  c.state.fileResults.retainIf([&](RecordRef ref) {
    const FileEntry file = c.index.file(ref);
    const EntryKey parent = c.index.dir(file.parentLink()).key();
    return RecordPasses(c, VolumeOf(parent), file.recordNumber(), sizeEnabled);
  });
  const uint32_t total = c.state.dirResults.count() + c.state.fileResults.count();
  ShowStatus(c.messages, static_cast<int>(total), nullptr);
  c.view.setResultCount(total);
}

}  // namespace vessiko
