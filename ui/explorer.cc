#include "ui/explorer.h"

#include <windows.h>
// After windows.h, which it needs.
#include <shellapi.h>

#include <string>

#include "platform/win32/wide_path.h"
#include "ui/scoped_win.h"

namespace vessiko {

void RevealInExplorer(std::u16string_view path) {
  wchar_t windows[MAX_PATH] = {};
  const UINT length = GetWindowsDirectoryW(windows, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return;
  const std::wstring program = std::wstring(windows, length) + L"\\explorer.exe";
  // Built to the path's length: a path of any length fits.
  std::wstring parameters = L"  /n,/e,/select,  \"";
  parameters += ToWide(path);
  parameters += L'"';

  SHELLEXECUTEINFOW info = {};
  info.cbSize = sizeof info;
  info.fMask = SEE_MASK_NOCLOSEPROCESS;
  info.lpFile = program.c_str();
  info.lpParameters = parameters.c_str();
  info.nShow = SW_SHOWNORMAL;
  // Nothing waits for Explorer: its process handle is let go at once.
  if (ShellExecuteExW(&info)) ScopedHandle process(info.hProcess);
}

}  // namespace vessiko
