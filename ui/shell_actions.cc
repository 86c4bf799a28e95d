#include "ui/shell_actions.h"

#include "ui/explorer.h"
#include "ui/shell_context_menu.h"
#include "ui/shortcut_target.h"

namespace vessiko {

namespace {

class SystemShellActions final : public ShellActions {
 public:
  void revealInExplorer(std::u16string_view path) override { RevealInExplorer(path); }
  void openShortcutTarget(std::u16string_view path) override { OpenShortcutTarget(path); }
  void showContextMenu(HWND owner, std::u16string_view folder, std::u16string_view name) override {
    ShowItemContextMenu(owner, folder, name);
  }
};

}  // namespace

ShellActions& systemShellActions() {
  static SystemShellActions actions;
  return actions;
}

}  // namespace vessiko
