// The filter panel: its defaults, keeping what the user entered while hidden, and a filter run
// through the panel's controls.
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include "tests/win/main_window_fixture.h"
#include "ui/filter_panel_controls.h"
#include "ui/resource_ids.h"

namespace vessiko::testing {
namespace {

class FilterPanelTest : public MainWindowTest {
 protected:
  std::string selectedText(int combo) {
    const auto index = SendMessageW(item(combo), CB_GETCURSEL, 0, 0);
    wchar_t text[64] = {};
    SendMessageW(item(combo), CB_GETLBTEXT, index, reinterpret_cast<LPARAM>(text));
    return utf8(text);
  }
  std::vector<std::string> items(int combo) {
    std::vector<std::string> out;
    const auto count = SendMessageW(item(combo), CB_GETCOUNT, 0, 0);
    for (LRESULT i = 0; i < count; ++i) {
      wchar_t text[64] = {};
      SendMessageW(item(combo), CB_GETLBTEXT, i, reinterpret_cast<LPARAM>(text));
      out.push_back(utf8(text));
    }
    return out;
  }
  std::string text(int id) {
    wchar_t buffer[64] = {};
    GetWindowTextW(item(id), buffer, 64);
    return utf8(buffer);
  }
  bool checked(int id) { return SendMessageW(item(id), BM_GETCHECK, 0, 0) == BST_CHECKED; }
  void click(int id) {
    SendMessageW(item(id), BM_CLICK, 0, 0);
    pump();
  }
};

TEST_F(FilterPanelTest, DefaultsAfterStart) {
  command(IDM_FILTER_PANEL);
  EXPECT_EQ(items(IDC_SIZE_OPERATOR),
            (std::vector<std::string>{"等于", "大于", "小于", "大于等于", "小于等于"}));
  EXPECT_EQ(items(IDC_SIZE_UNIT), (std::vector<std::string>{"B", "KB", "MB", "GB"}));
  EXPECT_EQ(items(IDC_DATE_KIND),
            (std::vector<std::string>{"按创建时间", "按最近修改时间", "按最近访问时间"}));
  EXPECT_EQ(selectedText(IDC_SIZE_OPERATOR), "等于");
  EXPECT_EQ(selectedText(IDC_SIZE_UNIT), "KB");
  EXPECT_EQ(selectedText(IDC_DATE_KIND), "按创建时间");
  EXPECT_EQ(text(IDC_SIZE_VALUE), "0");
  EXPECT_EQ(SendMessageW(item(IDC_SIZE_VALUE), EM_GETLIMITTEXT, 0, 0), 32);
  EXPECT_TRUE(checked(IDC_AFTER_RADIO));
  EXPECT_FALSE(checked(IDC_BEFORE_RADIO));
  EXPECT_FALSE(checked(IDC_BETWEEN_RADIO));
  for (int box :
       {IDC_SIZE_CHECK, IDC_DATE_CHECK, IDC_ATTRIBUTE_CHECK, IDC_NORMAL, IDC_HIDDEN, IDC_SYSTEM}) {
    EXPECT_FALSE(checked(box)) << box;
  }
  for (int id : FilterPanelControls::kControlIds)
    EXPECT_TRUE(shown(id)) << id;
}

TEST_F(FilterPanelTest, HidingKeepsWhatTheUserEntered) {
  command(IDM_FILTER_PANEL);
  setText(IDC_SIZE_VALUE, "123");
  SendMessageW(item(IDC_SIZE_UNIT), CB_SETCURSEL, 2, 0);
  click(IDC_BETWEEN_RADIO);
  click(IDC_HIDDEN);
  command(IDM_FILTER_PANEL);
  for (int id : FilterPanelControls::kControlIds)
    EXPECT_FALSE(shown(id)) << id;
  command(IDM_FILTER_PANEL);
  EXPECT_EQ(text(IDC_SIZE_VALUE), "123");
  EXPECT_EQ(selectedText(IDC_SIZE_UNIT), "MB");
  EXPECT_TRUE(checked(IDC_BETWEEN_RADIO));
  EXPECT_FALSE(checked(IDC_AFTER_RADIO));
  EXPECT_TRUE(checked(IDC_HIDDEN));
}

TEST_F(FilterPanelTest, SizeFilterNarrowsTheResultsUntilTheNextEdit) {
  search("sizeprobe");
  ASSERT_EQ(rows(), 4);
  command(IDM_FILTER_PANEL);
  click(IDC_SIZE_CHECK);
  SendMessageW(item(IDC_SIZE_OPERATOR), CB_SETCURSEL, 1, 0);  // "大于"
  setText(IDC_SIZE_VALUE, "1");                               // 1 KB
  click(IDC_FILTER_BUTTON);
  EXPECT_EQ(status(), "2 个结果!");
  EXPECT_EQ(names(), (std::vector<std::string>{"sizeprobe_c.bin", "sizeprobe_d.bin"}));

  // The filtered lists are a snapshot: options change nothing, typing searches afresh.
  command(IDM_CASE_SENSITIVE);
  EXPECT_EQ(rows(), 2);
  type(IDC_NAME_EDIT, "_");
  EXPECT_EQ(rows(), 4);
}

TEST_F(FilterPanelTest, AttributeFilter) {
  search("attrprobe");
  command(IDM_FILTER_PANEL);
  click(IDC_ATTRIBUTE_CHECK);
  click(IDC_HIDDEN);
  click(IDC_FILTER_BUTTON);
  EXPECT_EQ(names(),
            (std::vector<std::string>{"attrprobe_dir", "attrprobe_h.txt", "attrprobe_hs.txt"}));
}

TEST_F(FilterPanelTest, SizeFilterWithoutFileResultsOnlyTells) {
  search("System32");
  ASSERT_EQ(rows(), 1);
  command(IDM_FILTER_PANEL);
  click(IDC_SIZE_CHECK);
  click(IDC_FILTER_BUTTON);
  ASSERT_EQ(messages.boxes().size(), 1u);
  EXPECT_EQ(messages.boxes()[0].caption, "提示");
  EXPECT_EQ(messages.boxes()[0].text, "当前结果中没有文件(非文件夹)数为0");
  EXPECT_EQ(rows(), 1);
}

}  // namespace
}  // namespace vessiko::testing
