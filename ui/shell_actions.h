// What a double-click or a right-click on a result asks of the shell. The program uses the
// system's; the tests record the requests instead of starting Explorer or opening menus.
#pragma once

#include <windows.h>

#include <string_view>

namespace vessiko {

class ShellActions {
 public:
  virtual ~ShellActions() = default;
  // Opens an Explorer window with the item selected.
  virtual void revealInExplorer(std::u16string_view path) = 0;
  // Starts the target of a shortcut (.lnk) with its arguments.
  virtual void openShortcutTarget(std::u16string_view path) = 0;
  // The shell's context menu of the item `name` in the folder `folder` (ending in a backslash);
  // an empty folder stands for the computer, whose items are the volume roots.
  virtual void showContextMenu(HWND owner, std::u16string_view folder,
                               std::u16string_view name) = 0;
};

ShellActions& systemShellActions();

}  // namespace vessiko
