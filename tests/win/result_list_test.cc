// The result list as a user reads it: what typing finds, in which order, and how each column
// shows an entry's name, folder, size, times, attributes and icon.
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include "platform/utf.h"
#include "tests/win/main_window_fixture.h"
#include "ui/resource_ids.h"
#include "ui/system_icons.h"

namespace vessiko::testing {
namespace {

using Names = std::vector<std::string>;

TEST_F(MainWindowTest, TypingInEitherEditSearchesAtOnce) {
  type(IDC_NAME_EDIT, "qzx");
  EXPECT_EQ(status(), "2 个结果!");
  EXPECT_EQ(names(), (Names{"qzx.txt", "qzxnoext"}));

  type(IDC_EXTENSION_EDIT, "txt");
  EXPECT_EQ(status(), "1 个结果!");
  EXPECT_EQ(names(), (Names{"qzx.txt"}));

  setText(IDC_EXTENSION_EDIT, "");
  EXPECT_EQ(rows(), 2);
  setText(IDC_NAME_EDIT, "");
  EXPECT_EQ(status(), "0 个结果!");
  EXPECT_EQ(rows(), 0);
}

TEST_F(MainWindowTest, FoldersComeBeforeFilesEachInNameOrder) {
  search("attrprobe");
  EXPECT_EQ(names(), (Names{"attrprobe_dir", "attrprobe_h.txt", "attrprobe_hs.txt",
                            "attrprobe_n.txt", "attrprobe_s.txt"}));
  // A click on a column header sorts nothing.
  notify(IDC_RESULT_LIST, LVN_COLUMNCLICK, -1, 0);
  EXPECT_EQ(cell(0, 0), "attrprobe_dir");
}

TEST_F(MainWindowTest, NameExtensionAndFolderColumns) {
  search("qzx");
  EXPECT_EQ(cell(0, 0), "qzx");
  EXPECT_EQ(cell(0, 1), "txt");
  EXPECT_EQ(cell(0, 2), "C:\\测试\\");
  EXPECT_EQ(cell(1, 0), "qzxnoext");
  EXPECT_EQ(cell(1, 1), "");
  EXPECT_EQ(image(1), PlainFileIconIndex());
  EXPECT_NE(image(1), FolderIconIndex());

  search("测试");
  EXPECT_EQ(cell(0, 0), "测试");
  EXPECT_EQ(cell(0, 2), "C:\\");
  EXPECT_EQ(image(0), FolderIconIndex());
}

TEST_F(MainWindowTest, TypingInTheListFindsNoRow) {
  search("qzx");
  LVFINDINFOW find = {};
  find.flags = LVFI_STRING | LVFI_PARTIAL;
  find.psz = L"qzxnoext";
  EXPECT_EQ(SendMessageW(item(IDC_RESULT_LIST), LVM_FINDITEMW, static_cast<WPARAM>(-1),
                         reinterpret_cast<LPARAM>(&find)),
            -1);
}

TEST_F(MainWindowTest, VolumeRootRow) {
  search("C:");
  ASSERT_EQ(rows(), 1);
  EXPECT_EQ(cell(0, 0), "C:");
  EXPECT_EQ(cell(0, 2), "");
  EXPECT_EQ(cell(0, 3), "");
  EXPECT_EQ(cell(0, 7), "[隐藏,系统]文件夹");  // as NTFS marks every root
  EXPECT_EQ(image(0), DriveIconIndex());
}

TEST_F(MainWindowTest, SizeColumnSteps) {
  search("sizeprobe");
  EXPECT_EQ(cell(0, 3), "1023 B");
  EXPECT_EQ(cell(1, 3), "1.00 KB");
  EXPECT_EQ(cell(2, 3), "1.00 MB");
  EXPECT_EQ(cell(3, 3), "1.00 GB");

  search("attrprobe_dir");
  EXPECT_EQ(cell(0, 3), "");  // a folder has no size
}

TEST_F(MainWindowTest, TimeColumnsInLocalTime) {
  search("timeprobe");
  ASSERT_EQ(rows(), 1);
  EXPECT_EQ(cell(0, 4), "2023年3月5日 16时7分");  // created
  EXPECT_EQ(cell(0, 5), "2023年4月6日 17时8分");  // the record changed
  EXPECT_EQ(cell(0, 6), "2023年5月8日 7时9分");   // last access, past local midnight
}

TEST_F(MainWindowTest, AttributeColumn) {
  search("attrprobe");
  EXPECT_EQ(cell(0, 7), "[隐藏]文件夹");
  EXPECT_EQ(cell(1, 7), "[隐藏]文件");
  EXPECT_EQ(cell(2, 7), "[隐藏,系统]文件");
  EXPECT_EQ(cell(3, 7), "[普通]文件");
  EXPECT_EQ(cell(4, 7), "[系统]文件");
}

TEST_F(MainWindowTest, CellsAreReadInAnyOrder) {
  search("sizeprobe");
  // Later columns of a row before its name, and rows out of order.
  EXPECT_EQ(cell(3, 3), "1.00 GB");
  EXPECT_EQ(cell(0, 3), "1023 B");
  EXPECT_EQ(cell(2, 0), "sizeprobe_c");
  EXPECT_EQ(cell(1, 3), "1.00 KB");
  // A row past the results (a count that lags behind a search) is empty.
  EXPECT_EQ(cell(9, 0), "");
}

TEST_F(MainWindowTest, LongPathsAreCutToTheCellBuffer) {
  search("deepprobe");
  ASSERT_EQ(rows(), 1);
  const std::string path = cell(0, 2);
  EXPECT_EQ(Utf8ToUtf16(path).size(), 6u + 5u * 61u);  // "C:\测试\" and five levels
  EXPECT_GT(Utf8ToUtf16(path).size(), 259u);

  // Through a 40-unit buffer: the path's first 39 units, and nothing written past the buffer.
  wchar_t buffer[64];
  std::fill(std::begin(buffer), std::end(buffer), L'#');
  LVITEMW request = {};
  request.iSubItem = 2;
  request.pszText = buffer;
  request.cchTextMax = 40;
  SendMessageW(item(IDC_RESULT_LIST), LVM_GETITEMTEXTW, 0, reinterpret_cast<LPARAM>(&request));
  EXPECT_EQ(Utf8ToUtf16(utf8(request.pszText)), Utf8ToUtf16(path).substr(0, 39));
  for (size_t i = 40; i < std::size(buffer); ++i)
    EXPECT_EQ(buffer[i], L'#') << i;
}

}  // namespace
}  // namespace vessiko::testing
