#include "ui/main_dialog.h"

#include <utility>

#include "platform/win32/wide_path.h"
#include "ui/dpi.h"
#include "ui/failure_report.h"
#include "ui/list_columns.h"
#include "ui/resource_ids.h"
#include "ui/system_icons.h"

namespace vessiko {

namespace {

constexpr int kMinimumWidth = 600;
constexpr int kMinimumHeight = 450;
constexpr WPARAM kNameLimit = 1024;
constexpr WPARAM kExtensionLimit = 512;

}  // namespace

MainDialog::MainDialog(const ProgramParts& parts)
    : parts_(parts),
      resultView_(parts.tasks),
      scopeView_(parts.tasks, parts.shell),
      engine_(EngineEnvironment{parts.drives, parts.files, parts.clock, parts.messages, resultView_,
                                scopeView_, parts.folders, parts.paths}),
      results_(engine_, parts.shell),
      commands_(CommandParts{engine_, parts.messages, window_, filterPanel_, parts.urls, *this}) {}

MainDialog::~MainDialog() {
  if (IsWindow(window_.dialog)) DestroyWindow(window_.dialog);
}

HWND MainDialog::create(HINSTANCE instance) {
  INITCOMMONCONTROLSEX classes = {sizeof classes, ICC_STANDARD_CLASSES | ICC_LISTVIEW_CLASSES |
                                                      ICC_BAR_CLASSES | ICC_DATE_CLASSES};
  InitCommonControlsEx(&classes);
  return CreateDialogParamW(instance, MAKEINTRESOURCEW(IDD_MAIN), nullptr, &DialogProc,
                            reinterpret_cast<LPARAM>(this));
}

INT_PTR CALLBACK MainDialog::DialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) {
    SetWindowLongPtrW(dialog, DWLP_USER, lParam);
    auto* self = reinterpret_cast<MainDialog*>(lParam);
    self->guarded([&] { self->OnInitDialog(dialog); });
    return FALSE;
  }
  // Messages that come while the window is created, before WM_INITDIALOG, get the defaults.
  auto* self = reinterpret_cast<MainDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
  if (self == nullptr) return FALSE;
  INT_PTR result = FALSE;
  self->guarded([&] { result = self->handle(message, wParam, lParam); });
  return result;
}

template <class Handler>
void MainDialog::guarded(Handler&& handler) noexcept {
  // An exception must never unwind through the dialog manager's frames: the message's handling
  // ends here and the user is told.
  try {
    handler();
  } catch (...) {
    ReportFailure(parts_.messages);
  }
}

INT_PTR MainDialog::handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SIZE:
      layout();
      return FALSE;
    case WM_GETMINMAXINFO:
      OnGetMinMaxInfo(*reinterpret_cast<MINMAXINFO*>(lParam));
      return FALSE;
    case WM_DPICHANGED:
      OnDpiChanged(HIWORD(wParam), *reinterpret_cast<const RECT*>(lParam));
      return FALSE;  // the dialog manager rescales the template's controls and their font
    case WM_CLOSE:
      OnClose();
      return TRUE;
    case WM_QUERYENDSESSION:
      SetWindowLongPtrW(window_.dialog, DWLP_MSGRESULT, TRUE);  // the session may end
      return TRUE;
    case WM_ENDSESSION:
      // The process may be ended as soon as this returns: save now, as the close does.
      if (wParam != FALSE) closeWindow(true);
      return TRUE;
    case WM_DESTROY:
      OnDestroy();
      return TRUE;
    case WM_NOTIFY:
      SetWindowLongPtrW(window_.dialog, DWLP_MSGRESULT,
                        OnNotify(*reinterpret_cast<const NMHDR*>(lParam)));
      return TRUE;
    case WM_COMMAND:
      commands_.onCommand(LOWORD(wParam), HIWORD(wParam));
      SetWindowLongPtrW(window_.dialog, DWLP_MSGRESULT, 0);
      return TRUE;
    case UiTasks::kTaskMessage:
      UiTasks::runPosted(lParam);
      return TRUE;
    default:
      return FALSE;
  }
}

