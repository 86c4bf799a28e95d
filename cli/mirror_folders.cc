#include "cli/mirror_folders.h"

#include <climits>
#include <cstdlib>

#include "mirror/file_name_bytes.h"

namespace vessiko {

char MirrorFolders::locate(const std::string& path, uint32_t* record) const {
  char found = 0;
  size_t rootLength = 0;
  for (const auto& mirror : mirrors_) {
    uint32_t n = kNoNode;
    if ((found == 0 || mirror->root().size() > rootLength) && mirror->folderRecord(path, &n)) {
      found = mirror->letter();
      rootLength = mirror->root().size();
      *record = n;
    }
  }
  for (const NtfsDrive& drive : ntfsDrives_) {
    uint32_t n = kNoNode;
    if ((found == 0 || drive.mountPoint.size() > rootLength) && drive.folderRecord(path, &n)) {
      found = drive.letter;
      rootLength = drive.mountPoint.size();
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
  const char letter = locate(resolved, &record);
  if (letter == 0 || !FitsEntryKey(record)) return false;
  *key = MakeEntryKey(static_cast<uint32_t>(letter - 'A'), record);
  return true;
}

}  // namespace vessiko
