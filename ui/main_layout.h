// LayoutMainWindow: places everything in the main dialog's client area, on every resize, once
// at initialisation, after each panel toggle and after a change of DPI. The open panel (at most
// one) sits at the top; below it the query row: the name edit, the dot and the 42-pixel
// extension edit; below that the result list down to the status bar.
//
// The query row starts at 2 pixels with both panels closed, at 145 with the filter panel open
// and at 170 with the scope panel open; a panel that a larger font makes taller than that
// pushes the row down, so that the two never overlap.
//
// Every size here is in pixels at 96 DPI, scaled to the window's DPI: at 144 DPI the extension
// edit is 63 pixels wide and the row starts at 3, 218 or 255.
#pragma once

#include <windows.h>

#include "engine/ui_state.h"
#include "search/scope_list.h"
#include "ui/dpi.h"
#include "ui/filter_panel_controls.h"
#include "ui/scope_list_control.h"

namespace vessiko {

// The main dialog's windows that the layout and the commands reach.
struct MainWindow {
  HWND dialog = nullptr;
  HWND statusBar = nullptr;
  HWND resultList = nullptr;
  HWND nameEdit = nullptr;
  HWND extensionEdit = nullptr;
  // The DPI the window's sizes are scaled to: its own when it was made, then that of each
  // WM_DPICHANGED.
  UINT dpi = kBaseDpi;
};

// `scope` hides the scope panel (ending an edit in it); `scopePanel` shows and places it.
void LayoutMainWindow(const MainWindow& window, const UiState& ui, ScopeList& scope,
                      ScopeListControl& scopePanel, FilterPanelControls& filterPanel);

}  // namespace vessiko
