// MirrorFolders: the face's FolderResolver. A folder path names a directory of one of the
// mirrored trees, or of a mounted NTFS drive read in place; its key is the drive letter's volume
// and the record that stands for it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "cli/ntfs_drive.h"
#include "mirror/directory_mirror.h"
#include "search/scope_list.h"

namespace vessiko {

class MirrorFolders : public FolderResolver {
 public:
  MirrorFolders(const std::vector<std::unique_ptr<DirectoryMirror>>& mirrors,
                const std::vector<NtfsDrive>& ntfsDrives)
      : mirrors_(mirrors), ntfsDrives_(ntfsDrives) {}

  bool folderKey(std::u16string_view path, EntryKey* key) override;

  // The letter of the drive whose tree holds the path (absolute, without symbolic links), the
  // deepest root when trees nest; 0 when none does. *record is the folder's record there.
  char locate(const std::string& path, uint32_t* record) const;

 private:
  const std::vector<std::unique_ptr<DirectoryMirror>>& mirrors_;
  const std::vector<NtfsDrive>& ntfsDrives_;
};

}  // namespace vessiko
