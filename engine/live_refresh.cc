#include "engine/live_refresh.h"

#include <mutex>

#include "index/file_name_split.h"
#include "search/matchers.h"

namespace vessiko {

void LiveRefresh::changeApplied(bool isDirectory, char16_t* name, uint32_t length) {
  ++changes_;
  UiState& ui = search_.ui;
  if (isDirectory ? !ui.searchFolders : !ui.searchFiles) return;
  const bool caseSensitive = ui.caseSensitive;
  if (!caseSensitive) {
    for (uint32_t i = 0; i < length; ++i) {
      if (name[i] >= u'A' && name[i] <= u'Z') name[i] = static_cast<char16_t>(name[i] + 32);
    }
  }
  // A file is tested by its base name, as the search tests it: an anchored pattern such as
  // "*port" would never meet "report.txt" whole, and the list would keep a deleted file.
  const uint32_t tested = isDirectory ? length : SplitFileName(name, length).baseLength;
  bool matches;
  {
    // The query in force is rewritten by every search; read it under the search lock.
    MutexLock lock(search_.state.lock);
    matches = NameMatchesQuery(search_.state.current[caseSensitive ? 1 : 0], name,
                               static_cast<int32_t>(tested));
  }
  if (matches) matched_ = true;
}

void LiveRefresh::directoriesRenamed() {
  // The rows from the top to well past a screenful; the view invalidates what it shows.
  constexpr int kRedrawnRows = 100;
  search_.view.redrawResults(0, kRedrawnRows);
}

void LiveRefresh::changesSettled() {
  if (!matched_.exchange(false)) return;
  search_.ui.indexChanged = true;
  RepeatSearch(search_);
}

}  // namespace vessiko