void MainDialog::OnInitDialog(HWND dialog) {
  window_.dialog = dialog;
  window_.statusBar = CreateStatusWindowW(WS_CHILD | WS_VISIBLE | WS_CLIPSIBLINGS | WS_CLIPCHILDREN,
                                          Widen("准备").c_str(), dialog, IDC_STATUS_BAR);
  window_.resultList = GetDlgItem(dialog, IDC_RESULT_LIST);
  window_.nameEdit = GetDlgItem(dialog, IDC_NAME_EDIT);
  window_.extensionEdit = GetDlgItem(dialog, IDC_EXTENSION_EDIT);
  window_.dpi = WindowDpi(dialog);
  // The bar's own font is the system's, of the main monitor's DPI, which may not be the window's.
  setStatusFont();
  parts_.tasks.attach(dialog);
  parts_.messages.attach(dialog, window_.statusBar);
  resultView_.attach(window_.resultList);
  layout();
  SendMessageW(window_.nameEdit, EM_LIMITTEXT, kNameLimit, 0);
  SendMessageW(window_.extensionEdit, EM_LIMITTEXT, kExtensionLimit, 0);

  results_.attach(window_.resultList);
  const UiState& ui = engine_.ui();
  scopeView_.attach(dialog, GetDlgItem(dialog, IDC_SCOPE_LIST), SystemSmallImageList(),
                    ui.driveIcon, ui.folderIcon);
  engine_.scope().hide();
  filterPanel_.attach(dialog);
  filterPanel_.hide();
  engine_.start();
}

void MainDialog::OnGetMinMaxInfo(MINMAXINFO& info) {
  info.ptMinTrackSize = {Scaled(kMinimumWidth, window_.dpi), Scaled(kMinimumHeight, window_.dpi)};
}

void MainDialog::OnDpiChanged(UINT dpi, const RECT& suggested) {
  const UINT old = std::exchange(window_.dpi, dpi);
  RescaleListColumns(window_.resultList, old, dpi);
  RescaleListColumns(GetDlgItem(window_.dialog, IDC_SCOPE_LIST), old, dpi);
  SetWindowPos(window_.dialog, nullptr, suggested.left, suggested.top,
               suggested.right - suggested.left, suggested.bottom - suggested.top,
               SWP_NOZORDER | SWP_NOACTIVATE);
  // The dialog manager gives the template's controls their new sizes and font once this
  // returns; the controls made here follow them, and the layout has the last word.
  parts_.tasks.post([this] {
    setStatusFont();
    scopeView_.listFontChanged();
    layout();
  });
}

void MainDialog::OnClose() {
  closeWindow(true);
}

void MainDialog::OnDestroy() {
  // The window's icons were loaded for it alone.
  for (const WPARAM size : {ICON_SMALL, ICON_BIG}) {
    const auto icon = reinterpret_cast<HICON>(SendMessageW(window_.dialog, WM_SETICON, size, 0));
    if (icon != nullptr) DestroyIcon(icon);
  }
  parts_.tasks.detach();
  PostQuitMessage(0);
}

LRESULT MainDialog::OnNotify(const NMHDR& header) {
  switch (header.idFrom) {
    case IDC_RESULT_LIST:
      return results_.onNotify(header);
    case IDC_SCOPE_LIST:
      OnScopeListNotify(header);
      return 0;
    default:
      engine_.scope().hideEditor();
      return 0;
  }
}

void MainDialog::OnScopeListNotify(const NMHDR& header) {
  ScopeList& scope = engine_.scope();
  bool changed = false;
  switch (header.code) {
    case NM_CLICK: {
      const auto& item = reinterpret_cast<const NMITEMACTIVATE&>(header);
      changed = scope.click(item.iItem, item.iSubItem);
      break;
    }
    case NM_RCLICK:
      changed = scope.rightClick();
      break;
    case LVN_ITEMCHANGED: {
      // Only the user's clicks on a check box: the list's own changes are the scope list's.
      const auto& item = reinterpret_cast<const NMLISTVIEW&>(header);
      const bool boxChanged = (item.uChanged & LVIF_STATE) != 0 &&
                              ((item.uNewState ^ item.uOldState) & LVIS_STATEIMAGEMASK) != 0;
      if (boxChanged && !scopeView_.applying()) changed = scope.checkBoxChanged(item.iItem);
      break;
    }
    case LVN_BEGINSCROLL:
      scope.hideEditor();
      break;
    default:
      break;
  }
  if (changed) engine_.searchWith(engine_.ui().scopeChanged);
}

void MainDialog::layout() {
  LayoutMainWindow(window_, engine_.ui(), engine_.scope(), scopeView_, filterPanel_);
}

void MainDialog::setStatusFont() {
  HFONT font = CreateStatusFont(window_.dpi);
  if (font == nullptr) return;  // the bar keeps the font it has
  SendMessageW(window_.statusBar, WM_SETFONT, reinterpret_cast<WPARAM>(font), TRUE);
  statusFont_.reset(font);  // after the bar has let go of the old one
}

void MainDialog::closeWindow(bool save) {
  ShowWindow(window_.dialog, SW_HIDE);
  // The start-up may be waiting for the answer to a question that is still to be shown.
  parts_.messages.endQuestions();
  // Stops the start-up and the journal monitors before it saves, then closes the volumes.
  engine_.close(save);
  // A box the save asked for (a file that could not be written) shows before the dialog goes.
  parts_.tasks.runQueued();
  DestroyWindow(window_.dialog);
}

}  // namespace vessiko
