#include "cli/mirror_folders.h"

#include <climits>
#include <cstdlib>

#include "mirror/file_name_bytes.h"

namespace vessiko {

const DirectoryMirror* MirrorFolders::locate(const std::string& path, uint32_t* record) const {
  const DirectoryMirror* found = nullptr;
  for (const auto& mirror : mirrors_) {
    uint32_t n = kNoNode;
    if ((found == nullptr || mirror->root().size() > found->root().size()) &&
        mirror->folderRecord(path, &n)) {
      found = mirror.get();
      *record = n;
    }
  }
  return found;
}

bool MirrorFolders::folderKey(std::u16string_view path, EntryKey* key) {
  std::string bytes;
  AppendFileNameBytes(path, &bytes);
  char resolved[PATH_MAX];
  if (realpath(bytes.c_str(), resolved) == nullptr) return false;
  uint32_t record = kNoNode;
  const DirectoryMirror* mirror = locate(resolved, &record);
  if (mirror == nullptr || !FitsEntryKey(record)) return false;
  *key = MakeEntryKey(static_cast<uint32_t>(mirror->letter() - 'A'), record);
  return true;
}

}  // namespace vessiko
