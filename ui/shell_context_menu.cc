#include "ui/shell_context_menu.h"

#include <commctrl.h>

#include <string>

#include "platform/win32/wide_path.h"
#include "ui/scoped_win.h"

namespace vessiko {

namespace {

// The menu being tracked: the owner is subclassed with it only for the length of
// TrackPopupMenu.
struct TrackedMenu {
  IContextMenu2* menu2 = nullptr;
  IContextMenu3* menu3 = nullptr;
};
constexpr UINT_PTR kTrackedMenuSubclass = 1;

LRESULT CALLBACK TrackedMenuOwnerProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam,
                                      UINT_PTR, DWORD_PTR data) {
  const auto& menu = *reinterpret_cast<const TrackedMenu*>(data);
  IContextMenu2* handler = menu.menu2 != nullptr ? menu.menu2 : menu.menu3;
  switch (message) {
    case WM_MENUCHAR:
      if (menu.menu3 != nullptr) {
        LRESULT result = 0;
        menu.menu3->HandleMenuMsg2(message, wParam, lParam, &result);
        return result;
      }
      break;
    case WM_DRAWITEM:
    case WM_MEASUREITEM:
      // wParam 0: the item belongs to a menu; otherwise to a control of the owner.
      if (wParam != 0) break;
      handler->HandleMenuMsg(message, wParam, lParam);
      return TRUE;
    case WM_INITMENUPOPUP:
      handler->HandleMenuMsg(message, wParam, lParam);
      return 0;
    default:
      break;
  }
  return DefSubclassProc(window, message, wParam, lParam);
}

}  // namespace

void ShowItemContextMenu(HWND owner, std::u16string_view folder, std::u16string_view name) {
  ComPtr<IShellFolder> desktop;
  if (FAILED(SHGetDesktopFolder(desktop.put()))) return;
  CoTaskMemPtr<ITEMIDLIST> parent;
  std::wstring child = ToWide(name);
  if (!folder.empty()) {
    std::wstring folderPath = ToWide(folder);
    if (FAILED(desktop->ParseDisplayName(owner, nullptr, folderPath.data(), nullptr, parent.put(),
                                         nullptr))) {
      return;
    }
  } else {
    if (FAILED(SHGetSpecialFolderLocation(owner, CSIDL_DRIVES, parent.put()))) return;
    child += L'\\';  // the computer folder names a volume root "C:\"
  }
  ComPtr<IShellFolder> parentFolder;
  if (FAILED(
          desktop->BindToObject(parent.get(), nullptr, IID_IShellFolder, parentFolder.putVoid()))) {
    return;
  }
  CoTaskMemPtr<ITEMIDLIST> item;
  if (FAILED(parentFolder->ParseDisplayName(owner, nullptr, child.data(), nullptr, item.put(),
                                            nullptr))) {
    return;
  }
  ShowShellContextMenu(owner, parentFolder.get(), item.get());
}

void ShowShellContextMenu(HWND owner, IShellFolder* folder, PCUITEMID_CHILD child) {
  ComPtr<IContextMenu> menu;
  if (FAILED(folder->GetUIObjectOf(owner, 1, &child, IID_IContextMenu, nullptr, menu.putVoid()))) {
    return;
  }
  ComPtr<IContextMenu3> menu3;
  ComPtr<IContextMenu2> menu2;
  if (FAILED(menu->QueryInterface(IID_IContextMenu3, menu3.putVoid())))
    menu->QueryInterface(IID_IContextMenu2, menu2.putVoid());

  const ScopedMenu popup(CreatePopupMenu());
  if (popup.get() == nullptr) return;
  if (FAILED(menu->QueryContextMenu(popup.get(), 0, 1, 0x7FFF, CMF_EXPLORE))) return;

  TrackedMenu state{menu2.get(), menu3.get()};
  const bool subclassed =
      (menu2 || menu3) && SetWindowSubclass(owner, &TrackedMenuOwnerProc, kTrackedMenuSubclass,
                                            reinterpret_cast<DWORD_PTR>(&state));
  POINT at;
  GetCursorPos(&at);
  const UINT command = static_cast<UINT>(
      TrackPopupMenu(popup.get(), TPM_RETURNCMD | TPM_RIGHTBUTTON, at.x, at.y, 0, owner, nullptr));
  if (subclassed) RemoveWindowSubclass(owner, &TrackedMenuOwnerProc, kTrackedMenuSubclass);
  if (command == 0) return;

  CMINVOKECOMMANDINFO invoke = {};
  invoke.cbSize = sizeof invoke;
  invoke.hwnd = owner;
  invoke.lpVerb = MAKEINTRESOURCEA(command - 1);
  invoke.nShow = SW_SHOWNORMAL;
  menu->InvokeCommand(&invoke);
}

}  // namespace vessiko
