#include "ui/main_dialog.h"

#include "platform/win32/wide_path.h"
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
      scopeView_(parts.tasks),
      engine_(EngineEnvironment{parts.drives, parts.files, parts.clock, parts.messages, scopeView_,
                                parts.folders, parts.paths}),
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
    reinterpret_cast<MainDialog*>(lParam)->OnInitDialog(dialog);
    return FALSE;
  }
  // Messages that come while the window is created, before WM_INITDIALOG, get the defaults.
  auto* self = reinterpret_cast<MainDialog*>(GetWindowLongPtrW(dialog, DWLP_USER));
  return self != nullptr ? self->handle(message, wParam, lParam) : FALSE;
}

INT_PTR MainDialog::handle(UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_SIZE:
      layout();
      return FALSE;
    case WM_GETMINMAXINFO:
      OnGetMinMaxInfo(*reinterpret_cast<MINMAXINFO*>(lParam));
      return FALSE;
    case WM_CLOSE:
      OnClose();
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
                                          widen("准备").c_str(), dialog, IDC_STATUS_BAR);
  window_.resultList = GetDlgItem(dialog, IDC_RESULT_LIST);
  window_.nameEdit = GetDlgItem(dialog, IDC_NAME_EDIT);
  window_.extensionEdit = GetDlgItem(dialog, IDC_EXTENSION_EDIT);
  parts_.tasks.attach(dialog);
  parts_.messages.attach(dialog, window_.statusBar, window_.resultList);
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
  info.ptMinTrackSize = {kMinimumWidth, kMinimumHeight};
}

void MainDialog::OnClose() {
  closeWindow(true);
}

void MainDialog::OnDestroy() {
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
  LayoutMainWindow(window_, engine_.ui(), engine_.scope(), filterPanel_);
}

void MainDialog::closeWindow(bool save) {
  ShowWindow(window_.dialog, SW_HIDE);
  // Stops the start-up and the journal monitors before it saves, then closes the volumes.
  engine_.close(save);
  // A box the save asked for (a file that could not be written) shows before the dialog goes.
  parts_.tasks.runQueued();
  DestroyWindow(window_.dialog);
}

}  // namespace vessiko
