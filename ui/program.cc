#include "ui/program.h"

#include <ole2.h>

#include <algorithm>
#include <string>
#include <system_error>
#include <utility>

#include "platform/win32/wide_path.h"
#include "ui/resource_ids.h"
#include "update/update_checker.h"

namespace vessiko {

namespace {

// The module's full path, in a buffer grown until it fits; empty when it cannot be had.
std::wstring ModulePath() {
  std::wstring path(MAX_PATH, L'\0');
  for (;;) {
    const DWORD length = GetModuleFileNameW(nullptr, path.data(), static_cast<DWORD>(path.size()));
    if (length == 0) return {};
    if (length < path.size()) return path.substr(0, length);
    path.resize(path.size() * 2);
  }
}

// OLE for the interface thread: the shell's context menus and their extensions need it.
class OleInitialization {
 public:
  OleInitialization() : result_(OleInitialize(nullptr)) {}
  ~OleInitialization() {
    if (SUCCEEDED(result_)) OleUninitialize();
  }
  OleInitialization(const OleInitialization&) = delete;
  OleInitialization& operator=(const OleInitialization&) = delete;

 private:
  HRESULT result_;
};

}  // namespace

DatabasePaths DatabasePathsBesideProgram() {
  const std::wstring path = ModulePath();
  const size_t slash = path.find_last_of(L'\\');
  const std::wstring folder = slash == std::wstring::npos ? std::wstring() : path.substr(0, slash);
  return DatabasePaths::inFolder(Narrow(folder), '\\');
}

void ShowMainWindow(HWND dialog, HINSTANCE instance) {
  // The caption's icon and the one of the task switcher; the dialog destroys them as it goes.
  const std::pair<WPARAM, int> icons[] = {{ICON_SMALL, SM_CXSMICON}, {ICON_BIG, SM_CXICON}};
  for (const auto& [which, metric] : icons) {
    const int size = GetSystemMetrics(metric);
    const auto icon = static_cast<HICON>(
        LoadImageW(instance, MAKEINTRESOURCEW(IDI_VESSIKO), IMAGE_ICON, size, size, 0));
    SendMessageW(dialog, WM_SETICON, which, reinterpret_cast<LPARAM>(icon));
  }
  // The template is lower than the minimum tracking size, which the frame enforces as soon as
  // the window is moved: centre the window at the size it will have.
  MINMAXINFO limits = {};
  SendMessageW(dialog, WM_GETMINMAXINFO, 0, reinterpret_cast<LPARAM>(&limits));
  RECT rect;
  GetWindowRect(dialog, &rect);
  const int width =
      std::max(static_cast<int>(rect.right - rect.left), static_cast<int>(limits.ptMinTrackSize.x));
  const int height =
      std::max(static_cast<int>(rect.bottom - rect.top), static_cast<int>(limits.ptMinTrackSize.y));
  // Arithmetic shifts: a window larger than the screen goes to a negative position.
  const int x = (GetSystemMetrics(SM_CXSCREEN) - width) >> 1;
  const int y = (GetSystemMetrics(SM_CYSCREEN) - height) >> 1;
  MoveWindow(dialog, x, y, width, height, TRUE);
  ShowWindow(dialog, SW_SHOW);
}

int RunProgram(HINSTANCE instance, ProgramParts parts) {
  const OleInitialization ole;
  parts.paths = DatabasePathsBesideProgram();
  MainDialog main(parts);
  HWND dialog = main.create(instance);
  if (dialog == nullptr) return 0;
  ShowMainWindow(dialog, instance);
  try {
    StartUpdateCheck(parts.messages).detach();
  } catch (const std::system_error&) {
    return 0;  // no thread for the update check: the program ends at once
  }

  MSG message;
  for (;;) {
    const BOOL got = GetMessageW(&message, nullptr, 0, 0);
    if (got == 0) break;
    if (got == -1) {
      MessageBoxW(nullptr, Widen("GetMessage error with -1 returned！").c_str(), L"error",
                  MB_ICONERROR);
      break;
    }
    if (IsWindow(dialog) && IsDialogMessageW(dialog, &message)) continue;
    TranslateMessage(&message);
    DispatchMessageW(&message);
  }
  return 0;
}

}  // namespace vessiko
