// The layout of the main window at several sizes and with each panel open.
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include "tests/win/main_window_fixture.h"
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
  // edit leave; the result list fills the rest down to the status bar.
  void expectQueryRowAt(int top) {
    const RECT name = rectOf(IDC_NAME_EDIT);
    const RECT dot = rectOf(IDC_DOT);
    const RECT extension = rectOf(IDC_EXTENSION_EDIT);
    const RECT list = rectOf(IDC_RESULT_LIST);
    const int width = clientWidth();
    EXPECT_EQ(name.left, 3);
    EXPECT_EQ(name.top, top);
    EXPECT_EQ(name.bottom - name.top, 20);
    EXPECT_EQ(name.right - name.left, width - (dot.right - dot.left) - 45);
    EXPECT_EQ(dot.left, name.right);
    EXPECT_EQ(dot.top, top + 3);
    EXPECT_EQ(extension.left, dot.right);
    EXPECT_EQ(extension.right - extension.left, 42);
    EXPECT_EQ(extension.right, width);
    EXPECT_EQ(list.top, top + 22);
    EXPECT_EQ(list.right - list.left, width);
    EXPECT_EQ(list.bottom, rectOf(IDC_STATUS_BAR).top);
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
