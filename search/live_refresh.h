// LiveRefresh: keeps the visible results current while the journal monitors change the index.
// A change whose name (a file's without its extension, as the search tests it) matches the query
// in force runs a new search with indexChanged raised, so a removed entry leaves the results and
// an added one appears.
// Changes of a kind not searched (folders or files switched off) run nothing.
#pragma once

#include "search/run_search.h"
#include "volume/change_application.h"

namespace vessiko {

class LiveRefresh : public ChangeListener {
 public:
  explicit LiveRefresh(SearchContext& search) : search_(search) {}
  void changeApplied(bool isDirectory, char16_t* name, uint32_t length) override;

 private:
  SearchContext& search_;
};

}  // namespace vessiko
