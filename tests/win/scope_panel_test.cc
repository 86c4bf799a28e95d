// The directory-scope panel: the volume rows, adding a folder through the folder browser, the
// exclusion rule between a volume and its folders, and the "是"/"否" editor.
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include "gmock/gmock.h"
#include "tests/win/main_window_fixture.h"
#include "ui/resource_ids.h"

namespace vessiko::testing {
namespace {

using ::testing::ElementsAre;

class ScopePanelTest : public MainWindowTest {
 protected:
  void SetUp() override {
    MainWindowTest::SetUp();
    command(IDM_SCOPE_PANEL);
  }
  HWND list() { return item(IDC_SCOPE_LIST); }
  int scopeRows() { return static_cast<int>(SendMessageW(list(), LVM_GETITEMCOUNT, 0, 0)); }
  std::string scopeText(int row, int column) {
    wchar_t buffer[300] = {};
    LVITEMW request = {};
    request.iSubItem = column;
    request.pszText = buffer;
    request.cchTextMax = 300;
    SendMessageW(list(), LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&request));
    return utf8(buffer);
  }
  bool ticked(int row) {
    return (SendMessageW(list(), LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK) &
            LVIS_STATEIMAGEMASK) == INDEXTOSTATEIMAGEMASK(2);
  }
  // The user's click on a row's check box.
  void tick(int row, bool on) {
    LVITEMW state = {};
    state.stateMask = LVIS_STATEIMAGEMASK;
    state.state = INDEXTOSTATEIMAGEMASK(on ? 2 : 1);
    SendMessageW(list(), LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&state));
    pump();
  }
  void click(int id) {
    SendMessageW(item(id), BM_CLICK, 0, 0);
    pump();
  }
  void addFolder(std::u16string path) {
    shell.queueFolder(FolderChoice::kChosen, std::move(path));
    click(IDC_ADD_FOLDER);
  }
  HWND editor() { return FindWindowExW(list(), nullptr, L"COMBOBOX", nullptr); }
};

TEST_F(ScopePanelTest, EveryVolumeIsListedCheckedWithSubfolders) {
  EXPECT_TRUE(shown(list()));
  for (int id : {IDC_ADD_FOLDER, IDC_REMOVE_FOLDER, IDC_REMOVE_ALL_FOLDERS, IDC_CHECK_ALL_VOLUMES})
    EXPECT_TRUE(shown(id)) << id;
  ASSERT_EQ(scopeRows(), 2);
  EXPECT_EQ(scopeText(0, 0), "系统 (C:)");
  EXPECT_EQ(scopeText(1, 0), "资料 (D:)");
  for (int row : {0, 1}) {
    EXPECT_EQ(scopeText(row, 1), "是");
    EXPECT_TRUE(ticked(row));
  }
  search("scopeprobe");
  EXPECT_EQ(rows(), 4);
}

TEST_F(ScopePanelTest, AFolderAndItsVolumeAreNeverCheckedTogether) {
  addFolder(u"C:\\测试\\范围\\内");
  ASSERT_EQ(scopeRows(), 3);
  EXPECT_EQ(scopeText(2, 0), "C:\\测试\\范围\\内");
  EXPECT_EQ(scopeText(2, 1), "是");
  EXPECT_TRUE(ticked(2));
  EXPECT_FALSE(ticked(0));  // the volume C:
  EXPECT_TRUE(ticked(1));
  search("scopeprobe");
  EXPECT_THAT(names(), ElementsAre("scopeprobe1.txt", "scopeprobe3.txt", "scopeprobe4.txt"));

  // Checking the volume again unchecks its folder, and the whole volume is searched.
  tick(0, true);
  EXPECT_FALSE(ticked(2));
  EXPECT_EQ(rows(), 4);
  EXPECT_EQ(status(), "4 个结果!");

  // Unchecking every row leaves nothing to search.
  tick(0, false);
  tick(1, false);
  EXPECT_EQ(rows(), 0);
  click(IDC_CHECK_ALL_VOLUMES);
  EXPECT_TRUE(ticked(0));
  EXPECT_TRUE(ticked(1));
  EXPECT_EQ(rows(), 4);
}

