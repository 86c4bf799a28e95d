// The key of a folder the user chose for the directory scope, from the file system itself: its
// volume is the path's drive letter and its record number the low 48 bits of the file index
// (the rest is the record's sequence number). A folder that cannot be opened, a path without a
// drive letter, or a record number beyond the 27 bits of an EntryKey is refused.
#pragma once

#include "search/scope_list.h"

namespace vessiko {

class Win32FolderResolver final : public FolderResolver {
 public:
  bool folderKey(std::u16string_view path, EntryKey* key) override;
};

}  // namespace vessiko
