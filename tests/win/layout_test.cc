// The layout of the main window at several sizes and with each panel open.
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <initializer_list>
#include <span>
#include <string>
#include <utility>

#include "tests/win/main_window_fixture.h"
#include "ui/dpi.h"
#include "ui/filter_panel_controls.h"
#include "ui/resource_ids.h"

namespace vessiko::testing {
namespace {

struct Size {
  int width;
  int height;
};

class LayoutTest : public MainWindowTest {
 protected:
  // The query row at `top`: the name edit takes the width the dot and the 42-pixel extension
  // edit leave; the result list fills the rest down to the status bar. Sizes are pixels at 96
  // DPI, scaled to `dpi`.
  void expectQueryRowAt(int top, UINT dpi = kBaseDpi) {
    const auto px = [dpi](int pixels) { return Scaled(pixels, dpi); };
    const RECT name = rectOf(IDC_NAME_EDIT);
    const RECT dot = rectOf(IDC_DOT);
    const RECT extension = rectOf(IDC_EXTENSION_EDIT);
    const RECT list = rectOf(IDC_RESULT_LIST);
    const int width = clientWidth();
    EXPECT_EQ(name.left, px(3));
    EXPECT_EQ(name.top, px(top));
    EXPECT_EQ(name.bottom - name.top, px(20));
    EXPECT_EQ(name.right - name.left, width - (dot.right - dot.left) - px(3) - px(42));
    EXPECT_EQ(dot.left, name.right);
    EXPECT_EQ(dot.top, px(top) + px(3));
    EXPECT_EQ(extension.left, dot.right);
    EXPECT_EQ(extension.right - extension.left, px(42));
    EXPECT_EQ(extension.right, width);
    EXPECT_EQ(list.top, px(top) + px(22));
    EXPECT_EQ(list.right - list.left, width);
    EXPECT_EQ(list.bottom, rectOf(IDC_STATUS_BAR).top);
  }

  // Every control of the open panel is shown, wholly above the query row.
  void expectAboveQueryRow(std::span<const int> ids) {
    const RECT name = rectOf(IDC_NAME_EDIT);
    for (int id : ids) {
      EXPECT_TRUE(shown(id)) << id;
      EXPECT_LE(rectOf(id).bottom, name.top) << id;
    }
  }

  int statusFontHeight() {
    LOGFONTW font = {};
    GetObjectW(reinterpret_cast<HFONT>(SendMessageW(item(IDC_STATUS_BAR), WM_GETFONT, 0, 0)),
               sizeof font, &font);
    return font.lfHeight;
  }

  void expectColumnWidths(int list, std::initializer_list<int> widths, UINT dpi) {
    int column = 0;
    for (int width : widths) {
      EXPECT_EQ(SendMessageW(item(list), LVM_GETCOLUMNWIDTH, column, 0), Scaled(width, dpi))
          << list << " column " << column;
      ++column;
    }
  }

  // As Windows does when the window moves to a monitor of another DPI: the window's rectangle
  // scaled to it is the one suggested.
  void changeDpi(UINT from, UINT to) {
    RECT window;
    GetWindowRect(dialog, &window);
    RECT suggested = window;
    suggested.right = window.left + MulDiv(window.right - window.left, to, from);
    suggested.bottom = window.top + MulDiv(window.bottom - window.top, to, from);
    SendMessageW(dialog, WM_DPICHANGED, MAKEWPARAM(to, to), reinterpret_cast<LPARAM>(&suggested));
    pump();
    GetWindowRect(dialog, &window);
    EXPECT_TRUE(EqualRect(&window, &suggested));
  }
};

TEST_F(LayoutTest, QueryRowFollowsThePanelsAtEverySize) {
  for (const Size size : {Size{600, 450}, Size{900, 600}, Size{1280, 760}}) {
    SCOPED_TRACE(std::to_string(size.width) + "x" + std::to_string(size.height));
    resize(size.width, size.height);
    expectQueryRowAt(2);
    command(IDM_FILTER_PANEL);
    expectQueryRowAt(145);
    command(IDM_SCOPE_PANEL);
    expectQueryRowAt(170);
    const RECT scope = rectOf(IDC_SCOPE_LIST);
    EXPECT_EQ(scope.top, 3);
    EXPECT_EQ(scope.right, clientWidth() - 25);
    command(IDM_SCOPE_PANEL);
    expectQueryRowAt(2);
  }
}

TEST_F(LayoutTest, EverySizeFollowsTheDpi) {
  constexpr int kScopePanel[] = {IDC_SCOPE_LIST, IDC_ADD_FOLDER, IDC_REMOVE_FOLDER,
                                 IDC_REMOVE_ALL_FOLDERS, IDC_CHECK_ALL_VOLUMES};
  // The least size: at 192 DPI, twice as large, it still fits the test's screen.
  resize(600, 450);
  const int statusFont = statusFontHeight();
  UINT dpi = kBaseDpi;
  for (const UINT next : {144u, 192u, 96u}) {
    SCOPED_TRACE(std::to_string(next) + " DPI");
    changeDpi(std::exchange(dpi, next), next);
    expectQueryRowAt(2, dpi);
    command(IDM_FILTER_PANEL);
    expectQueryRowAt(145, dpi);
    expectAboveQueryRow(FilterPanelControls::kControlIds);
    command(IDM_SCOPE_PANEL);
    expectQueryRowAt(170, dpi);
    expectAboveQueryRow(kScopePanel);
    const RECT scope = rectOf(IDC_SCOPE_LIST);
    EXPECT_EQ(scope.top, Scaled(3, dpi));
    EXPECT_EQ(scope.right, clientWidth() - Scaled(25, dpi));
    command(IDM_SCOPE_PANEL);

    MINMAXINFO info = {};
    SendMessageW(dialog, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
    EXPECT_EQ(info.ptMinTrackSize.x, Scaled(600, dpi));
    EXPECT_EQ(info.ptMinTrackSize.y, Scaled(450, dpi));
    expectColumnWidths(IDC_RESULT_LIST, {200, 60, 500, 80, 150, 150, 150, 150}, dpi);
    expectColumnWidths(IDC_SCOPE_LIST, {300, 100}, dpi);
    EXPECT_EQ(statusFontHeight(), Scaled(statusFont, dpi));
  }
}

TEST_F(LayoutTest, MinimumTrackingSize) {
  MINMAXINFO info = {};
  SendMessageW(dialog, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&info));
  EXPECT_EQ(info.ptMinTrackSize.x, 600);
  EXPECT_EQ(info.ptMinTrackSize.y, 450);
}

TEST_F(LayoutTest, FilterPanelMovesAsOneBlockCentredOnItsButton) {
  resize(900, 600);
  command(IDM_FILTER_PANEL);
  const auto offsets = [this] {
    const RECT button = rectOf(IDC_FILTER_BUTTON);
    std::vector<std::pair<long, long>> out;
    for (int id : FilterPanelControls::kControlIds) {
      const RECT r = rectOf(id);
      out.emplace_back(r.left - button.left, r.top);
    }
    return out;
  };
  const auto centred = [this] {
    const RECT button = rectOf(IDC_FILTER_BUTTON);
    return button.left == (clientWidth() - (button.right - button.left)) / 2;
  };
  EXPECT_TRUE(centred());
  const auto before = offsets();
  resize(1280, 760);
  EXPECT_TRUE(centred());
  EXPECT_EQ(offsets(), before);
  for (int id : FilterPanelControls::kControlIds)
    EXPECT_TRUE(shown(id)) << id;
}

}  // namespace
}  // namespace vessiko::testing
