// What a double-click or a right-click on a result, or the scope panel's "add a folder", asks of
// the shell. The program uses the system's; the tests record the requests instead of starting
// Explorer, opening menus or browsing.
#pragma once

#include <windows.h>

#include <string>
#include <string_view>

#include "search/scope_list.h"

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
  // The folder browser titled "请选择目录: ", owned by `owner`: a chosen folder's path, a
  // choice without a file-system path, or a cancel.
  virtual FolderChoice browseForFolder(HWND owner, std::u16string* path) = 0;
};

ShellActions& SystemShellActions();

}  // namespace vessiko
