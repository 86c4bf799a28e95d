// ScopeList: the directory scope. One checked row per NTFS volume (added at discovery, never
// removed) and rows for folders the user chose, each with a second column "是" (subfolders
// too) or "否". A search keeps only entries whose parent is a checked directory, or lies below
// it when its row says "是". A whole volume and folders on it are never checked together.
//
// The list-view control and its in-place editor sit behind ScopeListView (the Windows face
// implements it; tests and the terminal face keep rows in memory), and so does the folder
// browser; the message boxes go through UserMessages.
//
// Thread safety: the operations run on the interface thread, discovery's rows on the start-up
// thread before searches start; selectedScope may come from any search. A recursive lock
// guards the rows, since a list view answers a change of a check box with a notification that
// comes back into the list on the same thread.
#pragma once

#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <vector>

#include "index/entry_key.h"
#include "platform/user_messages.h"
#include "volume/volume_discovery.h"

namespace vessiko {

// What the folder browser gave.
enum class FolderChoice { kCancelled, kChosen, kNoPath };

struct ScopeRow {
  int32_t checked = 1;
  EntryKey key = 0;
  int32_t includeSubfolders = 1;
};

struct CellRect {
  int left = 0;
  int top = 0;
  int right = 0;
  int bottom = 0;
};

// The scope list's control (1020), its combo box editor and its pop-up menu (102).
class ScopeListView {
 public:
  virtual ~ScopeListView() = default;
  // A row with the text in column 0 and the volume's or the folder's image.
  virtual void insertItem(int position, std::u16string_view text, bool volumeImage) = 0;
  virtual void deleteItem(int row) = 0;
  virtual void setSecondColumnText(int row, std::u16string_view text) = 0;
  virtual std::u16string secondColumnText(int row) = 0;
  virtual void setCheckBox(int row, bool on) = 0;
  virtual bool checkBox(int row) = 0;
  // The next selected row after `after` (-1: from the start), -1 when none.
  virtual int nextSelected(int after) = 0;
  // The rectangle of the row's second column; false when the row has none.
  virtual bool secondColumnRect(int row, CellRect* rect) = 0;
  virtual int width() = 0;
  // Moves the combo box onto the cell, selects an item ("是" 0, "否" 1) and shows it.
  virtual void showEditor(int left, int top, int width, int height, int selection) = 0;
  virtual int editorSelection() = 0;
  virtual void hideEditor() = 0;
  // Tracks the pop-up menu "目录过滤选项" at the cursor; the command chosen, 0 for none.
  virtual int trackMenu() = 0;
  // Hides the list and its four buttons; showing and placing them is the window's layout.
  virtual void hide() = 0;
  // The folder browser titled "请选择目录: ": a chosen folder's path, a choice without a
  // file-system path, or a cancel.
  virtual FolderChoice browseForFolder(std::u16string* path) = 0;
};

// The key of a chosen folder: its volume (the path's drive letter) and the low 27 bits of its
// MFT record number. False when the folder cannot be opened or named by a key.
class FolderResolver {
 public:
  virtual ~FolderResolver() = default;
  virtual bool folderKey(std::u16string_view path, EntryKey* key) = 0;
};

// Commands of the pop-up menu, also reached by the panel's buttons.
constexpr int kCommandAddFolder = 40003;
constexpr int kCommandRemoveSelected = 40004;
constexpr int kCommandRemoveAllFolders = 40032;
constexpr int kCommandCheckAllVolumes = 40034;

class ScopeList : public VolumeRows {
 public:
  ScopeList(ScopeListView& view, FolderResolver& folders, UserMessages& messages)
      : view_(view), folders_(folders), messages_(messages) {}

  // A checked row at position (a volume's from its label "... (C:)", a folder's from its
  // path); false when its key is already listed or a folder cannot be resolved.
  bool insertRow(int position, std::u16string_view text, bool isVolume) override;
  void setSecondColumn(int row, std::u16string_view text) override;

  // The user's operations. True when the scope may have changed: the caller then searches.
  bool addFolder();
  bool removeSelected();
  bool removeAllFolders();
  bool checkAllVolumes();
  bool checkBoxChanged(int row);
  bool click(int row, int column);
  bool rightClick();
  void hideEditor();
  void hide();

  // -1: no restriction; 0: nothing selected; n > 0: the keys and include-subfolder flags of
  // the n checked rows, in row order.
  int32_t selectedScope(std::vector<EntryKey>* keys, std::vector<uint32_t>* flags) const;

  int rowCount() const;
  int volumeRowCount() const;
  ScopeRow row(int i) const;
  int editingRow() const;

 private:
  void applyExclusion(int row);
  void removeRow(int row);

  ScopeListView& view_;
  FolderResolver& folders_;
  UserMessages& messages_;
  mutable std::recursive_mutex lock_;
  std::vector<ScopeRow> rows_;
  int volumeRows_ = 0;
  int editingRow_ = -1;
};

}  // namespace vessiko
