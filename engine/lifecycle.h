// The index's life: the start-up thread that turns an empty process into a searchable,
// self-updating index (discover the volumes, load the saved index or build it, replay the
// changes made while the program was closed, run the first search, start one journal monitor
// per volume), and the close that saves it and lets the volumes go.
//
// Start-up (the "InitializationThread"): "初始化...", discovery, the core database, the
// extension database; when either cannot be used, a build from fresh containers; otherwise,
// unless the user chose to keep an out-of-date index (frozen), the catch-up "正在更新数据库...".
// Then searching is enabled, the first search runs, and the monitors start (not when frozen).
//
// Closing never pulls a volume from under a running thread: the start-up thread is cancelled
// and joined, and the monitors are stopped and joined, before anything is saved or closed.
#pragma once

#include <atomic>
#include <memory>
#include <mutex>
#include <thread>
#include <vector>

#include "engine/ui_state.h"
#include "index/index.h"
#include "platform/clock.h"
#include "platform/drives.h"
#include "platform/files.h"
#include "platform/mutex.h"
#include "platform/user_messages.h"
#include "search/run_search.h"
#include "store/database_paths.h"
#include "volume/change_application.h"
#include "volume/journal_monitor.h"
#include "volume/volume_discovery.h"
#include "volume/volume_slot.h"

namespace vessiko {

// Loads the saved index (the core database, then the extension database) into a fresh index
// and checks it as a whole: lists in collation order, every extension index known. False when
// it must be built by enumeration; the index may then hold a part of what was loaded.
// *frozen tells that the user chose to keep an out-of-date index.
bool LoadSavedIndex(Index& index, VolumeSlots& slots, Files& files, UserMessages& messages,
                    const DatabasePaths& paths, bool* frozen);

struct LifecycleParts {
  Index& index;
  VolumeSlots& slots;
  Drives& drives;
  Files& files;
  Clock& clock;
  UserMessages& messages;
  VolumeRows& rows;
  UiState& ui;
  DatabasePaths paths;
  // The first search runs here once searching is enabled (none without).
  SearchContext* search = nullptr;
  // Told of every change the catch-up and the monitors apply (may be null).
  ChangeListener* listener = nullptr;
  // Whether each monitor runs on a thread of its own; without, pollMonitors does their work.
  bool monitorThreads = true;
};

class Lifecycle {
 public:
  explicit Lifecycle(const LifecycleParts& parts) : p_(parts) {}
  ~Lifecycle() { close(false); }
  Lifecycle(const Lifecycle&) = delete;
  Lifecycle& operator=(const Lifecycle&) = delete;

  // Starts the start-up thread.
  void startInitialization();
  // The start-up on the calling thread.
  void initialize();
  // Waits until the start-up thread has finished.
  void waitForInitialization();

  // The start-up has finished: the index answers searches.
  bool ready() const { return ready_; }
  // An out-of-date index was kept at the user's choice: no catch-up, no monitors, no save.
  bool frozen() const { return frozen_; }
  bool monitoring() const;
  // One pass of every monitor on the calling thread (monitors without threads of their own).
  void pollMonitors();

  // The close: cancels the start-up, stops the monitors, saves both databases when `save` is
  // asked, the start-up has finished and the index is not frozen, and closes the volumes.
  void close(bool save);

  // Writes both database files under the index lock; the monitors are stopped first.
  void saveIndex();
  // A save while the program goes on: as the close's, then the monitors start again. False,
  // saving nothing, unless the start-up has finished with the index followed (not frozen).
  bool saveLive();

 private:
  void build();
  void catchUp();
  // Applies everything the journals hold beyond the slots' positions; reports failed reads.
  // The catch-up stops when the program closes; the save's last pass does not.
  void drainJournals(ChangeListener* listener, bool stopOnCancel);
  void startMonitors();
  void stopMonitors();
  bool cancelled() const { return cancel_; }

  LifecycleParts p_;
  std::atomic<bool> cancel_{false};
  std::atomic<bool> frozen_{false};
  std::atomic<bool> ready_{false};  // the start-up has finished
  std::thread starter_;
  mutable Mutex monitorsLock_;
  std::vector<std::unique_ptr<JournalMonitor>> monitors_ GUARDED_BY(monitorsLock_);
};

}  // namespace vessiko
