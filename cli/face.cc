#include "cli/face.h"

#include <sys/stat.h>

#include <cerrno>

#include "mirror/file_name_bytes.h"
#include "search/result_filter.h"

namespace vessiko {

namespace {

// mkdir -p.
bool MakeFolders(const std::string& path) {
  for (size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
    const std::string part = path.substr(0, slash);
    if (mkdir(part.c_str(), 0755) != 0 && errno != EEXIST) return false;
    if (slash == std::string::npos) return true;
  }
}

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

Face::Face(const CommandLine& line, UserMessages& messages, ResultView& view)
    : line_(line), messages_(messages), resultView_(view), panel_(SystemClock()) {}

Face::~Face() {
  close();
}

bool Face::acceptOptions() {
  if (!line_.folders && !line_.files) {
    messages_.showMessage("友情提醒！", "文件和文件夹至少指定一个！", MessageIcon::kInformation);
    return false;
  }
  if (!line_.filter.any()) return true;
  // The panel's input alone: the count of file results only matters once there are results.
  ResultFilter trial;
  FillPanel(line_.filter, trial, panel_);
  return trial.validate(panel_, 1, messages_, SystemClock());
}

bool Face::open(bool* usage) {
  *usage = true;
  if (!MakeFolders(line_.databaseFolder)) {
    messages_.showMessage("vessiko", "cannot create the database folder " + line_.databaseFolder,
                          MessageIcon::kError);
    return false;
  }
  const DatabasePaths paths = DatabasePaths::inFolder(line_.databaseFolder, '/');
  bool allFit = true;
  for (const DriveOption& drive : line_.drives) {
    auto mirror = std::make_unique<DirectoryMirror>(
        drive.letter, drive.directory, line_.databaseFolder + "/mirror_" + drive.letter + ".state",
        SystemFiles(), SystemClock(), messages_);
    bool fit = false;
    if (!mirror->open(machine_, &fit)) {
      messages_.showMessage("vessiko", "cannot mirror " + drive.directory, MessageIcon::kError);
      return false;
    }
    allFit = allFit && fit;
    mirrors_.push_back(std::move(mirror));
  }
  if (!allFit) {
    // The saved index names records of trees the mirrors no longer have: build it afresh.
    SystemFiles().remove(paths.core);
    SystemFiles().remove(paths.extensions);
  }
  *usage = false;
  for (const ScopeOption& scope : line_.scopes) {
    uint32_t record = kNoNode;
    const DirectoryMirror* mirror = folders_.locate(scope.directory, &record);
    if (mirror == nullptr) {
      messages_.showMessage("", "对不住，所选的不是NTFS卷，无法指定！", MessageIcon::kError);
      return false;
    }
    scopeRoots_.push_back(record == kRootNode ? mirror->letter() : 0);
  }
  std::array<std::string, kVolumeCount> roots;
  for (const auto& mirror : mirrors_)
    roots[mirror->letter() - 'A'] = mirror->root();
  engine_ = std::make_unique<Engine>(EngineEnvironment{
      machine_, SystemFiles(), SystemClock(), messages_, resultView_, view_, folders_, paths});
  rows_ = std::make_unique<ResultCells>(
      ResultRows(engine_->index(), engine_->results(), engine_->slots()), SystemClock(),
      std::move(roots));
  FillPanel(line_.filter, engine_->filter(), panel_);
  UiState& ui = engine_->ui();
  ui.caseSensitive = line_.caseSensitive;
  ui.searchFolders = line_.folders;
  ui.searchFiles = line_.files;
  return true;
}

void Face::start() {
  for (const auto& mirror : mirrors_)
    mirror->startWatching();
  engine_->start();
}

bool Face::applyScope() {
  if (line_.scopes.empty()) return false;
  ScopeList& scope = engine_->scope();
  // The options name where to search: every volume starts unchecked, as a user unticking them.
  for (int row = 0; row < scope.volumeRowCount(); ++row) {
    view_.setCheckBox(row, false);
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
        view_.setCheckBox(row, true);
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

void Face::search(const QueryTexts* query, std::atomic<bool>& flag) {
  UiState& ui = engine_->ui();
  // An edit of a query field ends a filter in force.
  if (ui.filterInForce) {
    ui.filterInForce = false;
    ui.searchEnabled = true;
  }
  if (query != nullptr) {
    engine_->search(*query, flag);
  } else {
    engine_->searchWith(flag);
  }
  filteredAway_ = false;
  if (!line_.filter.any() || !ui.searchEnabled) return;
  engine_->applyFilter(panel_);
  // The size group with no file among the results: the filter only tells so, but no
  // directory can pass a size either.
  filteredAway_ = !ui.filterInForce;
}

void Face::close() {
  if (closed_ || !engine_) return;
  closed_ = true;
  for (const auto& mirror : mirrors_)
    mirror->stopWatching();
  for (const auto& mirror : mirrors_)
    mirror->forgetState();
  engine_->close(true);
  for (const auto& mirror : mirrors_)
    mirror->saveState();
}

bool Face::realPath(const RowCells& cells, std::string* out) const {
  for (const auto& mirror : mirrors_) {
    if (static_cast<uint32_t>(mirror->letter() - 'A') == cells.volume) {
      return mirror->pathOf(cells.record, out);
    }
  }
  return false;
}

}  // namespace vessiko
