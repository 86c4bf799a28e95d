// ResultListView: the virtual list view (control 1002) of the search results. It keeps no rows
// of its own: each cell request reads the row from the result lists and the index, its size,
// times and attributes from the volume's file record, and its icon from the shell's system
// image list. A double-click reveals the item in Explorer (a shortcut is started instead); a
// right-click shows the shell's context menu of the item.
//
// Every row's texts are cut to the cell buffer the list view hands over, so a path of any
// length is shown as far as the buffer goes and nothing is written past it.
//
// Interface thread only.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <cstdint>
#include <string>

#include "engine/engine.h"
#include "search/result_rows.h"
#include "ui/shell_actions.h"

namespace vessiko {

class ResultListView {
 public:
  ResultListView(Engine& engine, ShellActions& shell)
      : engine_(engine), shell_(shell), rows_(engine.index(), engine.results(), engine.slots()) {}

  // The dialog's set-up of the list: styles, the system image list, the drive and folder
  // icons, the eight columns.
  void attach(HWND list);

  // WM_NOTIFY from the list: cell requests, double-click and right-click; always 0. Every other
  // notification is ignored, a click on a column header included, so rows are never re-sorted.
  LRESULT onNotify(const NMHDR& header);

 private:
  // The row whose cells were asked for last, as column 0 last read it.
  struct RowCache {
    int64_t row = -1;
    RowDescription description;
    std::u16string path;  // the folder's
    int icon = 0;
  };

  void OnGetDispInfo(NMLVDISPINFOW& info);
  void OnDoubleClick(const NMITEMACTIVATE& item);
  void OnRightClick(const NMITEMACTIVATE& item);

  // Reads the row into the cache; false when the row is past the results.
  bool cacheRow(uint32_t row);
  // True when the cache still describes the entry now at `row`.
  bool cacheHolds(uint32_t row);
  // The row's description without its values, and its folder's path.
  bool describe(int row, RowDescription* out, std::u16string* path);
  int iconOf(const RowDescription& description, const std::u16string& path);
  std::u16string cellText(int column) const;

  Engine& engine_;
  ShellActions& shell_;
  ResultRows rows_;
  HWND list_ = nullptr;
  RowCache cache_;
};

}  // namespace vessiko
