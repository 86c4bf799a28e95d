// What the dialog's initialisation leaves: the status bar's first text, the result list's and
// the scope list's styles and columns, and the two query edits' limits.
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include "platform/win32/wide_path.h"
#include "tests/win/main_window_fixture.h"
#include "ui/resource_ids.h"

namespace vessiko::testing {
namespace {

struct Column {
  std::string header;
  int width;
  int format;
};

std::vector<Column> Columns(HWND list) {
  std::vector<Column> out;
  for (int i = 0;; ++i) {
    wchar_t text[64] = {};
    LVCOLUMNW column = {};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
    column.pszText = text;
    column.cchTextMax = 64;
    if (!SendMessageW(list, LVM_GETCOLUMNW, i, reinterpret_cast<LPARAM>(&column))) return out;
    out.push_back({Narrow(text), column.cx, column.fmt & LVCFMT_JUSTIFYMASK});
  }
}

void ExpectColumns(HWND list, const std::vector<Column>& expected) {
  const std::vector<Column> columns = Columns(list);
  ASSERT_EQ(columns.size(), expected.size());
  for (size_t i = 0; i < columns.size(); ++i) {
    EXPECT_EQ(columns[i].header, expected[i].header);
    EXPECT_EQ(columns[i].width, expected[i].width) << expected[i].header;
    EXPECT_EQ(columns[i].format, expected[i].format) << expected[i].header;
  }
}

TEST_F(MainWindowTest, StatusBarStartsReady) {
  EXPECT_EQ(firstStatus, "准备");
  EXPECT_EQ(GetDlgCtrlID(item(IDC_STATUS_BAR)), IDC_STATUS_BAR);
  EXPECT_EQ(SendMessageW(item(IDC_STATUS_BAR), SB_GETPARTS, 0, 0), 1);
}

TEST_F(MainWindowTest, ResultListColumnsAndStyles) {
  HWND list = item(IDC_RESULT_LIST);
  ExpectColumns(list, {{"文件名", 200, LVCFMT_LEFT},
                       {"扩展名", 60, LVCFMT_LEFT},
                       {"所在目录", 500, LVCFMT_LEFT},
                       {"文件大小", 80, LVCFMT_RIGHT},
                       {"创建时间", 150, LVCFMT_CENTER},
                       {"最近修改时间", 150, LVCFMT_CENTER},
                       {"最近访问时间", 150, LVCFMT_CENTER},
                       {"属性", 150, LVCFMT_LEFT}});
  const LONG_PTR style = GetWindowLongPtrW(list, GWL_STYLE);
  for (LONG_PTR bit :
       {LONG_PTR{WS_CLIPSIBLINGS}, LONG_PTR{WS_CLIPCHILDREN}, LONG_PTR{LVS_SHOWSELALWAYS},
        LONG_PTR{LVS_SHAREIMAGELISTS}, LONG_PTR{LVS_OWNERDATA}, LONG_PTR{LVS_REPORT}}) {
    EXPECT_EQ(style & bit, bit) << bit;
  }
  EXPECT_EQ(SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & 0xC20, 0xC20);
  EXPECT_NE(SendMessageW(list, LVM_GETIMAGELIST, LVSIL_SMALL, 0), 0);
}

TEST_F(MainWindowTest, ScopeListColumnsAndStyles) {
  HWND list = item(IDC_SCOPE_LIST);
  ExpectColumns(list, {{"所在目录", 300, LVCFMT_LEFT}, {"搜子目录吗？", 100, LVCFMT_LEFT}});
  EXPECT_EQ(GetWindowLongPtrW(list, GWL_STYLE) & 0x6000048, 0x6000048);
  EXPECT_EQ(SendMessageW(list, LVM_GETEXTENDEDLISTVIEWSTYLE, 0, 0) & 0xC25, 0xC25);
}

TEST_F(MainWindowTest, QueryEditLimits) {
  EXPECT_EQ(SendMessageW(item(IDC_NAME_EDIT), EM_GETLIMITTEXT, 0, 0), 1024);
  EXPECT_EQ(SendMessageW(item(IDC_EXTENSION_EDIT), EM_GETLIMITTEXT, 0, 0), 512);
}

}  // namespace
}  // namespace vessiko::testing
