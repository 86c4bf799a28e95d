#include "ui/folder_resolver.h"

#include <windows.h>

#include <string>

#include "platform/win32/wide_path.h"
#include "ui/scoped_win.h"

namespace vessiko {

bool Win32FolderResolver::folderKey(std::u16string_view path, EntryKey* key) {
  if (path.empty()) return false;
  char16_t drive = path[0];
  if (drive >= u'a' && drive <= u'z') drive = static_cast<char16_t>(drive - u'a' + u'A');
  if (drive < u'A' || drive > u'Z') return false;

  const std::wstring wide = ToWide(path);
  const ScopedHandle folder(CreateFileW(wide.c_str(), GENERIC_READ,
                                        FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr, OPEN_EXISTING,
                                        FILE_FLAG_BACKUP_SEMANTICS, nullptr));
  if (!folder.valid()) return false;
  BY_HANDLE_FILE_INFORMATION information;
  if (!GetFileInformationByHandle(folder.get(), &information)) return false;
  constexpr uint64_t kRecordNumberBits = 0xFFFF'FFFF'FFFF;
  const uint64_t record =
      (static_cast<uint64_t>(information.nFileIndexHigh) << 32 | information.nFileIndexLow) &
      kRecordNumberBits;
  if (!FitsEntryKey(record)) return false;
  *key = MakeEntryKey(static_cast<uint32_t>(drive - u'A'), static_cast<uint32_t>(record));
  return true;
}

}  // namespace vessiko
