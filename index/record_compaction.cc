#include "index/record_compaction.h"

#include <cstring>

namespace vessiko {

namespace {

// Copies the records of a list, in list order, into a fresh arena.
template <class SizeOf>
bool CopyInOrder(const EntryList& list, const RecordArena& from, RecordArena& to, SizeOf sizeOf) {
  return list.forEach([&](RecordRef ref) {
    const uint8_t* record = from.at(ref);
    const uint32_t size = sizeOf(record);
    const RecordRef copy = to.allocate(size);
    if (copy == kNoRecord) return false;
    std::memcpy(to.at(copy), record, size);
    return true;
  });
}

uint32_t DirSize(const uint8_t* record) {
  return DirEntry(const_cast<uint8_t*>(record)).recordSize();
}
uint32_t FileSize(const uint8_t* record) {
  return FileEntry(const_cast<uint8_t*>(record)).recordSize();
}

}  // namespace

bool CompactRecords(Index& index) {
  RecordArena dirs(index.heap);
  RecordArena files(index.heap);
  if (!CopyInOrder(index.dirs, index.dirArena, dirs, DirSize) ||
      !CopyInOrder(index.files, index.fileArena, files, FileSize)) {
    return false;
  }
  // Each old directory record's first word now names its copy; the copies keep the keys. The
  // copies' handles follow from replaying the allocation rule over the same sizes.
  RecordArena::Replay dirCopies;
  index.dirs.forEach([&](RecordRef& ref) {
    const RecordRef copy = dirCopies.next(index.dir(ref).recordSize());
    StoreU32(index.dirArena.at(ref), copy);
    ref = copy;
  });
  const auto forward = [&index](uint32_t old) {
    return old == kNoRecord ? kNoRecord : LoadU32(index.dirArena.at(old));
  };
  index.dirs.forEach([&](RecordRef ref) {
    DirEntry copy(dirs.at(ref));
    copy.setParentLink(forward(copy.parentLink()));
  });
  index.dirMap.forEach([&](DirMapPair& pair) { pair.dir = forward(pair.dir); });
  RecordArena::Replay fileCopies;
  index.files.forEach([&](RecordRef& ref) {
    const RecordRef copy = fileCopies.next(index.file(ref).recordSize());
    FileEntry file(files.at(copy));
    file.setParentLink(forward(file.parentLink()));
    ref = copy;
  });
  index.dirArena.swap(dirs);
  index.fileArena.swap(files);
  return true;
}

}  // namespace vessiko
