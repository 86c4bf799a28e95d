#include "ui/shell_actions.h"

#include <shlobj.h>

#include "platform/win32/wide_path.h"
#include "ui/explorer.h"
#include "ui/scoped_win.h"
#include "ui/shell_context_menu.h"
#include "ui/shortcut_target.h"

namespace vessiko {

namespace {

class SystemShell final : public ShellActions {
 public:
  void revealInExplorer(std::u16string_view path) override { RevealInExplorer(path); }
  void openShortcutTarget(std::u16string_view path) override { OpenShortcutTarget(path); }
  void showContextMenu(HWND owner, std::u16string_view folder, std::u16string_view name) override {
    ShowItemContextMenu(owner, folder, name);
  }
  FolderChoice browseForFolder(HWND owner, std::u16string* path) override {
    const std::wstring title = Widen("请选择目录: ");
    BROWSEINFOW info = {};
    info.hwndOwner = owner;
    info.lpszTitle = title.c_str();
    info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_DONTGOBELOWDOMAIN;
    CoTaskMemPtr<ITEMIDLIST> chosen;
    *chosen.put() = SHBrowseForFolderW(&info);
    if (chosen.get() == nullptr) return FolderChoice::kCancelled;
    // SHGetPathFromIDListW writes at most MAX_PATH units, terminator included.
    wchar_t buffer[MAX_PATH] = {};
    if (!SHGetPathFromIDListW(chosen.get(), buffer)) return FolderChoice::kNoPath;
    *path = FromWide(buffer);
    return FolderChoice::kChosen;
  }
};

}  // namespace

ShellActions& SystemShellActions() {
  static SystemShell actions;
  return actions;
}

}  // namespace vessiko
