#include "cli/query_session.h"

#include "mirror/file_name_bytes.h"
#include "search/result_filter.h"

namespace vessiko {

namespace {

void FillPanel(const FilterOptions& f, ResultFilter& filter, MemoryFilterPanel& panel) {
  filter.setSizeEnabled(f.size);
  filter.setDateEnabled(f.date);
  filter.setAttributesEnabled(f.attributes);
  panel.sizeText = f.sizeNumber;
  panel.operatorSelection = f.sizeOperator;
  panel.unitSelection = f.sizeUnit;
  panel.dateKindSelection = f.dateKind;
  panel.checkedRadio = f.dateMode;
  switch (f.dateMode) {
    case DateRadio::kAfter:
      panel.afterPicker = f.first;
      break;
    case DateRadio::kBefore:
      panel.beforePicker = f.first;
      break;
    case DateRadio::kBetween:
      panel.startPicker = f.first;
      panel.endPicker = f.second;
      break;
  }
  panel.normal = f.normal;
  panel.hidden = f.hidden;
  panel.system = f.system;
}

}  // namespace

bool AcceptOptions(const CommandLine& line, UserMessages& messages) {
  if (!line.folders && !line.files) {
    messages.showMessage("友情提醒！", "文件和文件夹至少指定一个！", MessageIcon::kInformation);
    return false;
  }
  if (!line.filter.any()) return true;
  // The panel's input alone: the count of file results only matters once there are results.
  ResultFilter trial;
  MemoryFilterPanel panel(SystemClock());
  FillPanel(line.filter, trial, panel);
  return trial.validate(panel, 1, messages, SystemClock());
}

PrivateSearch::PrivateSearch(Engine& engine, FolderResolver& folders, UserMessages& messages)
    : state(engine.heap()), scope(scopeView, folders, messages), context{engine.index(), ui,
                                                                         messages,       view,
                                                                         scope,          state} {
  // The index is ready before a client is served.
  ui.searchEnabled = true;
}

QuerySession::QuerySession(Engine& engine, SearchContext& context, ResultFilter& filter,
                           MemoryScopeView& scopeView, const CommandLine& line,
                           std::vector<char> scopeRoots,
                           const std::array<std::string, kVolumeCount>& roots)
    : engine_(engine),
      context_(context),
      filter_(filter),
      scopeView_(scopeView),
      line_(line),
      scopeRoots_(std::move(scopeRoots)),
      rows_(ResultRows(engine.index(), context.state, engine.slots()), SystemClock(), roots),
      panel_(SystemClock()) {
  FillPanel(line.filter, filter_, panel_);
  UiState& ui = context_.ui;
  ui.caseSensitive = line.caseSensitive;
  ui.searchFolders = line.folders;
  ui.searchFiles = line.files;
}

void QuerySession::copyVolumeRows(const ScopeList& from) {
  for (int row = 0; row < from.volumeRowCount(); ++row) {
    const char16_t letter = static_cast<char16_t>(u'A' + VolumeOf(from.row(row).key));
    const char16_t label[] = {u'(', letter, u':', u')'};
    context_.scope.insertRow(row, std::u16string_view(label, 4), true);
  }
}

bool QuerySession::applyScope() {
  if (line_.scopes.empty()) return false;
  ScopeList& scope = context_.scope;
  // The options name where to search: every volume starts unchecked, as a user unticking them.
  for (int row = 0; row < scope.volumeRowCount(); ++row) {
    scopeView_.setCheckBox(row, false);
    scope.checkBoxChanged(row);
  }
  for (size_t i = 0; i < line_.scopes.size(); ++i) {
    const ScopeOption& option = line_.scopes[i];
    const std::u16string_view column = option.subfolders ? u"是" : u"否";
    if (scopeRoots_[i] != 0) {
      // A drive's own directory is its volume row.
      const EntryKey key = RootKey(static_cast<uint32_t>(scopeRoots_[i] - 'A'));
      for (int row = 0; row < scope.volumeRowCount(); ++row) {
        if (scope.row(row).key != key) continue;
        scopeView_.setCheckBox(row, true);
        scope.checkBoxChanged(row);
        scope.setSecondColumn(row, column);
      }
      continue;
    }
    std::u16string path;
    DecodeFileName(option.directory, &path);
    const int position = scope.rowCount();
    if (scope.insertRow(position, path, false)) scope.setSecondColumn(position, column);
  }
  return true;
}

void QuerySession::search(const QueryTexts* query, std::atomic<bool>& flag) {
  UiState& ui = context_.ui;
  // An edit of a query field ends a filter in force.
  if (ui.filterInForce) {
    ui.filterInForce = false;
    ui.searchEnabled = true;
  }
  flag = true;
  if (query != nullptr) {
    RunSearch(context_, *query);
  } else {
    RepeatSearch(context_);
  }
  filteredAway_ = false;
  if (!line_.filter.any() || !ui.searchEnabled) return;
  FilterContext filtering{context_.index,
                          ui,
                          context_.messages,
                          context_.view,
                          context_.state,
                          engine_.slots(),
                          SystemClock(),
                          filter_,
                          panel_};
  ApplyFilter(filtering);
  // The size group with no file among the results: the filter only tells so, but no
  // directory can pass a size either.
  filteredAway_ = !ui.filterInForce;
}

}  // namespace vessiko
