// The program's resources as the executable carries them: the dialog template with its 27
// controls (ids, classes, captions, positions, styles and tab order), the two menus, the icon,
// the rank table and the manifest.
#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "gtest/gtest.h"
#include "platform/win32/wide_path.h"
#include "ui/resource_ids.h"

namespace vessiko::testing {
namespace {

// Reads the words of an extended dialog template (DLGTEMPLATEEX and its DLGITEMTEMPLATEEX).
class TemplateReader {
 public:
  explicit TemplateReader(const uint8_t* bytes) : start_(bytes), p_(bytes) {}
  uint16_t word() {
    uint16_t v;
    std::memcpy(&v, p_, 2);
    p_ += 2;
    return v;
  }
  uint32_t dword() {
    uint32_t v;
    std::memcpy(&v, p_, 4);
    p_ += 4;
    return v;
  }
  int16_t coordinate() { return static_cast<int16_t>(word()); }
  // A string, or "#n" for an ordinal, or "" for none.
  std::string nameOrOrdinal() {
    const uint16_t first = word();
    if (first == 0) return "";
    if (first == 0xFFFF) return "#" + std::to_string(word());
    std::wstring text(1, static_cast<wchar_t>(first));
    for (uint16_t unit = word(); unit != 0; unit = word())
      text += static_cast<wchar_t>(unit);
    return Narrow(text);
  }
  void alignToDword() {
    while ((p_ - start_) % 4 != 0)
      ++p_;
  }
  void skip(size_t n) { p_ += n; }

