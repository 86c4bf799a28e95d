// LayoutMainWindow: places everything in the main dialog's client area, on every resize, once
// at initialisation and after each panel toggle. The open panel (at most one) sits at the top;
// below it the query row: the name edit, the dot and the 42-pixel extension edit; below that
// the result list down to the status bar.
//
// The query row starts at 2 pixels with both panels closed, at 145 with the filter panel open
// and at 170 with the scope panel open; a panel that a larger font or DPI scaling makes taller
// than that pushes the row down, so that the two never overlap.
#pragma once

#include <windows.h>

#include "platform/ui_state.h"
#include "search/scope_list.h"
#include "ui/filter_panel_controls.h"

namespace vessiko {

// The main dialog's windows that the layout and the commands reach.
struct MainWindow {
  HWND dialog = nullptr;
  HWND statusBar = nullptr;
  HWND resultList = nullptr;
  HWND nameEdit = nullptr;
  HWND extensionEdit = nullptr;
};

void LayoutMainWindow(const MainWindow& window, const UiState& ui, ScopeList& scope,
                      FilterPanelControls& filterPanel);

}  // namespace vessiko
