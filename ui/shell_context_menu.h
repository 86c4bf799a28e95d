// The shell's own context menu of a result, as Explorer shows it. While the menu is tracked
// the owner window is subclassed, so that menus drawn by shell extensions (IContextMenu2 and
// IContextMenu3) get the owner-draw and menu-character messages they need.
//
// Interface thread only.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <shlobj.h>

#include <string_view>

namespace vessiko {

// The menu of the item `name` in the folder `folder` (ending in a backslash); an empty folder
// stands for the computer, whose items are the volume roots ("C:"). A failure at any step ends
// the action silently.
void ShowItemContextMenu(HWND owner, std::u16string_view folder, std::u16string_view name);

// The menu of one item of a shell folder, at the cursor; the chosen command is carried out.
void ShowShellContextMenu(HWND owner, IShellFolder* folder, PCUITEMID_CHILD child);

}  // namespace vessiko
