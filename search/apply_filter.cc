#include "search/apply_filter.h"

#include <mutex>
#include <optional>

#include "volume/file_record_reader.h"

namespace vessiko {

namespace {

// Reads the values the enabled groups need from one entry's file record and judges them. A
// value asked for but not delivered reaches the filter as none.
bool recordPasses(FilterContext& c, uint32_t volume, uint32_t recordNumber, bool withSize) {
  const FilterState& f = c.filter.state();
  uint64_t creation = 0;
  uint64_t lastAccess = 0;
  uint64_t recordChange = 0;
  uint64_t size = 0;
  uint32_t attributes = 0;
  const auto wanted = [&](int32_t kind) { return f.dateEnabled && f.dateKind == kind; };
  const uint32_t delivered =
      ReadFileRecord(c.slots, volume, recordNumber, wanted(kByCreation) ? &creation : nullptr,
                     wanted(kByLastAccess) ? &lastAccess : nullptr,
                     wanted(kByRecordChange) ? &recordChange : nullptr, withSize ? &size : nullptr,
                     f.attributesEnabled ? &attributes : nullptr);
  const auto value = [delivered]<class T>(uint32_t bit, T v) -> std::optional<T> {
    if ((delivered & bit) == 0) return std::nullopt;
    return v;
  };
  return c.filter.accepts(value(kCreationTime, creation), value(kLastAccessTime, lastAccess),
                          value(kRecordChangeTime, recordChange), value(kSize, size),
                          value(kAttributes, attributes));
}

}  // namespace

void ApplyFilter(FilterContext& c) {
  if (!c.ui.searchEnabled && !c.ui.filterInForce) return;
  uint32_t fileResults;
  {
    std::lock_guard searchLock(c.state.lock);
    fileResults = c.state.fileResults.count();
  }
  if (!c.filter.validate(c.panel, fileResults, c.messages, c.clock)) return;

  std::lock_guard indexLock(c.index.lock);
  std::lock_guard searchLock(c.state.lock);
  c.ui.searchEnabled = false;
  c.ui.filterInForce = true;
  const bool sizeEnabled = c.filter.state().sizeEnabled;
  if (sizeEnabled) {
    c.state.dirResults.releaseBlocks();  // a directory has no size
  } else {
    c.state.dirResults.retainIf([&](RecordRef ref) {
      const EntryKey key = c.index.dir(ref).key();
      return recordPasses(c, volumeOf(key), recordNumberOf(key), false);
    });
  }
  c.state.fileResults.retainIf([&](RecordRef ref) {
    const FileEntry file = c.index.file(ref);
    const EntryKey parent = c.index.dir(file.parentLink()).key();
    return recordPasses(c, volumeOf(parent), file.recordNumber(), sizeEnabled);
  });
  const uint32_t total = c.state.dirResults.count() + c.state.fileResults.count();
  ShowStatus(c.messages, static_cast<int>(total), nullptr);
  c.messages.setResultCount(total);
}

}  // namespace vessiko
