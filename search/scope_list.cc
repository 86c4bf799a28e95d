#include "search/scope_list.h"

namespace vessiko {

namespace {

constexpr std::u16string_view kYes = u"是";
constexpr std::u16string_view kNo = u"否";

}  // namespace

bool ScopeList::insertRow(int position, std::u16string_view text, bool isVolume) {
  std::lock_guard lock(lock_);
  ScopeRow row;
  if (isVolume) {
    // The label ends in "(C:)": the drive letter is its third unit from the end.
    if (text.size() < 3) return false;
    const char16_t letter = text[text.size() - 3];
    if (letter < u'A' || letter > u'Z') return false;
    row.key = RootKey(letter - u'A');
  } else if (!folders_.folderKey(text, &row.key)) {
    return false;
  }
  for (const ScopeRow& r : rows_) {
    if (r.key == row.key) return false;
  }
  if (position < 0 || position > static_cast<int>(rows_.size())) return false;
  rows_.insert(rows_.begin() + position, row);
  if (isVolume) ++volumeRows_;
  view_.insertItem(position, text, isVolume);
  view_.setCheckBox(position, true);
  applyExclusion(position);
  return true;
}

void ScopeList::setSecondColumn(int row, std::u16string_view text) {
  std::lock_guard lock(lock_);
  if (row < 0 || row >= static_cast<int>(rows_.size())) return;
  rows_[row].includeSubfolders = !text.empty() && text[0] == kYes[0] ? 1 : 0;
  view_.setSecondColumnText(row, text);
}

void ScopeList::applyExclusion(int r) {
  const EntryKey volume = VolumeOf(rows_[r].key);
  const int count = static_cast<int>(rows_.size());
  if (r < volumeRows_) {
    for (int i = volumeRows_; i < count; ++i) {
      if (VolumeOf(rows_[i].key) == volume && rows_[i].checked != 0) {
        rows_[i].checked = 0;
        view_.setCheckBox(i, false);
      }
    }
    return;
  }
  for (int i = 0; i < volumeRows_; ++i) {
    if (VolumeOf(rows_[i].key) == volume) {
      if (rows_[i].checked != 0) {
        rows_[i].checked = 0;
        view_.setCheckBox(i, false);
      }
      return;
    }
  }
}

bool ScopeList::addFolder() {
  std::u16string path;
  switch (view_.browseForFolder(&path)) {
    case FolderChoice::kCancelled:
      return false;
    case FolderChoice::kNoPath:
      messages_.showMessage("", "BROWSEINFO参数设置错误!", MessageIcon::kNone);
      return false;
    case FolderChoice::kChosen:
      break;
  }
  if (path.empty()) return false;
  char16_t drive = path[0];
  if (drive >= u'a' && drive <= u'z') drive = static_cast<char16_t>(drive - 0x20);
  bool onVolume = false;
  {
    std::lock_guard lock(lock_);
    for (int i = 0; i < volumeRows_; ++i) {
      if (static_cast<char16_t>(u'A' + VolumeOf(rows_[i].key)) == drive) onVolume = true;
    }
  }
  // Not under the lock: a search on another thread asks the list for its scope meanwhile.
  if (!onVolume) {
    messages_.showMessage("", "对不住，所选的不是NTFS卷，无法指定！", MessageIcon::kError);
    return false;
  }
  // A bare root such as D:\ is what the volume row stands for already.
  if (path.size() == 3) return false;
  std::lock_guard lock(lock_);
  const int at = static_cast<int>(rows_.size());
  if (insertRow(at, path, false)) setSecondColumn(at, kYes);
  return true;
}

void ScopeList::removeRow(int row) {
  // An open editor knows its row by position, and the rows below move up: the edit ends.
  if (editingRow_ != -1) {
    view_.hideEditor();
    editingRow_ = -1;
  }
  rows_.erase(rows_.begin() + row);
  view_.deleteItem(row);
}

bool ScopeList::removeSelected() {
  std::lock_guard lock(lock_);
  bool checkedRemoved = false;
  int row = view_.nextSelected(-1);
  while (row >= 0) {
    if (row >= volumeRows_ && row < static_cast<int>(rows_.size())) {
      checkedRemoved |= rows_[row].checked != 0;
      removeRow(row);
      row = view_.nextSelected(row - 1);  // the next row moved into this place
    } else {
      row = view_.nextSelected(row);
    }
  }
  return checkedRemoved;
}

bool ScopeList::removeAllFolders() {
  std::lock_guard lock(lock_);
  bool checkedRemoved = false;
  while (static_cast<int>(rows_.size()) > volumeRows_) {
    checkedRemoved |= rows_.back().checked != 0;
    removeRow(static_cast<int>(rows_.size()) - 1);
  }
  return checkedRemoved;
}

bool ScopeList::checkAllVolumes() {
  std::lock_guard lock(lock_);
  bool changed = false;
  for (int i = 0; i < volumeRows_; ++i) {
    const bool wasOff = rows_[i].checked == 0;
    rows_[i].checked = 1;
    view_.setCheckBox(i, true);
    if (wasOff) {
      applyExclusion(i);
      changed = true;
    }
  }
  return changed;
}

bool ScopeList::checkBoxChanged(int row) {
  std::lock_guard lock(lock_);
  if (row < 0 || row >= static_cast<int>(rows_.size())) return false;
  const int32_t now = view_.checkBox(row) ? 1 : 0;
  if (now == rows_[row].checked) return false;
  rows_[row].checked = now;
  if (now != 0) applyExclusion(row);
  return true;
}

bool ScopeList::click(int row, int column) {
  std::lock_guard lock(lock_);
  if (editingRow_ == -1) {
    if (row < 0 || column != 1 || row >= static_cast<int>(rows_.size())) return false;
    CellRect cell;
    if (!view_.secondColumnRect(row, &cell)) return false;
    const std::u16string text = view_.secondColumnText(row).substr(0, 5);
    // The combo box item whose text begins with the cell's, the first when none does.
    int selection = 0;
    if (!text.empty() && kNo.substr(0, text.size()) == text &&
        kYes.substr(0, text.size()) != text) {
      selection = 1;
    }
    editingRow_ = row;
    const int cellWidth = cell.right - cell.left;
    const int room = view_.width() - cell.left - 5;
    view_.showEditor(cell.left, cell.top, cellWidth < room ? cellWidth : room,
                     cell.bottom - cell.top, selection);
    return false;
  }
  const int selection = view_.editorSelection();
  view_.hideEditor();
  const int editing = editingRow_;
  editingRow_ = -1;
  if (editing >= static_cast<int>(rows_.size())) return false;
  ScopeRow& edited = rows_[editing];
  bool changed = false;
  if (selection == 0) {
    changed = edited.includeSubfolders == 0 && edited.checked != 0;
    setSecondColumn(editing, kYes);
  } else if (selection == 1) {
    changed = edited.includeSubfolders == 1 && edited.checked != 0;
    setSecondColumn(editing, kNo);
  }
  return changed;
}

bool ScopeList::rightClick() {
  switch (view_.trackMenu()) {
    case kCommandAddFolder:
      return addFolder();
    case kCommandRemoveSelected:
      return removeSelected();
    case kCommandCheckAllVolumes:
      return checkAllVolumes();
    case kCommandRemoveAllFolders:
      return removeAllFolders();
    default:
      return false;
  }
}

void ScopeList::hideEditor() {
  std::lock_guard lock(lock_);
  view_.hideEditor();
  editingRow_ = -1;
}

void ScopeList::hide() {
  view_.hide();
  hideEditor();
}

int32_t ScopeList::selectedScope(std::vector<EntryKey>* keys, std::vector<uint32_t>* flags) const {
  std::lock_guard lock(lock_);
  bool everyVolumeWhole = true;
  for (int i = 0; i < volumeRows_; ++i) {
    if (rows_[i].checked == 0 || rows_[i].includeSubfolders != 1) everyVolumeWhole = false;
  }
  if (everyVolumeWhole) return -1;
  keys->clear();
  flags->clear();
  for (const ScopeRow& row : rows_) {
    if (row.checked == 0) continue;
    keys->push_back(row.key);
    flags->push_back(static_cast<uint32_t>(row.includeSubfolders));
  }
  return static_cast<int32_t>(keys->size());
}

int ScopeList::rowCount() const {
  std::lock_guard lock(lock_);
  return static_cast<int>(rows_.size());
}

int ScopeList::volumeRowCount() const {
  std::lock_guard lock(lock_);
  return volumeRows_;
}

ScopeRow ScopeList::row(int i) const {
  std::lock_guard lock(lock_);
  return rows_.at(static_cast<size_t>(i));
}

int ScopeList::editingRow() const {
  std::lock_guard lock(lock_);
  return editingRow_;
}

}  // namespace vessiko