TEST_F(ScopePanelTest, SecondColumnEditorSwitchesSubfoldersOff) {
  addFolder(u"C:\\测试\\范围\\内");
  search("scopeprobe");
  ASSERT_EQ(rows(), 3);

  notify(IDC_SCOPE_LIST, NM_CLICK, 2, 1);
  ASSERT_NE(editor(), nullptr);
  EXPECT_TRUE(shown(editor()));
  RECT cell = {LVIR_LABEL, 1, 0, 0};  // the label of subitem 1
  SendMessageW(list(), LVM_GETSUBITEMRECT, 2, reinterpret_cast<LPARAM>(&cell));
  RECT placed;
  GetWindowRect(editor(), &placed);
  MapWindowPoints(nullptr, list(), reinterpret_cast<POINT*>(&placed), 2);
  EXPECT_EQ(placed.left, cell.left);
  EXPECT_EQ(placed.top, cell.top);
  EXPECT_EQ(SendMessageW(editor(), CB_GETCURSEL, 0, 0), 0);  // "是"

  SendMessageW(editor(), CB_SETCURSEL, 1, 0);  // the user picks "否"
  notify(IDC_SCOPE_LIST, NM_CLICK, 2, 1);
  EXPECT_FALSE(shown(editor()));
  EXPECT_EQ(scopeText(2, 1), "否");
  EXPECT_THAT(names(), ElementsAre("scopeprobe1.txt", "scopeprobe3.txt"));

  notify(IDC_SCOPE_LIST, NM_CLICK, 2, 1);
  EXPECT_EQ(SendMessageW(editor(), CB_GETCURSEL, 0, 0), 1);  // opens on the cell's "否"
  SendMessageW(editor(), CB_SETCURSEL, 0, 0);
  notify(IDC_SCOPE_LIST, NM_CLICK, 0, 0);
  EXPECT_EQ(scopeText(2, 1), "是");
  EXPECT_EQ(rows(), 3);
}

TEST_F(ScopePanelTest, FoldersTheIndexCannotUseAreRefused) {
  addFolder(u"E:\\文件");
  addFolder(u"C:\\");
  shell.queueFolder(FolderChoice::kNoPath);
  click(IDC_ADD_FOLDER);
  click(IDC_ADD_FOLDER);  // cancelled
  EXPECT_EQ(scopeRows(), 2);
  const auto boxes = messages.boxes();
  ASSERT_EQ(boxes.size(), 2u);
  EXPECT_EQ(boxes[0].text, "对不住，所选的不是NTFS卷，无法指定！");
  EXPECT_EQ(boxes[1].text, "BROWSEINFO参数设置错误!");
}

TEST_F(ScopePanelTest, RemovingFoldersKeepsTheVolumes) {
  addFolder(u"C:\\测试\\范围\\内");
  addFolder(u"C:\\测试\\范围\\外");
  ASSERT_EQ(scopeRows(), 4);
  ListView_SetItemState(list(), 0, LVIS_SELECTED, LVIS_SELECTED);
  ListView_SetItemState(list(), 3, LVIS_SELECTED, LVIS_SELECTED);
  click(IDC_REMOVE_FOLDER);
  ASSERT_EQ(scopeRows(), 3);
  EXPECT_EQ(scopeText(2, 0), "C:\\测试\\范围\\内");
  click(IDC_REMOVE_ALL_FOLDERS);
  EXPECT_EQ(scopeRows(), 2);
  EXPECT_EQ(scopeText(0, 0), "系统 (C:)");
}

TEST_F(ScopePanelTest, PopUpMenuRunsTheChosenCommand) {
  tick(0, false);
  tick(1, false);
  ASSERT_FALSE(ticked(0));
  // The user opens the menu and picks its last item, "勾选全盘", with the keyboard; should the
  // keys not reach the menu, a timer closes it so that the test fails instead of waiting.
  PostMessageW(list(), WM_KEYDOWN, VK_UP, 0);
  PostMessageW(list(), WM_KEYDOWN, VK_RETURN, 0);
  const UINT_PTR timer = SetTimer(nullptr, 0, 3000, [](HWND, UINT, UINT_PTR, DWORD) { EndMenu(); });
  notify(IDC_SCOPE_LIST, NM_RCLICK, -1, 0);
  KillTimer(nullptr, timer);
  EXPECT_TRUE(ticked(0));
  EXPECT_TRUE(ticked(1));
}

}  // namespace
}  // namespace vessiko::testing
