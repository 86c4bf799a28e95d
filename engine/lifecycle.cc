#include "engine/lifecycle.h"

#include <array>

#include "store/core_database.h"
#include "store/database_pair.h"
#include "store/extension_database.h"
#include "volume/enumeration.h"
#include "volume/journal_control.h"
#include "volume/journal_reader.h"

namespace vessiko {

namespace {

// A loaded index must be in collation order (ordered inserts and removals rely on it) and every
// extension index its files use must have a text.
bool ConsistentAfterLoad(const Index& index, int64_t highestExtension) {
  if (highestExtension >= static_cast<int64_t>(index.extensions.count())) return false;
  const auto ordered = [](const EntryList& list, const auto& order) {
    RecordRef previous = kNoRecord;
    return list.forEach([&](RecordRef ref) {
      if (previous != kNoRecord && order(previous, ref) > 0) return false;
      previous = ref;
      return true;
    });
  };
  return ordered(index.dirs, index.dirOrder()) && ordered(index.files, index.fileOrder());
}

}  // namespace

void Lifecycle::startInitialization() {
  if (!starter_.joinable()) starter_ = std::thread([this] { initialize(); });
}

void Lifecycle::waitForInitialization() {
  if (starter_.joinable()) starter_.join();
}

bool LoadSavedIndex(Index& index, VolumeSlots& slots, Files& files, UserMessages& messages,
                    const DatabasePaths& paths, bool* frozen) {
  CoreDatabaseContext core{index, slots, files, messages, paths.core};
  int64_t highestExtension = -1;
  if (LoadCoreDatabase(core, frozen, &highestExtension) == 0) return false;
  return LoadExtensionDatabase(paths.extensions, index.extensions, files, messages) != 0 &&
         ConsistentAfterLoad(index, highestExtension);
}

void Lifecycle::initialize() {
  ShowStatus(p_.messages, -1, "初始化...");
  DiscoverVolumes(p_.drives, p_.slots, p_.rows, p_.messages, &cancel_);
  if (cancelled()) return;
  // A load that fails half-way may have set the journal positions it read.
  std::array<int64_t, kVolumeCount> discovered;
  for (uint32_t v = 0; v < kVolumeCount; ++v)
    discovered[v] = p_.slots[v].nextUsn;
  bool frozen = false;
  if (LoadSavedIndex(p_.index, p_.slots, p_.files, p_.messages, p_.paths, &frozen)) {
    frozen_ = frozen;
    if (!frozen) catchUp();
  } else {
    // Whatever a rejected load left behind goes; the build starts from fresh containers.
    frozen_ = false;
    for (uint32_t v = 0; v < kVolumeCount; ++v)
      p_.slots[v].nextUsn = discovered[v];
    build();
  }
  if (cancelled()) return;
  ready_ = true;
  p_.ui.searchEnabled = true;
  if (p_.search != nullptr) RepeatSearch(*p_.search);
  if (!frozen_ && !cancelled()) startMonitors();
}

void Lifecycle::build() {
  // A journal that loses the changes made while the table is read leaves the index unsure:
  // built again from the journal as it is now, a few times at most.
  constexpr int kBuilds = 3;
  for (int attempt = 1;; ++attempt) {
    p_.index.reset();
    p_.index.extensions.seedBuiltins();
    const int built = EnumerateVolumes(p_.index, p_.slots, p_.messages, &cancel_);
    // Unsorted lists can be searched but neither followed nor saved: kept as they are.
    if (built == 1) frozen_ = true;
    if (built != 2 || attempt == kBuilds || cancelled()) return;
    for (uint32_t v = 0; v < kVolumeCount; ++v) {
      VolumeSlot& slot = p_.slots[v];
      if (!slot.present()) continue;
      JournalState journal;
      uint32_t error = 0;
      QueryJournal(*slot.volume, &journal, &error);
      slot.journalId = journal.id;
      slot.firstUsn = journal.firstUsn;
      slot.nextUsn = journal.nextUsn;
    }
  }
}

void Lifecycle::catchUp() {
  ShowStatus(p_.messages, -1, "正在更新数据库...");
  drainJournals(p_.listener, true);
}

void Lifecycle::drainJournals(ChangeListener* listener, bool stopOnCancel) {
  for (uint32_t v = 0; v < kVolumeCount; ++v) {
    if (stopOnCancel && cancelled()) return;
    if (p_.slots[v].present() && !p_.slots[v].unfollowed) {
      DrainJournal(v, p_.slots[v], p_.index, p_.messages, listener,
                   stopOnCancel ? &cancel_ : nullptr);
    }
  }
}

void Lifecycle::startMonitors() {
  MutexLock lock(monitorsLock_);
  for (uint32_t v = 0; v < kVolumeCount; ++v) {
    if (!p_.slots[v].present() || p_.slots[v].unfollowed) continue;
    monitors_.push_back(
        std::make_unique<JournalMonitor>(v, p_.slots[v], p_.index, p_.messages, p_.listener));
    if (p_.monitorThreads) monitors_.back()->start();
  }
}

void Lifecycle::pollMonitors() {
  MutexLock lock(monitorsLock_);
  for (auto& monitor : monitors_)
    monitor->poll();
}

void Lifecycle::stopMonitors() {
  MutexLock lock(monitorsLock_);
  for (auto& monitor : monitors_)
    monitor->stop();
  monitors_.clear();
}

bool Lifecycle::monitoring() const {
  MutexLock lock(monitorsLock_);
  return !monitors_.empty();
}

void Lifecycle::saveIndex() {
  // No monitor may be half-way through a batch while the lists are written; stopped monitors
  // leave each slot's next USN at the first change not applied.
  stopMonitors();
  CoreDatabaseContext core{p_.index, p_.slots, p_.files, p_.messages, p_.paths.core};
  MutexLock lock(core.index.lock);
  // What the journals gathered since the monitors' last poll goes in too, so that the saved
  // positions are those of the volumes as they are now.
  drainJournals(nullptr, false);
  SaveDatabases(core, p_.paths.extensions, p_.clock.utcNow());
}

bool Lifecycle::saveLive() {
  if (!ready_ || frozen_ || cancelled() || !monitoring()) return false;
  saveIndex();
  startMonitors();
  return true;
}

void Lifecycle::close(bool save) {
  cancel_ = true;
  waitForInitialization();
  stopMonitors();
  // A filter in force narrows only the results: the index under it is whole and is saved.
  if (save && ready_ && !frozen_) saveIndex();
  p_.slots.closeAll();
}

}  // namespace vessiko
