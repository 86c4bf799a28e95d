#include "volume/parent_links.h"

namespace vessiko {

namespace {

// Marks a dropped directory for the walks below. No record has this handle either: the arena
// never makes chunk 0xFFFFF.
constexpr uint32_t kOrphanLink = kNoRecord - 1;

// Whether the chain above dir ends at a volume root. A chain that meets a dropped directory, or
// runs longer than any real path (a cycle), does not; its records are marked on the way so the
// next walk through them stops at once.
bool isRooted(Index& index, RecordRef dir) {
  RecordRef at = dir;
  for (uint32_t depth = 0; depth <= kMaxDirectoryDepth; ++depth) {
    const uint32_t link = index.dir(at).parentLink();
    if (link == kNoRecord) return true;
    if (link == kOrphanLink) break;
    at = link;
  }
  RecordRef mark = dir;
  for (uint32_t depth = 0; depth <= kMaxDirectoryDepth; ++depth) {
    DirEntry entry = index.dir(mark);
    const uint32_t next = entry.parentLink();
    if (next == kOrphanLink) break;
    entry.setParentLink(kOrphanLink);
    DirMapPair* pair = index.dirMap.find(entry.key());
    if (pair != nullptr && pair->dir == mark) pair->dir = kNoRecord;
    mark = next;
  }
  return false;
}

}  // namespace

void linkParents(Index& index) {
  bool dropped = false;
  index.dirs.retainIf([&](RecordRef ref) {
    DirEntry dir = index.dir(ref);
    const uint32_t link = dir.parentLink();
    if (link == kNoRecord) return true;  // a volume root
    const DirMapPair* parent = index.dirMap.find(link);
    if (parent != nullptr && parent->dir != kNoRecord) {
      dir.setParentLink(parent->dir);
      return true;
    }
    DirMapPair* own = index.dirMap.find(dir.key());
    if (own != nullptr && own->dir == ref) own->dir = kNoRecord;
    dir.setParentLink(kOrphanLink);
    dropped = true;
    return false;
  });
  // Children may have been linked to a directory dropped after them.
  if (dropped) index.dirs.retainIf([&](RecordRef ref) { return isRooted(index, ref); });

  index.files.retainIf([&](RecordRef ref) {
    FileEntry file = index.file(ref);
    const DirMapPair* parent = index.dirMap.find(file.parentLink());
    if (parent == nullptr || parent->dir == kNoRecord) return false;
    file.setParentLink(parent->dir);
    return true;
  });
}

}  // namespace vessiko
