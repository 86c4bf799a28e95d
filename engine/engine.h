// Engine: the whole system behind a face, created once by the program entry (tests create
// fresh ones). It owns the index, the volume slots, the searches and their results, the scope
// list and the interface state, and runs the index's life: start-up, live search, close.
//
// The face supplies the platform (drives, files, clock), its user messages, its result view,
// the scope list's control and the way chosen folders become keys.
#pragma once

#include <atomic>

#include "engine/apply_filter.h"
#include "engine/lifecycle.h"
#include "engine/live_refresh.h"
#include "engine/ui_state.h"
#include "index/index.h"
#include "index/private_heap.h"
#include "platform/clock.h"
#include "platform/drives.h"
#include "platform/files.h"
#include "platform/user_messages.h"
#include "search/result_filter.h"
#include "search/run_search.h"
#include "search/scope_list.h"
#include "search/search_state.h"
#include "store/database_paths.h"
#include "volume/volume_slot.h"

namespace vessiko {

struct EngineEnvironment {
  Drives& drives;
  Files& files;
  Clock& clock;
  UserMessages& messages;
  ResultView& resultView;
  ScopeListView& scopeView;
  FolderResolver& folders;
  DatabasePaths paths;
};

class Engine {
 public:
  explicit Engine(const EngineEnvironment& environment);
  ~Engine();
  Engine(const Engine&) = delete;
  Engine& operator=(const Engine&) = delete;

  // Starts the start-up thread; the status line tells its progress.
  void start() { lifecycle_.startInitialization(); }
  // Waits until the start-up has finished (the index is live or frozen).
  void waitUntilReady() { lifecycle_.waitForInitialization(); }

  // A search of the query fields as they now stand.
  void search(const QueryTexts& query) { RunSearch(context_, query); }
  void search(const QueryTexts& query, std::atomic<bool>& flag) {
    flag = true;
    RunSearch(context_, query);
  }
  // The query last typed searched again with a one-shot flag raised, as the commands run it.
  void searchWith(std::atomic<bool>& flag) {
    flag = true;
    RepeatSearch(context_);
  }

  // The filter button: narrows the results by the panel's enabled groups.
  void applyFilter(FilterPanel& panel) {
    FilterContext context{index_, ui_,    environment_.messages, environment_.resultView,
                          state_, slots_, environment_.clock,    filter_,
                          panel};
    ApplyFilter(context);
  }

  // The window's close (saving when the index is live) or the exit command (never saving).
  void close(bool save) { lifecycle_.close(save); }

  // Changes the catch-up and the monitors have applied since the start.
  uint64_t changeCount() const { return refresh_.changeCount(); }

  PrivateHeap& heap() { return heap_; }
  Index& index() { return index_; }
  SearchState& results() { return state_; }
  UiState& ui() { return ui_; }
  ScopeList& scope() { return scope_; }
  ResultFilter& filter() { return filter_; }
  VolumeSlots& slots() { return slots_; }
  Lifecycle& lifecycle() { return lifecycle_; }
  SearchContext& searchContext() { return context_; }
  const EngineEnvironment& environment() const { return environment_; }

 private:
  EngineEnvironment environment_;
  PrivateHeap heap_;
  SearchState state_;
  Index index_;
  ScopeList scope_;
  ResultFilter filter_;
  VolumeSlots slots_;
  UiState ui_;
  SearchContext context_;
  LiveRefresh refresh_;
  Lifecycle lifecycle_;
};

}  // namespace vessiko
