#include "ui/main_layout.h"

#include <algorithm>

#include "ui/resource_ids.h"

namespace vessiko {

namespace {

constexpr int kTopWithoutPanel = 2;
constexpr int kTopBelowFilterPanel = 145;
constexpr int kTopBelowScopePanel = 170;
// The least room between an open panel and the query row when the panel has grown.
constexpr int kPanelGap = 6;
constexpr int kExtensionEditWidth = 42;
constexpr int kEditHeight = 20;
constexpr int kDotHeight = 16;

constexpr UINT kMove = SWP_NOZORDER | SWP_NOACTIVATE;

RECT ClientRectOf(HWND dialog, HWND control) {
  RECT rect;
  GetWindowRect(control, &rect);
  MapWindowPoints(nullptr, dialog, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

}  // namespace

void LayoutMainWindow(const MainWindow& window, const UiState& ui, ScopeList& scope,
                      FilterPanelControls& filterPanel) {
  HWND dialog = window.dialog;
  RECT client;
  GetClientRect(dialog, &client);
  const int width = client.right;
  HWND dot = GetDlgItem(dialog, IDC_DOT);
  RECT dotRect;
  GetWindowRect(dot, &dotRect);
  const int dotWidth = dotRect.right - dotRect.left;
  const int nameWidth = width - dotWidth - 3 - kExtensionEditWidth;

  int top;
  if (ui.scopePanelShown) {
    filterPanel.hide();
    scope.show(width);
    const RECT list = ClientRectOf(dialog, GetDlgItem(dialog, IDC_SCOPE_LIST));
    top = std::max(kTopBelowScopePanel, static_cast<int>(list.bottom) + kPanelGap);
  } else {
    scope.hide();
    if (ui.filterPanelShown) {
      filterPanel.layout(width);
      top = std::max(kTopBelowFilterPanel, filterPanel.bottom() + kPanelGap);
    } else {
      filterPanel.hide();
      top = kTopWithoutPanel;
    }
  }

  if (window.nameEdit == nullptr ||
      (GetWindowLongPtrW(window.nameEdit, GWL_STYLE) & WS_VISIBLE) == 0) {
    return;
  }
  SetWindowPos(window.nameEdit, nullptr, 3, top, nameWidth, kEditHeight, kMove);
  SetWindowPos(dot, nullptr, 3 + nameWidth, top + 3, dotWidth, kDotHeight, kMove);
  const int extensionLeft = 3 + nameWidth + dotWidth;
  SetWindowPos(window.extensionEdit, nullptr, extensionLeft, top, width - extensionLeft,
               kEditHeight, kMove);

  SendMessageW(window.statusBar, WM_SIZE, 0, 0);  // it docks itself at the bottom
  const RECT list = ClientRectOf(dialog, window.resultList);
  const RECT status = ClientRectOf(dialog, window.statusBar);
  const int listTop = top + 22;
  SetWindowPos(window.resultList, nullptr, list.left, listTop, width, status.top - listTop, kMove);
  // The whole client area, the children with it: a moved child may have been given bits of
  // its old place that another child has since covered.
  RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

}  // namespace vessiko
