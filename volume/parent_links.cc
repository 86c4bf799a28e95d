#include "volume/parent_links.h"

#include <map>

#include "index/rooted_directories.h"

namespace vessiko {

void LinkParents(Index& index, VolumeSlots& slots) {
  // One placeholder per missing parent key, its own parent so that no chain through it ends at
  // a root; it waits in the volume's slot, as a folder taken out by a rename waits for its new
  // record, for the replay to make the folder, which then takes over its children.
  std::map<EntryKey, RecordRef> placeholders;
  const auto placeholderFor = [&](EntryKey key) {
    const auto [at, made] = placeholders.emplace(key, kNoRecord);
    if (!made) return at->second;
    const RecordRef placeholder = index.dirArena.allocate(DirEntry::sizeFor(0));
    if (placeholder == kNoRecord) return kNoRecord;
    const uint8_t noName = 0;
    DirEntry::build(index.dirArena.at(placeholder), key, placeholder, &noName, 0, false);
    slots[VolumeOf(key)].pendingRenames.push_back({key, placeholder});
    return at->second = placeholder;
  };
  // Without a placeholder (memory ran out) a record whose parent is missing goes at once.
  const auto link = [&](auto entry) {
    const DirMapPair* parent = index.dirMap.find(entry.parentLink());
    const RecordRef to = parent != nullptr && parent->dir != kNoRecord
                             ? parent->dir
                             : placeholderFor(entry.parentLink());
    entry.setParentLink(to);
    return to != kNoRecord;
  };
  index.dirs.retainIf([&](RecordRef ref) {
    const DirEntry dir = index.dir(ref);
    return dir.parentLink() == kNoRecord || link(dir);  // a volume root has no parent
  });
  index.files.retainIf([&](RecordRef ref) { return link(index.file(ref)); });
}

bool DropUnrooted(Index& index) {
  const RootedDirectories rooted(index);
  if (!rooted.ok()) return false;
  index.dirs.retainIf([&](RecordRef ref) {
    if (rooted.rooted(ref)) return true;
    DirMapPair* own = index.dirMap.find(index.dir(ref).key());
    if (own != nullptr && own->dir == ref) own->dir = kNoRecord;
    return false;
  });
  index.files.retainIf([&](RecordRef ref) { return rooted.rooted(index.file(ref).parentLink()); });
  return true;
}

}  // namespace vessiko
