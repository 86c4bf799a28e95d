#include "platform/win32/win32_messages.h"

#include <commctrl.h>
#include <shlobj.h>

#include <string>

#include "platform/win32/wide_path.h"

namespace vessiko {

UINT iconFlags(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::kInformation:
      return MB_ICONINFORMATION;
    case MessageIcon::kWarning:
      return MB_ICONWARNING;
    case MessageIcon::kError:
      return MB_ICONERROR;
    case MessageIcon::kNone:
      break;
  }
  return 0;
}

void Win32Messages::attach(HWND dialog, HWND statusBar, HWND resultList) {
  dialog_ = dialog;
  statusBar_ = statusBar;
  resultList_ = resultList;
}

void Win32Messages::showStatus(std::string_view text) {
  HWND dialog = dialog_;
  auto* wide = new std::wstring(widen(text));
  if (dialog == nullptr ||
      !PostMessageW(dialog, kStatusMessage, 0, reinterpret_cast<LPARAM>(wide))) {
    OutputDebugStringW(wide->c_str());
    delete wide;
  }
}

void Win32Messages::deliverPostedStatus(LPARAM text) {
  auto* wide = reinterpret_cast<std::wstring*>(text);
  if (HWND bar = statusBar_) SetWindowTextW(bar, wide->c_str());
  delete wide;
}

void Win32Messages::showMessage(std::string_view caption, std::string_view text, MessageIcon icon) {
  MessageBoxW(nullptr, widen(text).c_str(), widen(caption).c_str(), MB_OK | iconFlags(icon));
}

bool Win32Messages::askYesNo(std::string_view caption, std::string_view text, MessageIcon icon) {
  return MessageBoxW(dialog_, widen(text).c_str(), widen(caption).c_str(),
                     MB_YESNO | iconFlags(icon)) == IDYES;
}

void Win32Messages::setResultCount(uint32_t rows) {
  if (HWND list = resultList_) PostMessageW(list, LVM_SETITEMCOUNT, rows, 0);
}

void Win32Messages::redrawResults(int first, int last) {
  if (HWND list = resultList_) PostMessageW(list, LVM_REDRAWITEMS, first, last);
}

}  // namespace vessiko

namespace vessiko {

void Win32Messages::readQueryTexts(std::u16string* name, std::u16string* extension) {
  std::lock_guard lock(textsLock_);
  *name = name_;
  *extension = extension_;
}

void Win32Messages::setQueryTexts(std::u16string name, std::u16string extension) {
  std::lock_guard lock(textsLock_);
  name_ = std::move(name);
  extension_ = std::move(extension);
}

FolderChoice Win32Messages::browseForFolder(std::u16string* path) {
  BROWSEINFOW info = {};
  info.hwndOwner = dialog_;
  info.lpszTitle = L"请选择目录: ";
  info.ulFlags = BIF_RETURNONLYFSDIRS | BIF_DONTGOBELOWDOMAIN;
  PIDLIST_ABSOLUTE chosen = SHBrowseForFolderW(&info);
  if (chosen == nullptr) return FolderChoice::kCancelled;
  wchar_t buffer[MAX_PATH] = {};
  const bool hasPath = SHGetPathFromIDListW(chosen, buffer) != FALSE;
  CoTaskMemFree(chosen);
  if (!hasPath) return FolderChoice::kNoPath;
  path->assign(reinterpret_cast<const char16_t*>(buffer));
  return FolderChoice::kChosen;
}

}  // namespace vessiko
