// LiveRefresh: keeps the visible results current while the journal monitors change the index.
// When a change's name (a file's without its extension, as the search tests it) matches the query
// in force, a new search runs with indexChanged raised once the batch of changes is settled (one
// search for the whole batch, over children already under their renamed folders), so a removed
// entry leaves the results and an added one appears.
// Changes of a kind not searched (folders or files switched off) run nothing. A renamed folder
// redraws the top of the results, whose folder column may show it.
#pragma once

#include <atomic>

#include "search/run_search.h"
#include "volume/change_application.h"

namespace vessiko {

class LiveRefresh : public ChangeListener {
 public:
  explicit LiveRefresh(SearchContext& search) : search_(search) {}
  void changeApplied(bool isDirectory, char16_t* name, uint32_t length) override;
  // The rows shown are drawn again: their folder column may name a renamed folder.
  void directoriesRenamed() override;
  void changesSettled() override;
  // Changes applied since the start: a client's session or a save tells from it whether the
  // index moved on.
  uint64_t changeCount() const { return changes_; }

 private:
  SearchContext& search_;
  // A change matched since the last search; the monitors' batches never overlap (index lock).
  std::atomic<bool> matched_{false};
  std::atomic<uint64_t> changes_{0};
};

}  // namespace vessiko