 private:
  const uint8_t* start_;
  const uint8_t* p_;
};

struct Control {
  int id;
  std::string className;
  std::string caption;
  int x, y, width, height;
  DWORD style;  // without WS_CHILD, WS_VISIBLE and WS_TABSTOP
  bool visible;
  bool tabStop;
  DWORD exStyle = 0;
};

std::string Upper(std::string text) {
  for (char& c : text)
    if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
  return text;
}

// The bytes of a resource of this module; empty when there is none.
std::string_view Resource(const wchar_t* type, const wchar_t* name, WORD language = 0) {
  HMODULE module = GetModuleHandleW(nullptr);
  HRSRC found = language != 0 ? FindResourceExW(module, type, name, language)
                              : FindResourceW(module, name, type);
  if (found == nullptr) return {};
  return std::string_view(static_cast<const char*>(LockResource(LoadResource(module, found))),
                          SizeofResource(module, found));
}

TEST(ResourcesTest, MainDialogTemplate) {
  const std::string_view bytes =
      Resource(MAKEINTRESOURCEW(5) /* RT_DIALOG */, MAKEINTRESOURCEW(IDD_MAIN));
  ASSERT_FALSE(bytes.empty());
  TemplateReader r(reinterpret_cast<const uint8_t*>(bytes.data()));
  EXPECT_EQ(r.word(), 1);       // dlgVer
  EXPECT_EQ(r.word(), 0xFFFF);  // an extended template
  r.dword();                    // help id
  r.dword();                    // extended style
  EXPECT_EQ(r.dword(), 0x86CF0048u);
  const uint16_t count = r.word();
  EXPECT_EQ(count, 27);
  r.coordinate();
  r.coordinate();
  EXPECT_EQ(r.coordinate(), 484);
  EXPECT_EQ(r.coordinate(), 195);
  EXPECT_EQ(r.nameOrOrdinal(), "#103");
  EXPECT_EQ(r.nameOrOrdinal(), "");
  EXPECT_EQ(r.nameOrOrdinal(), "Vessiko");
  EXPECT_EQ(r.word(), 8);  // points
  r.word();                // weight
  r.skip(2);               // italic, character set
  EXPECT_EQ(r.nameOrOrdinal(), "MS Shell Dlg");

  constexpr DWORD kPush = BS_PUSHBUTTON;
  constexpr DWORD kCheck = BS_AUTOCHECKBOX;
  constexpr DWORD kCombo = CBS_DROPDOWNLIST | WS_VSCROLL;
  constexpr DWORD kEdit = WS_BORDER | ES_AUTOHSCROLL;
  const std::vector<Control> expected = {
      {1001, "EDIT", "", 0, 129, 410, 12, kEdit, true, true},
      {1006, "EDIT", "", 422, 130, 62, 12, kEdit, true, true},
      {1008, "STATIC", ".", 412, 131, 11, 10, SS_CENTER | WS_GROUP, true, false},
      {1002, "SYSLISTVIEW32", "", 0, 99, 283, 96,
       WS_BORDER | LVS_REPORT | LVS_ALIGNLEFT | LVS_OWNERDATA, true, false},
      {1018, "BUTTON", "添加指定目录", 12, 12, 56, 12, kPush, false, true},
      {1019, "BUTTON", "删除指定目录", 12, 33, 56, 12, kPush, false, true},
      {1020, "SYSLISTVIEW32", "", 83, 12, 394, 95, LVS_REPORT | LVS_ALIGNLEFT | WS_BORDER, false,
       true},
      {1024, "BUTTON", "隐藏", 239, 75, 28, 10, kCheck, false, true},
      {1025, "BUTTON", "系统", 278, 75, 28, 10, kCheck, false, true},
      {1027, "BUTTON", "过  滤  【设置后按此按钮进行结果过滤】", 105, 2, 319, 17,
       kPush | BS_MULTILINE, false, true},
      {1029, "BUTTON", "指定文件大小：", 105, 22, 72, 10, kCheck, false, true},
      {1030, "COMBOBOX", "", 179, 20, 57, 30, kCombo, false, true},
      {1031, "EDIT", "", 239, 21, 56, 13, kEdit, false, true, WS_EX_RIGHT},
      {1032, "BUTTON", "指定文件(夹)日期：", 105, 39, 85, 10, kCheck, false, true},
      {1033, "COMBOBOX", "", 193, 37, 106, 30, kCombo, false, true},
      {1034, "SYSDATETIMEPICK32", "", 263, 53, 58, 15, DTS_RIGHTALIGN, false, true},
      {1035, "BUTTON", "在此前：", 220, 57, 42, 10, BS_AUTORADIOBUTTON | WS_GROUP, false, false},
      {1036, "BUTTON", "在此后：", 115, 57, 41, 10, BS_AUTORADIOBUTTON, false, false},
      {1037, "BUTTON", "在之间：", 325, 56, 40, 10, BS_AUTORADIOBUTTON, false, false},
      {1038, "SYSDATETIMEPICK32", "", 157, 54, 58, 15, DTS_RIGHTALIGN, false, true},
      {1039, "SYSDATETIMEPICK32", "", 367, 45, 58, 15, DTS_RIGHTALIGN, false, true},
      {1040, "SYSDATETIMEPICK32", "", 367, 63, 58, 15, DTS_RIGHTALIGN, false, true},
      {1041, "COMBOBOX", "", 297, 20, 56, 30, kCombo, false, true},
      {1028, "BUTTON", "普通", 197, 75, 28, 10, kCheck, false, true},
      {1043, "BUTTON", "删除所有目录", 12, 54, 56, 12, kPush, false, true},
      {1044, "BUTTON", "勾选全盘", 12, 74, 56, 12, kPush, false, true},
      {1045, "BUTTON", "指定文件(夹)属性：", 105, 75, 85, 10, kCheck, false, true},
  };
  ASSERT_EQ(count, expected.size());
  for (const Control& c : expected) {
    SCOPED_TRACE(c.id);
    r.alignToDword();
    r.dword();  // help id
    EXPECT_EQ(r.dword(), c.exStyle);
    const DWORD style = r.dword();
    EXPECT_EQ(style,
              WS_CHILD | c.style | (c.visible ? WS_VISIBLE : 0) | (c.tabStop ? WS_TABSTOP : 0));
    EXPECT_EQ(r.coordinate(), c.x);
    EXPECT_EQ(r.coordinate(), c.y);
    EXPECT_EQ(r.coordinate(), c.width);
    EXPECT_EQ(r.coordinate(), c.height);
    EXPECT_EQ(r.dword(), static_cast<DWORD>(c.id));
    EXPECT_EQ(Upper(r.nameOrOrdinal()), c.className);
    EXPECT_EQ(r.nameOrOrdinal(), c.caption);
    r.skip(r.word());  // creation data
  }
}

struct Item {
  UINT id;  // 0 for a pop-up or a separator
  std::string caption;
  bool checked = false;
};

std::vector<Item> Items(HMENU menu) {
  std::vector<Item> out;
  for (int i = 0; i < GetMenuItemCount(menu); ++i) {
    wchar_t text[64] = {};
    MENUITEMINFOW info = {};
    info.cbSize = sizeof info;
    info.fMask = MIIM_ID | MIIM_STRING | MIIM_STATE | MIIM_SUBMENU | MIIM_FTYPE;
    info.dwTypeData = text;
    info.cch = 64;
    GetMenuItemInfoW(menu, static_cast<UINT>(i), TRUE, &info);
    const bool command = info.hSubMenu == nullptr && (info.fType & MFT_SEPARATOR) == 0;
    out.push_back({command ? info.wID : 0, Narrow(text), (info.fState & MFS_CHECKED) != 0});
  }
  return out;
}

void ExpectItems(HMENU menu, const std::vector<Item>& expected) {
  const std::vector<Item> items = Items(menu);
  ASSERT_EQ(items.size(), expected.size());
  for (size_t i = 0; i < items.size(); ++i) {
    SCOPED_TRACE(expected[i].caption);
    EXPECT_EQ(items[i].id, expected[i].id);
    EXPECT_EQ(items[i].caption, expected[i].caption);
    EXPECT_EQ(items[i].checked, expected[i].checked);
  }
}

TEST(ResourcesTest, MenuBar) {
  HMENU bar = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_MAIN_MENU));
  ASSERT_NE(bar, nullptr);
  ExpectItems(bar, {{0, "文件(&F)"},
                    {0, "搜索(&S)"},
                    {IDM_SCOPE_PANEL, "展开目录设置(&M)"},
                    {IDM_FILTER_PANEL, "过滤选项(&G)"},
                    {0, "帮助(&H)"}});
  ExpectItems(GetSubMenu(bar, 0), {{IDM_NEW_WINDOW, "新窗口(&N)"},
                                   {0, ""},
                                   {IDM_EXPORT, "导出结果(&E)"},
                                   {0, ""},
                                   {IDM_EXIT, "退出(&X)"}});
  ExpectItems(GetSubMenu(bar, 1), {{IDM_CASE_SENSITIVE, "字母区分大小写(&C)"},
                                   {IDM_SEARCH_FOLDERS, "搜索文件夹(&D)", true},
                                   {IDM_SEARCH_FILES, "搜索文件(&F)", true}});
  ExpectItems(GetSubMenu(bar, 4), {{IDM_HELP, "使用说明(&S)"}, {IDM_ABOUT, "关于(&A)"}});
  DestroyMenu(bar);
}

