// An index built directly (linked and sorted as after a build) with everything a search needs
// around it: interface state, recorded messages, an in-memory scope list with a row per volume,
// and helpers that run a search and describe its results.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "engine/ui_state.h"
#include "search/memory_scope_view.h"
#include "search/run_search.h"
#include "tests/support/test_index.h"

namespace vessiko::testing {

// Folder paths ("C:\a\b") to the keys of the fixture's directories.
class MapFolderResolver : public FolderResolver {
 public:
  bool folderKey(std::u16string_view path, EntryKey* key) override;
  std::map<std::u16string, EntryKey> keys;
};

class SearchFixture {
 public:
  // Volumes by drive letter; each gets its root and a scope row.
  explicit SearchFixture(const std::string& drives = "C");

  RecordRef root(char drive) const { return roots_.at(drive); }
  RecordRef addDir(RecordRef parent, const std::string& name);
  RecordRef addFile(RecordRef parent, const std::string& name);
  // Sorts the lists as the build does and enables searching.
  void finish();

  // Types the two fields and runs a search; the results as "D path" and "F path", in order.
  std::vector<std::string> search(const std::string& name, const std::string& extension = "");
  // The results as they stand.
  std::vector<std::string> results();
  // Runs the query last searched again with a one-shot flag raised.
  void searchWith(std::atomic<bool>& flag);

  TestIndex t;
  UiState ui;
  MemoryScopeView view;
  MapFolderResolver folders;
  ScopeList scope{view, folders, t.messages()};
  SearchState state{t.heap()};
  SearchContext context{t.index(), ui, t.messages(), t.messages(), scope, state};

 private:
  std::map<char, RecordRef> roots_;
  uint32_t nextRecord_ = 16;
};

}  // namespace vessiko::testing
