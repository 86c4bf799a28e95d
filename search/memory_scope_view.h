// A ScopeListView without a window: the rows, their check boxes, second columns and selection
// kept in memory, for the terminal face and the tests. A user's click on a check box is
// setCheckBox followed by the list's checkBoxChanged, as a list view's notification would do.
#pragma once

#include <deque>
#include <string>
#include <utility>
#include <vector>

#include "search/scope_list.h"

namespace vessiko {

class MemoryScopeView : public ScopeListView {
 public:
  struct Item {
    std::u16string text;
    std::u16string second;
    bool volumeImage = false;
    bool checked = false;
    bool selected = false;
  };

  void insertItem(int position, std::u16string_view text, bool volumeImage) override;
  void deleteItem(int row) override;
  void setSecondColumnText(int row, std::u16string_view text) override;
  std::u16string secondColumnText(int row) override;
  void setCheckBox(int row, bool on) override;
  bool checkBox(int row) override;
  int nextSelected(int after) override;
  bool secondColumnRect(int row, CellRect* rect) override;
  int width() override { return 400; }
  void showEditor(int left, int top, int width, int height, int selection) override;
  int editorSelection() override { return editorSelection_; }
  void hideEditor() override { editorShown_ = false; }
  int trackMenu() override { return menuAnswer_; }
  void hide() override {}
  // The queued answers in order; cancelled when none is left.
  FolderChoice browseForFolder(std::u16string* path) override;

  const std::vector<Item>& items() const { return items_; }
  void select(int row, bool selected) { items_.at(static_cast<size_t>(row)).selected = selected; }
  // The user picks an item in the open editor, or answers the pop-up menu.
  void pickInEditor(int selection) { editorSelection_ = selection; }
  void answerMenu(int command) { menuAnswer_ = command; }
  bool editorShown() const { return editorShown_; }
  // The folder browser's next answer.
  void queueFolder(FolderChoice choice, std::u16string path = u"");

 private:
  std::vector<Item> items_;
  int editorSelection_ = 0;
  bool editorShown_ = false;
  int menuAnswer_ = 0;
  std::deque<std::pair<FolderChoice, std::u16string>> folders_;
};

}  // namespace vessiko