TEST(ResourcesTest, ScopeListMenu) {
  HMENU menu = LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_SCOPE_MENU));
  ASSERT_NE(menu, nullptr);
  ExpectItems(menu, {{0, "目录过滤选项"}});
  ExpectItems(GetSubMenu(menu, 0), {{40003, "添加指定目录"},
                                    {40004, "删除指定目录"},
                                    {40032, "删除所有目录"},
                                    {40034, "勾选全盘"}});
  DestroyMenu(menu);
}

TEST(ResourcesTest, IconRankTableAndManifest) {
  for (int size : {16, 32}) {
    HICON icon = static_cast<HICON>(LoadImageW(
        GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDI_VESSIKO), IMAGE_ICON, size, size, 0));
    ASSERT_NE(icon, nullptr) << size;
    ICONINFO info = {};
    ASSERT_TRUE(GetIconInfo(icon, &info));
    BITMAP bitmap = {};
    GetObjectW(info.hbmColor, sizeof bitmap, &bitmap);
    EXPECT_EQ(bitmap.bmWidth, size);
    DeleteObject(info.hbmColor);
    DeleteObject(info.hbmMask);
    DestroyIcon(icon);
  }
  EXPECT_FALSE(Resource(L"ZISORT", MAKEINTRESOURCEW(107),
                        MAKELANGID(LANG_CHINESE, SUBLANG_CHINESE_SIMPLIFIED))
                   .empty());
  const std::string_view text =
      Resource(MAKEINTRESOURCEW(24) /* RT_MANIFEST */, MAKEINTRESOURCEW(1));
  EXPECT_NE(text.find("Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\""),
            std::string::npos);
  EXPECT_NE(text.find("PerMonitorV2"), std::string::npos);
  EXPECT_NE(text.find("level=\"requireAdministrator\""), std::string::npos);
  EXPECT_NE(text.find("{8e0f7a12-bfb3-4fe8-b9a5-48fd50a15a9a}"), std::string::npos);  // 10, 11
}

}  // namespace
}  // namespace vessiko::testing
