#include "cli/local_searcher.h"

namespace vessiko {

bool LocalSearcher::search(const QueryTexts& query) {
  QuerySession& session = face_.session();
  session.search(query, session.ui().extensionChanged);
  return true;
}

SearchToggles LocalSearcher::toggles() {
  const UiState& ui = face_.session().ui();
  return SearchToggles{ui.caseSensitive, ui.searchFolders, ui.searchFiles};
}

bool LocalSearcher::setToggles(const SearchToggles& toggles) {
  QuerySession& session = face_.session();
  UiState& ui = session.ui();
  ui.caseSensitive = toggles.caseSensitive;
  ui.searchFolders = toggles.folders;
  ui.searchFiles = toggles.files;
  session.searchAgain(ui.optionsChanged);
  return true;
}

void LocalSearcher::refresh() {
  QuerySession& session = face_.session();
  const UiState& ui = session.ui();
  if (scopeApplied_ || !(ui.searchEnabled || ui.filterInForce)) return;
  // The index is ready and discovery has added the volume rows: the scope options can take
  // effect. A filter given with them may already be in force, which turns searching off.
  scopeApplied_ = true;
  if (session.applyScope()) session.searchAgain(session.ui().scopeChanged);
}

bool LocalSearcher::describe(uint32_t row, uint32_t wanted, RowCells* cells) {
  QuerySession& session = face_.session();
  return !session.filteredAway() && session.rows().describe(row, cells, wanted);
}

bool LocalSearcher::path(uint32_t row, std::string* out) {
  QuerySession& session = face_.session();
  return !session.filteredAway() && face_.rowPath(session.rows(), row, &cells_, out);
}

}  // namespace vessiko
