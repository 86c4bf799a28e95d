#include "ui/commands.h"

#include <string>

#include "platform/win32/wide_path.h"
#include "ui/resource_ids.h"
#include "update/update_site.h"

namespace vessiko {

namespace {

// Positions on the menu bar and in its "搜索(&S)" menu.
constexpr UINT kSearchMenu = 1;
constexpr UINT kScopePanelItem = 2;
constexpr UINT kFilterPanelItem = 3;
constexpr UINT kCaseSensitiveItem = 0;
constexpr UINT kFoldersItem = 1;
constexpr UINT kFilesItem = 2;

std::u16string WindowText(HWND window) {
  std::wstring text(static_cast<size_t>(GetWindowTextLengthW(window)) + 1, L'\0');
  text.resize(
      static_cast<size_t>(GetWindowTextW(window, text.data(), static_cast<int>(text.size()))));
  return FromWide(text);
}

}  // namespace

void Commands::onCommand(int id, int code) {
  switch (id) {
    case IDC_NAME_EDIT:
    case IDC_EXTENSION_EDIT:
      if (code == EN_CHANGE) OnQueryChanged(id == IDC_EXTENSION_EDIT);
      break;
    case IDC_ADD_FOLDER:
    case IDC_REMOVE_FOLDER:
    case IDC_REMOVE_ALL_FOLDERS:
    case IDC_CHECK_ALL_VOLUMES:
      if (code == BN_CLICKED) OnScopeButton(id);
      break;
    case IDC_FILTER_BUTTON:
      if (code == BN_CLICKED) OnFilterButton();
      break;
    case IDC_SIZE_CHECK:
    case IDC_DATE_CHECK:
    case IDC_ATTRIBUTE_CHECK:
      if (code == BN_CLICKED) OnFilterGroupBox(id);
      break;
    case IDM_CASE_SENSITIVE:
      OnCaseSensitive();
      break;
    case IDM_SEARCH_FOLDERS:
      OnSearchKind(p_.engine.ui().searchFolders, p_.engine.ui().searchFiles, kFoldersItem);
      break;
    case IDM_SEARCH_FILES:
      OnSearchKind(p_.engine.ui().searchFiles, p_.engine.ui().searchFolders, kFilesItem);
      break;
    case IDM_SCOPE_PANEL:
      OnScopePanel();
      break;
    case IDM_FILTER_PANEL:
      OnFilterPanel();
      break;
    case IDM_HELP:
      OnHelp();
      break;
    case IDM_EXIT:
      OnExit();
      break;
    default:
      break;
  }
}

void Commands::OnQueryChanged(bool extension) {
  const QueryTexts query{WindowText(p_.window.nameEdit), WindowText(p_.window.extensionEdit)};
  UiState& ui = p_.engine.ui();
  if (ui.filterInForce) {
    ui.filterInForce = false;
    ui.searchEnabled = true;
    // The lists hold the filtered snapshot: search the whole index again even when the text
    // typed gives the query of the last search.
    p_.engine.search(query, ui.optionsChanged);
    return;
  }
  if (extension) {
    p_.engine.search(query, ui.extensionChanged);
  } else {
    p_.engine.search(query);
  }
}

void Commands::OnScopeButton(int id) {
  ScopeList& scope = p_.engine.scope();
  bool changed = false;
  switch (id) {
    case IDC_ADD_FOLDER:
      changed = scope.addFolder();
      break;
    case IDC_REMOVE_FOLDER:
      changed = scope.removeSelected();
      break;
    case IDC_REMOVE_ALL_FOLDERS:
      changed = scope.removeAllFolders();
      break;
    case IDC_CHECK_ALL_VOLUMES:
      changed = scope.checkAllVolumes();
      break;
    default:
      break;
  }
  if (changed) p_.engine.searchWith(p_.engine.ui().scopeChanged);
}

void Commands::OnFilterButton() {
  p_.engine.applyFilter(p_.filterPanel);
}

void Commands::OnFilterGroupBox(int id) {
  const bool on = IsDlgButtonChecked(p_.window.dialog, id) == BST_CHECKED;
  switch (id) {
    case IDC_SIZE_CHECK:
      p_.engine.filter().setSizeEnabled(on);
      break;
    case IDC_DATE_CHECK:
      p_.engine.filter().setDateEnabled(on);
      break;
    case IDC_ATTRIBUTE_CHECK:
      p_.engine.filter().setAttributesEnabled(on);
      break;
    default:
      break;
  }
}

void Commands::OnCaseSensitive() {
  UiState& ui = p_.engine.ui();
  CheckMenuItem(GetSubMenu(GetMenu(p_.window.dialog), kSearchMenu), kCaseSensitiveItem,
                MF_BYPOSITION | (ui.caseSensitive ? MF_UNCHECKED : MF_CHECKED));
  ui.caseSensitive = !ui.caseSensitive;
  p_.engine.searchWith(ui.optionsChanged);
}

void Commands::OnSearchKind(std::atomic<bool>& kind, const std::atomic<bool>& other,
                            UINT position) {
  // At least one of folders and files is always searched.
  if (kind && !other) {
    p_.messages.showMessage("友情提醒！", "文件和文件夹至少指定一个！", MessageIcon::kInformation);
    return;
  }
  CheckMenuItem(GetSubMenu(GetMenu(p_.window.dialog), kSearchMenu), position,
                MF_BYPOSITION | (kind ? MF_UNCHECKED : MF_CHECKED));
  kind = !kind;
  p_.engine.searchWith(p_.engine.ui().optionsChanged);
}

void Commands::setBarCaption(UINT position, UINT id, const char* caption) {
  ModifyMenuW(GetMenu(p_.window.dialog), position, MF_BYPOSITION | MF_STRING, id,
              Widen(caption).c_str());
}

// The two panels are never open together: opening one closes the other.
void Commands::OnScopePanel() {
  UiState& ui = p_.engine.ui();
  if (ui.scopePanelShown) {
    setBarCaption(kScopePanelItem, IDM_SCOPE_PANEL, "目录设置(&M)");
    ui.scopePanelShown = false;
  } else {
    if (ui.filterPanelShown) {
      setBarCaption(kFilterPanelItem, IDM_FILTER_PANEL, "过滤选项(&G)");
      ui.filterPanelShown = false;
    }
    setBarCaption(kScopePanelItem, IDM_SCOPE_PANEL, "目录设置(&M)");
    ui.scopePanelShown = true;
  }
  DrawMenuBar(p_.window.dialog);
  p_.actions.layout();
}

void Commands::OnFilterPanel() {
  UiState& ui = p_.engine.ui();
  if (ui.filterPanelShown) {
    setBarCaption(kFilterPanelItem, IDM_FILTER_PANEL, "展开过滤选项(&G)");
    ui.filterPanelShown = false;
  } else {
    setBarCaption(kFilterPanelItem, IDM_FILTER_PANEL, "收起过滤选项(&G)");
    if (ui.scopePanelShown) {
      setBarCaption(kScopePanelItem, IDM_SCOPE_PANEL, "展开目录设置(&M)");
      ui.scopePanelShown = false;
    }
    ui.filterPanelShown = true;
  }
  DrawMenuBar(p_.window.dialog);
  p_.actions.layout();
}

void Commands::OnHelp() {
  p_.messages.showMessageAndWait("帮助提醒", "现在请登陆Vessiko官网查看帮助。",
                                 MessageIcon::kInformation);
  // Without a product host in the build settings there is no page to open.
  const UpdateSite site = ConfiguredUpdateSite();
  if (!site.productHost.empty()) p_.urls.openUrl(ProductPageUrl(site));
}

void Commands::OnExit() {
  p_.actions.closeWindow(false);
  PostQuitMessage(0);
}

}  // namespace vessiko
