// The shell's system image list of small icons and the indexes the two list views show: the
// system drive's root, a folder, and a file by its name. With SHGFI_USEFILEATTRIBUTES the shell
// reads nothing from the disk: the name and the attributes given decide the icon; only
// OwnIconIndex reads the file.
#pragma once

#include <windows.h>
// After windows.h, which it needs.
#include <commctrl.h>

#include <string>
#include <string_view>

namespace vessiko {

// Shared by the whole process; whoever shows it never destroys it.
HIMAGELIST SystemSmallImageList();

// The icon of the system drive's root, such as "C:\".
int DriveIconIndex();
// The icon of a folder (that of the system directory).
int FolderIconIndex();
// The icon of a file of this path, as a file with FILE_ATTRIBUTE_NORMAL.
int FileIconIndex(std::u16string_view path);
// The icon of a file without an extension, looked up once.
int PlainFileIconIndex();
// The icon the file itself carries (a program's, a shortcut's target's), read from the disk;
// the icon of its extension when the shell cannot read it.
int OwnIconIndex(std::u16string_view path);

}  // namespace vessiko
