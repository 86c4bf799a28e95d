#include "ui/main_layout.h"

#include <algorithm>

#include "ui/resource_ids.h"
#include "ui/window_geometry.h"

namespace vessiko {

namespace {

// Pixels at 96 DPI.
constexpr int kTopWithoutPanel = 2;
constexpr int kTopBelowFilterPanel = 145;
constexpr int kTopBelowScopePanel = 170;
// The least room between an open panel and the query row when the panel has grown.
constexpr int kPanelGap = 6;
constexpr int kLeftMargin = 3;
constexpr int kExtensionEditWidth = 42;
constexpr int kEditHeight = 20;
constexpr int kDotDrop = 3;
constexpr int kDotHeight = 16;
constexpr int kListBelowRow = 22;

}  // namespace

void LayoutMainWindow(const MainWindow& window, const UiState& ui, ScopeList& scope,
                      ScopeListControl& scopePanel, FilterPanelControls& filterPanel) {
  HWND dialog = window.dialog;
  const auto scaled = [&window](int pixels) { return Scaled(pixels, window.dpi); };
  RECT client;
  GetClientRect(dialog, &client);
  const int width = client.right;
  HWND dot = GetDlgItem(dialog, IDC_DOT);
  RECT dotRect;
  GetWindowRect(dot, &dotRect);
  const int dotWidth = dotRect.right - dotRect.left;
  const int left = scaled(kLeftMargin);
  const int nameWidth = width - left - dotWidth - scaled(kExtensionEditWidth);
  const int editHeight = scaled(kEditHeight);

  {
    // Everything moves at once when `moves` goes; until then the children read below are
    // where they were.
    WindowMoves moves;
    int top;
    if (ui.scopePanelShown) {
      filterPanel.hide();
      const int panelBottom = scopePanel.layout(width, window.dpi, moves);
      top = std::max(scaled(kTopBelowScopePanel), panelBottom + scaled(kPanelGap));
    } else {
      scope.hide();
      if (ui.filterPanelShown) {
        filterPanel.layout(width, moves);
        top = std::max(scaled(kTopBelowFilterPanel), filterPanel.bottom() + scaled(kPanelGap));
      } else {
        filterPanel.hide();
        top = scaled(kTopWithoutPanel);
      }
    }

    if (window.nameEdit == nullptr ||
        (GetWindowLongPtrW(window.nameEdit, GWL_STYLE) & WS_VISIBLE) == 0) {
      return;
    }
    moves.move(window.nameEdit, left, top, nameWidth, editHeight);
    moves.move(dot, left + nameWidth, top + scaled(kDotDrop), dotWidth, scaled(kDotHeight));
    const int extensionLeft = left + nameWidth + dotWidth;
    moves.move(window.extensionEdit, extensionLeft, top, width - extensionLeft, editHeight);

    // It docks itself at the bottom at once, outside the batch, so its top is read as it is.
    SendMessageW(window.statusBar, WM_SIZE, 0, 0);
    const RECT list = RectInClient(dialog, window.resultList);  // only its left edge is kept
    const RECT status = RectInClient(dialog, window.statusBar);
    const int listTop = top + scaled(kListBelowRow);
    moves.move(window.resultList, list.left, listTop, width, status.top - listTop);
  }
  // The whole client area, the children with it: a moved child may have been given bits of
  // its old place that another child has since covered.
  RedrawWindow(dialog, nullptr, nullptr, RDW_INVALIDATE | RDW_ERASE | RDW_ALLCHILDREN);
}

}  // namespace vessiko
