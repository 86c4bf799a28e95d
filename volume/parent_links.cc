#include "volume/parent_links.h"

#include <algorithm>
#include <map>

#include "index/heap_array.h"
#include "index/rooted_directories.h"

namespace vessiko {

namespace {

// The directory records by key for the linking, which looks one up per record: a slot per record
// number up to each volume's highest directory, when the volumes' record numbers are dense
// enough that the slots cost no more than two per entry; the directory map's search otherwise.
class DirectoryLookup {
 public:
  explicit DirectoryLookup(const Index& index)
      : map_(index.dirMap), slots_(index.heap, slotsFor(index)) {
    if (!slots_.ok() || slots_.size() == 0) return;
    std::fill(slots_.begin(), slots_.end(), kNoRecord);
    map_.forEach([&](const DirMapPair& pair) {
      slots_[first_[VolumeOf(pair.key)] + RecordNumberOf(pair.key)] = pair.dir;
    });
    direct_ = true;
  }

  // kNoRecord for a key without a directory, or with a retired one.
  RecordRef find(EntryKey key) const {
    if (direct_) {
      const uint32_t volume = VolumeOf(key);
      const uint32_t number = RecordNumberOf(key);
      return number < count_[volume] ? slots_[first_[volume] + number] : kNoRecord;
    }
    const DirMapPair* pair = map_.find(key);
    return pair != nullptr ? pair->dir : kNoRecord;
  }

 private:
  // Every value of a key's top bits, so that no key needs a check.
  static constexpr uint32_t kVolumeValues = 1u << (32 - kVolumeShift);

  size_t slotsFor(const Index& index) {
    map_.forEach([&](const DirMapPair& pair) {
      uint32_t& count = count_[VolumeOf(pair.key)];
      count = std::max(count, RecordNumberOf(pair.key) + 1);
    });
    size_t total = 0;
    for (uint32_t volume = 0; volume < kVolumeValues; ++volume) {
      first_[volume] = total;
      total += count_[volume];
    }
    const size_t entries = size_t{index.dirs.itemCount()} + index.files.itemCount();
    return total <= 2 * entries ? total : 0;
  }

  const DirMap& map_;
  size_t first_[kVolumeValues] = {};
  uint32_t count_[kVolumeValues] = {};
  HeapArray<RecordRef> slots_;
  bool direct_ = false;
};

}  // namespace

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
  const DirectoryLookup directories(index);
  // Without a placeholder (memory ran out) a record whose parent is missing goes at once.
  const auto link = [&](auto entry) {
    RecordRef to = directories.find(entry.parentLink());
    if (to == kNoRecord) to = placeholderFor(entry.parentLink());
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
