// The program entry's part before the message loop: where the databases go, and how the window
// first appears.
#include <windows.h>

#include "platform/win32/wide_path.h"
#include "tests/win/main_window_fixture.h"
#include "ui/program.h"

namespace vessiko::testing {
namespace {

TEST(ProgramTest, DatabasesLiveBesideTheProgramWhateverTheCurrentFolder) {
  wchar_t module[1024] = {};
  GetModuleFileNameW(nullptr, module, 1024);
  std::wstring folder(module);
  folder.resize(folder.find_last_of(L'\\'));
  wchar_t previous[1024] = {};
  GetCurrentDirectoryW(1024, previous);
  SetCurrentDirectoryW(L"C:\\");
  const DatabasePaths paths = DatabasePathsBesideProgram();
  SetCurrentDirectoryW(previous);
  EXPECT_EQ(paths.core, Narrow(folder) + "\\kavume_core.db");
  EXPECT_EQ(paths.extensions, Narrow(folder) + "\\kavume_ext.db");
}

TEST_F(MainWindowTest, AppearsCentredWithItsIcon) {
  ShowMainWindow(dialog, GetModuleHandleW(nullptr));
  EXPECT_TRUE(IsWindowVisible(dialog));
  EXPECT_NE(SendMessageW(dialog, WM_GETICON, ICON_SMALL, 0), 0);
  EXPECT_NE(SendMessageW(dialog, WM_GETICON, ICON_BIG, 0), 0);
  RECT window;
  GetWindowRect(dialog, &window);
  // No smaller than the minimum size: the template's height is below it.
  EXPECT_GE(window.right - window.left, 600);
  EXPECT_GE(window.bottom - window.top, 450);
  EXPECT_EQ(window.left, (GetSystemMetrics(SM_CXSCREEN) - (window.right - window.left)) >> 1);
  EXPECT_EQ(window.top, (GetSystemMetrics(SM_CYSCREEN) - (window.bottom - window.top)) >> 1);
}

}  // namespace
}  // namespace vessiko::testing
