#include "ui/scope_list_control.h"

#include <commctrl.h>

#include <utility>

#include "platform/win32/wide_path.h"
#include "ui/dpi.h"
#include "ui/list_columns.h"
#include "ui/resource_ids.h"
#include "ui/scoped_win.h"

namespace vessiko {

namespace {

// State image 2 is a ticked box, 1 an empty one.
constexpr UINT kChecked = 2 << 12;
constexpr UINT kUnchecked = 1 << 12;
constexpr int kButtons[] = {IDC_REMOVE_ALL_FOLDERS, IDC_CHECK_ALL_VOLUMES, IDC_ADD_FOLDER,
                            IDC_REMOVE_FOLDER};

}  // namespace

template <class Change>
void ScopeListControl::change(Change&& apply) {
  tasks_.run([this, apply = std::forward<Change>(apply)]() mutable {
    ++applying_;
    apply();
    --applying_;
  });
}

void ScopeListControl::attach(HWND dialog, HWND list, HIMAGELIST images, int volumeImage,
                              int folderImage) {
  dialog_ = dialog;
  list_ = list;
  volumeImage_ = volumeImage;
  folderImage_ = folderImage;
  const LONG_PTR style = GetWindowLongPtrW(list, GWL_STYLE);
  SetWindowLongPtrW(
      list, GWL_STYLE,
      style | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | LVS_SHOWSELALWAYS | LVS_SHAREIMAGELISTS);
  constexpr LPARAM kExtended = LVS_EX_GRIDLINES | LVS_EX_CHECKBOXES | LVS_EX_FULLROWSELECT |
                               LVS_EX_INFOTIP | LVS_EX_UNDERLINEHOT;
  SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, kExtended, kExtended);
  SendMessageW(list, LVM_SETIMAGELIST, LVSIL_SMALL, reinterpret_cast<LPARAM>(images));

  constexpr ListColumn kColumns[] = {{"所在目录", 300, LVCFMT_LEFT},
                                     {"搜子目录吗？", 100, LVCFMT_LEFT}};
  InsertListColumns(list, kColumns);

  editor_ = CreateWindowExW(
      0, L"COMBOBOX", nullptr,
      WS_CHILD | WS_VISIBLE | WS_VSCROLL | WS_HSCROLL | WS_TABSTOP | CBS_DROPDOWNLIST, 0, 0, 1, 1,
      list, nullptr, GetModuleHandleW(nullptr), nullptr);
  listFontChanged();
  ShowWindow(editor_, SW_HIDE);
  for (const char* item : {"是", "否"})
    SendMessageW(editor_, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(item).c_str()));
  // Created one pixel high: without this its drop-down would show no item.
  SendMessageW(editor_, CB_SETMINVISIBLE, 2, 0);
}

void ScopeListControl::listFontChanged() {
  SendMessageW(editor_, WM_SETFONT, SendMessageW(list_, WM_GETFONT, 0, 0), FALSE);
}

void ScopeListControl::insertItem(int position, std::u16string_view text, bool volumeImage) {
  change([this, position, text = ToWide(text), volumeImage]() mutable {
    LVITEMW item = {};
    item.mask = LVIF_TEXT | LVIF_IMAGE;
    item.iItem = position;
    item.pszText = text.data();
    item.iImage = volumeImage ? volumeImage_ : folderImage_;
    SendMessageW(list_, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
  });
}

void ScopeListControl::deleteItem(int row) {
  change([this, row] { SendMessageW(list_, LVM_DELETEITEM, row, 0); });
}

void ScopeListControl::setSecondColumnText(int row, std::u16string_view text) {
  change([this, row, text = ToWide(text)]() mutable {
    LVITEMW item = {};
    item.iSubItem = 1;
    item.pszText = text.data();
    SendMessageW(list_, LVM_SETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
  });
}

std::u16string ScopeListControl::secondColumnText(int row) {
  wchar_t buffer[16] = {};
  LVITEMW item = {};
  item.iSubItem = 1;
  item.pszText = buffer;
  item.cchTextMax = static_cast<int>(std::size(buffer));
  const auto length = SendMessageW(list_, LVM_GETITEMTEXTW, row, reinterpret_cast<LPARAM>(&item));
  return FromWide({buffer, static_cast<size_t>(length)});
}

void ScopeListControl::setCheckBox(int row, bool on) {
  change([this, row, on] {
    LVITEMW item = {};
    item.stateMask = LVIS_STATEIMAGEMASK;
    item.state = on ? kChecked : kUnchecked;
    SendMessageW(list_, LVM_SETITEMSTATE, row, reinterpret_cast<LPARAM>(&item));
  });
}

bool ScopeListControl::checkBox(int row) {
  const auto state = SendMessageW(list_, LVM_GETITEMSTATE, row, LVIS_STATEIMAGEMASK);
  return (static_cast<UINT>(state) & LVIS_STATEIMAGEMASK) == kChecked;
}

int ScopeListControl::nextSelected(int after) {
  return static_cast<int>(SendMessageW(list_, LVM_GETNEXTITEM, after, LVNI_SELECTED));
}

bool ScopeListControl::secondColumnRect(int row, CellRect* cell) {
  RECT rect = {};
  rect.top = 1;  // the subitem
  rect.left = LVIR_LABEL;
  if (!SendMessageW(list_, LVM_GETSUBITEMRECT, row, reinterpret_cast<LPARAM>(&rect))) return false;
  *cell = {rect.left, rect.top, rect.right, rect.bottom};
  return true;
}

int ScopeListControl::width() {
  RECT rect;
  GetWindowRect(list_, &rect);
  return rect.right - rect.left;
}

void ScopeListControl::showEditor(int left, int top, int width, int height, int selection) {
  SetWindowPos(editor_, nullptr, left, top, width, height, SWP_NOZORDER);
  SendMessageW(editor_, CB_SETCURSEL, selection, 0);
  ShowWindow(editor_, SW_SHOW);
}

int ScopeListControl::editorSelection() {
  return static_cast<int>(SendMessageW(editor_, CB_GETCURSEL, 0, 0));
}

void ScopeListControl::hideEditor() {
  ShowWindow(editor_, SW_HIDE);
}

int ScopeListControl::trackMenu() {
  const ScopedMenu menu(LoadMenuW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(IDR_SCOPE_MENU)));
  if (menu.get() == nullptr) return 0;
  POINT at;
  GetCursorPos(&at);
  return TrackPopupMenu(GetSubMenu(menu.get(), 0), TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0,
                        list_, nullptr);
}

void ScopeListControl::showButtons(int command) {
  for (int id : kButtons)
    ShowWindow(GetDlgItem(dialog_, id), command);
}

int ScopeListControl::layout(int clientWidth, UINT dpi, WindowMoves& moves) {
  const RECT rect = RectInClient(dialog_, list_);
  const int top = Scaled(3, dpi);
  const int height = rect.bottom - rect.top;
  moves.move(list_, rect.left, top, clientWidth - Scaled(25, dpi) - rect.left, height,
             SWP_SHOWWINDOW);
  showButtons(SW_SHOW);
  return top + height;
}

void ScopeListControl::hide() {
  showButtons(SW_HIDE);
  ShowWindow(list_, SW_HIDE);
}

}  // namespace vessiko
