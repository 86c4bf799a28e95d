#include "ui/shortcut_target.h"

#include <windows.h>
// After windows.h, which they need.
#include <shellapi.h>
#include <shlobj.h>

#include <string>

#include "platform/win32/wide_path.h"
#include "ui/scoped_win.h"

namespace vessiko {

void OpenShortcutTarget(std::u16string_view path) {
  const ComInitialization com;
  ComPtr<IShellLinkW> link;
  if (FAILED(CoCreateInstance(CLSID_ShellLink, nullptr, CLSCTX_INPROC_SERVER, IID_IShellLinkW,
                              link.putVoid()))) {
    return;
  }
  ComPtr<IPersistFile> file;
  if (FAILED(link->QueryInterface(IID_IPersistFile, file.putVoid()))) return;
  const std::wstring wide = ToWide(path);
  if (FAILED(file->Load(wide.c_str(), STGM_READ))) return;
  link->Resolve(nullptr, SLR_NO_UI | SLR_ANY_MATCH);

  // Both calls cut to the buffer they are given. Arguments may be as long as a shortcut's
  // (INFOTIPSIZE), so they get a buffer of that size rather than MAX_PATH.
  wchar_t target[MAX_PATH] = {};
  link->GetPath(target, MAX_PATH, nullptr, SLGP_SHORTPATH);
  wchar_t arguments[INFOTIPSIZE] = {};
  link->GetArguments(arguments, INFOTIPSIZE);
  if (target[0] == 0) return;
  ShellExecuteW(nullptr, L"open", target, arguments, nullptr, SW_SHOWNORMAL);
}

}  // namespace vessiko
