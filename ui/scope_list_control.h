// ScopeListControl: the directory-scope panel's list view (control 1020) with check boxes, its
// in-place combo box editor of the second column, its pop-up menu (102), its four buttons and
// the folder browser of "add a folder", behind the ScopeListView interface that the ScopeList
// drives.
//
// The ScopeList also runs on the start-up thread (discovery adds the volume rows): changes from
// any thread but the interface thread travel through the posting route, so the start-up thread
// never waits for the window. The list view answers the control's own changes with
// LVN_ITEMCHANGED; applying() tells the dialog to leave those to the ScopeList, which already
// knows them, and to pass on only the user's clicks on a check box.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <string>

#include "search/scope_list.h"
#include "ui/shell_actions.h"
#include "ui/ui_tasks.h"
#include "ui/window_geometry.h"

namespace vessiko {

class ScopeListControl : public ScopeListView {
 public:
  ScopeListControl(UiTasks& tasks, ShellActions& shell) : tasks_(tasks), shell_(shell) {}

  // The dialog's set-up: styles, check boxes, the image list and the two images, the columns
  // "所在目录" and "搜子目录吗？", and the combo box editor with "是" and "否".
  void attach(HWND dialog, HWND list, HIMAGELIST images, int volumeImage, int folderImage);
  // The control is changing itself (its notifications are not the user's).
  bool applying() const { return applying_ > 0; }
  // Shows the panel with the list's top at 3 and its right edge 25 from the client's (at 96
  // DPI); the list keeps its left edge and height. Returns the list's bottom once moved.
  int layout(int clientWidth, UINT dpi, WindowMoves& moves);
  // The list has a new font (a new DPI): the editor, which sits on its cells, takes it too.
  void listFontChanged();

  void insertItem(int position, std::u16string_view text, bool volumeImage) override;
  void deleteItem(int row) override;
  void setSecondColumnText(int row, std::u16string_view text) override;
  std::u16string secondColumnText(int row) override;
  void setCheckBox(int row, bool on) override;
  bool checkBox(int row) override;
  int nextSelected(int after) override;
  bool secondColumnRect(int row, CellRect* rect) override;
  int width() override;
  void showEditor(int left, int top, int width, int height, int selection) override;
  int editorSelection() override;
  void hideEditor() override;
  int trackMenu() override;
  void hide() override;
  FolderChoice browseForFolder(std::u16string* path) override {
    return shell_.browseForFolder(dialog_, path);
  }

 private:
  // Runs a change of the control on the interface thread, marked as the control's own.
  template <class Change>
  void change(Change&& apply);
  void showButtons(int command);

  UiTasks& tasks_;
  ShellActions& shell_;
  HWND dialog_ = nullptr;
  HWND list_ = nullptr;
  HWND editor_ = nullptr;
  int volumeImage_ = 0;
  int folderImage_ = 0;
  int applying_ = 0;
};

}  // namespace vessiko
