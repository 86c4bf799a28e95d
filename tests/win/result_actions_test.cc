// Double-click and right-click on a result: what the shell is asked to do.
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include "tests/win/main_window_fixture.h"
#include "ui/resource_ids.h"

namespace vessiko::testing {
namespace {

using Calls = std::vector<std::u16string>;

TEST_F(MainWindowTest, DoubleClickRevealsTheItemOrItsFolder) {
  search("qzx", "txt");
  notify(IDC_RESULT_LIST, NM_DBLCLK, 0, 0);
  notify(IDC_RESULT_LIST, NM_DBLCLK, 0, 1);
  notify(IDC_RESULT_LIST, NM_DBLCLK, 0, 2);
  // The size, time and attribute columns, and a click beside every row, do nothing.
  for (int column = 3; column < 8; ++column)
    notify(IDC_RESULT_LIST, NM_DBLCLK, 0, column);
  notify(IDC_RESULT_LIST, NM_DBLCLK, -1, 0);
  EXPECT_EQ(shell.calls, (Calls{u"reveal C:\\测试\\qzx.txt", u"reveal C:\\测试\\qzx.txt",
                                u"reveal C:\\测试\\"}));
}

TEST_F(MainWindowTest, DoubleClickOnAShortcutStartsItsTarget) {
  search("linkprobe");
  notify(IDC_RESULT_LIST, NM_DBLCLK, 0, 0);
  notify(IDC_RESULT_LIST, NM_DBLCLK, 0, 2);
  EXPECT_EQ(shell.calls, (Calls{u"shortcut C:\\测试\\linkprobe.lnk", u"reveal C:\\测试\\"}));
}

TEST_F(MainWindowTest, DoubleClickOnFoldersAndVolumeRoots) {
  search("测试");
  notify(IDC_RESULT_LIST, NM_DBLCLK, 0, 0);
  notify(IDC_RESULT_LIST, NM_DBLCLK, 0, 2);
  search("C:");
  notify(IDC_RESULT_LIST, NM_DBLCLK, 0, 0);
  notify(IDC_RESULT_LIST, NM_DBLCLK, 0, 2);
  EXPECT_EQ(shell.calls, (Calls{u"reveal C:\\测试", u"reveal C:\\", u"reveal C:", u"reveal C:"}));
}

TEST_F(MainWindowTest, RightClickAsksForTheShellsMenuOfTheItem) {
  search("qzx", "txt");
  notify(IDC_RESULT_LIST, NM_RCLICK, 0, 4);
  search("C:");
  notify(IDC_RESULT_LIST, NM_RCLICK, 0, 0);
  notify(IDC_RESULT_LIST, NM_RCLICK, -1, 0);
  EXPECT_EQ(shell.calls, (Calls{u"menu C:\\测试\\|qzx.txt", u"menu |C:"}));
}

}  // namespace
}  // namespace vessiko::testing
