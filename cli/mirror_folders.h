// MirrorFolders: the face's FolderResolver. A folder path names a directory of one of the
// mirrored trees; its key is the drive letter's volume and the record that stands for it.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "mirror/directory_mirror.h"
#include "search/scope_list.h"

namespace vessiko {

class MirrorFolders : public FolderResolver {
 public:
  explicit MirrorFolders(const std::vector<std::unique_ptr<DirectoryMirror>>& mirrors)
      : mirrors_(mirrors) {}

  bool folderKey(std::u16string_view path, EntryKey* key) override;

  // The mirror whose tree holds the path (absolute, without symbolic links), the deepest root
  // when trees nest; null when none does. *record is the folder's record there.
  const DirectoryMirror* locate(const std::string& path, uint32_t* record) const;

 private:
  const std::vector<std::unique_ptr<DirectoryMirror>>& mirrors_;
};

}  // namespace vessiko
