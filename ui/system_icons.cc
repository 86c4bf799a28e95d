#include "ui/system_icons.h"

#include <shellapi.h>

#include "platform/win32/wide_path.h"

namespace vessiko {

namespace {

std::wstring SystemDirectory() {
  wchar_t buffer[MAX_PATH] = {};
  const UINT length = GetSystemDirectoryW(buffer, MAX_PATH);
  return length < MAX_PATH ? std::wstring(buffer, length) : std::wstring();
}

int IconIndex(const wchar_t* path, DWORD attributes) {
  SHFILEINFOW info = {};
  SHGetFileInfoW(path, attributes, &info, sizeof info,
                 SHGFI_SYSICONINDEX | SHGFI_USEFILEATTRIBUTES | SHGFI_SMALLICON);
  return info.iIcon;
}

}  // namespace

HIMAGELIST SystemSmallImageList() {
  SHFILEINFOW info = {};
  const auto list = reinterpret_cast<HIMAGELIST>(
      SHGetFileInfoW(SystemDirectory().c_str(), 0, &info, sizeof info,
                     SHGFI_SYSICONINDEX | SHGFI_ICON | SHGFI_SMALLICON));
  // SHGFI_ICON hands over an icon of our own as well.
  if (info.hIcon != nullptr) DestroyIcon(info.hIcon);
  return list;
}

int DriveIconIndex() {
  return IconIndex(SystemDirectory().substr(0, 3).c_str(), FILE_ATTRIBUTE_DIRECTORY);
}

int FolderIconIndex() {
  return IconIndex(SystemDirectory().c_str(), FILE_ATTRIBUTE_DIRECTORY);
}

int FileIconIndex(std::u16string_view path) {
  // Only the name counts; a path too long for the shell's buffers is given by its name alone.
  if (path.size() >= MAX_PATH) path = path.substr(path.find_last_of(u'\\') + 1);
  const std::wstring wide = ToWide(path);
  return IconIndex(wide.c_str(), FILE_ATTRIBUTE_NORMAL);
}

int PlainFileIconIndex() {
  static const int icon = IconIndex(L"file", FILE_ATTRIBUTE_NORMAL);
  return icon;
}

int OwnIconIndex(std::u16string_view path) {
  if (path.size() < MAX_PATH) {
    const std::wstring wide = ToWide(path);
    SHFILEINFOW info = {};
    if (SHGetFileInfoW(wide.c_str(), 0, &info, sizeof info, SHGFI_SYSICONINDEX | SHGFI_SMALLICON))
      return info.iIcon;
  }
  return FileIconIndex(path);
}

}  // namespace vessiko
