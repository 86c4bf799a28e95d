#include "ui/filter_panel_controls.h"

#include <commctrl.h>

#include <algorithm>
#include <initializer_list>
#include <string>

#include "platform/win32/wide_path.h"
#include "ui/resource_ids.h"
#include "ui/window_geometry.h"

namespace vessiko {

namespace {

void Fill(HWND combo, std::initializer_list<const char*> items, int selected) {
  SendMessageW(combo, CB_RESETCONTENT, 0, 0);
  for (const char* item : items)
    SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Widen(item).c_str()));
  SendMessageW(combo, CB_SETCURSEL, selected, 0);
}

}  // namespace

void FilterPanelControls::attach(HWND dialog) {
  dialog_ = dialog;
  for (size_t i = 0; i < kControlIds.size(); ++i)
    controls_[i] = GetDlgItem(dialog, kControlIds[i]);
  reset();
}

void FilterPanelControls::reset() {
  HWND d = dialog_;
  Fill(GetDlgItem(d, IDC_SIZE_OPERATOR), {"等于", "大于", "小于", "大于等于", "小于等于"}, 0);
  SendDlgItemMessageW(d, IDC_SIZE_VALUE, EM_LIMITTEXT, 32, 0);
  SetDlgItemTextW(d, IDC_SIZE_VALUE, L"0");
  Fill(GetDlgItem(d, IDC_SIZE_UNIT), {"B", "KB", "MB", "GB"}, 1);
  Fill(GetDlgItem(d, IDC_DATE_KIND), {"按创建时间", "按最近修改时间", "按最近访问时间"}, 0);
  CheckRadioButton(d, IDC_BEFORE_RADIO, IDC_BETWEEN_RADIO, IDC_AFTER_RADIO);
  for (int box :
       {IDC_SIZE_CHECK, IDC_DATE_CHECK, IDC_ATTRIBUTE_CHECK, IDC_NORMAL, IDC_HIDDEN, IDC_SYSTEM}) {
    CheckDlgButton(d, box, BST_UNCHECKED);
  }
}

void FilterPanelControls::layout(int clientWidth, WindowMoves& moves) {
  const RECT button = RectInClient(dialog_, GetDlgItem(dialog_, IDC_FILTER_BUTTON));
  const int dx = ((clientWidth - (button.right - button.left)) >> 1) - button.left;
  for (HWND control : controls_) {
    const RECT rect = RectInClient(dialog_, control);
    // SWP_NOSIZE keeps each size as it is; a drop-down list's window is taller than what
    // GetWindowRect reports while it is closed.
    moves.move(control, rect.left + dx, rect.top, 0, 0, SWP_NOSIZE | SWP_SHOWWINDOW);
  }
}

void FilterPanelControls::hide() {
  for (HWND control : controls_)
    ShowWindow(control, SW_HIDE);
}

int FilterPanelControls::bottom() const {
  int lowest = 0;
  for (HWND control : controls_)
    lowest = std::max(lowest, static_cast<int>(RectInClient(dialog_, control).bottom));
  return lowest;
}

bool FilterPanelControls::sizeNumber(uint32_t* number) {
  wchar_t text[40] = {};
  const int length =
      GetDlgItemTextW(dialog_, IDC_SIZE_VALUE, text, static_cast<int>(std::size(text)));
  return ParseDialogUnsigned(
      std::u16string_view(reinterpret_cast<const char16_t*>(text), static_cast<size_t>(length)),
      number);
}

int FilterPanelControls::selection(int id) const {
  return static_cast<int>(SendDlgItemMessageW(dialog_, id, CB_GETCURSEL, 0, 0));
}

int FilterPanelControls::sizeOperator() {
  return selection(IDC_SIZE_OPERATOR);
}

int FilterPanelControls::sizeUnit() {
  return selection(IDC_SIZE_UNIT);
}

int FilterPanelControls::dateKind() {
  return selection(IDC_DATE_KIND);
}

bool FilterPanelControls::radioChecked(DateRadio radio) {
  return IsDlgButtonChecked(dialog_, static_cast<int>(radio)) == BST_CHECKED;
}

CalendarTime FilterPanelControls::pickerTime(DatePicker picker) {
  SYSTEMTIME t = {};
  SendDlgItemMessageW(dialog_, static_cast<int>(picker), DTM_GETSYSTEMTIME, 0,
                      reinterpret_cast<LPARAM>(&t));
  return {t.wYear, t.wMonth, t.wDay, t.wHour, t.wMinute, t.wSecond, t.wMilliseconds};
}

bool FilterPanelControls::boxChecked(AttributeBox box) {
  return IsDlgButtonChecked(dialog_, static_cast<int>(box)) == BST_CHECKED;
}

}  // namespace vessiko
