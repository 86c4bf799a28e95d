#include "search/memory_scope_view.h"

namespace vessiko {

void MemoryScopeView::insertItem(int position, std::u16string_view text, bool volumeImage) {
  Item item;
  item.text = text;
  item.volumeImage = volumeImage;
  items_.insert(items_.begin() + position, item);
}

void MemoryScopeView::deleteItem(int row) {
  items_.erase(items_.begin() + row);
}

void MemoryScopeView::setSecondColumnText(int row, std::u16string_view text) {
  items_.at(static_cast<size_t>(row)).second = text;
}

std::u16string MemoryScopeView::secondColumnText(int row) {
  return items_.at(static_cast<size_t>(row)).second;
}

void MemoryScopeView::setCheckBox(int row, bool on) {
  items_.at(static_cast<size_t>(row)).checked = on;
}

bool MemoryScopeView::checkBox(int row) {
  return items_.at(static_cast<size_t>(row)).checked;
}

int MemoryScopeView::nextSelected(int after) {
  for (int i = after + 1; i < static_cast<int>(items_.size()); ++i) {
    if (items_[static_cast<size_t>(i)].selected) return i;
  }
  return -1;
}

bool MemoryScopeView::secondColumnRect(int row, CellRect* rect) {
  if (row < 0 || row >= static_cast<int>(items_.size())) return false;
  *rect = {300, 20 * row, 400, 20 * row + 18};
  return true;
}

void MemoryScopeView::showEditor(int, int, int, int, int selection) {
  editorSelection_ = selection;
  editorShown_ = true;
}

FolderChoice MemoryScopeView::browseForFolder(std::u16string* path) {
  if (folders_.empty()) return FolderChoice::kCancelled;
  auto [choice, chosen] = std::move(folders_.front());
  folders_.pop_front();
  *path = std::move(chosen);
  return choice;
}

void MemoryScopeView::queueFolder(FolderChoice choice, std::u16string path) {
  folders_.emplace_back(choice, std::move(path));
}

}  // namespace vessiko
