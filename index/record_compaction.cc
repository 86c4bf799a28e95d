#include "index/record_compaction.h"

#include <cstring>

namespace vessiko {

namespace {

// Copies the records of a list, in list order, into a fresh arena.
template <class SizeOf>
bool copyInOrder(const EntryList& list, const RecordArena& from, RecordArena& to, SizeOf sizeOf) {
  for (uint32_t b = 0; b < list.blockCount(); ++b) {
    const EntryList::Block& block = list.block(b);
    for (uint32_t s = block.first; s < block.end; ++s) {
      const uint8_t* record = from.at(block.slots[s]);
      const uint32_t size = sizeOf(record);
      const RecordRef copy = to.allocate(size);
      if (copy == kNoRecord) return false;
      std::memcpy(to.at(copy), record, size);
    }
  }
  return true;
}

uint32_t dirSize(const uint8_t* record) {
  return DirEntry(const_cast<uint8_t*>(record)).recordSize();
}
uint32_t fileSize(const uint8_t* record) {
  return FileEntry(const_cast<uint8_t*>(record)).recordSize();
}

}  // namespace

bool compactRecords(Index& index) {
  RecordArena dirs(index.heap);
  RecordArena files(index.heap);
  if (!copyInOrder(index.dirs, index.dirArena, dirs, dirSize) ||
      !copyInOrder(index.files, index.fileArena, files, fileSize)) {
    return false;
  }
  // Each old directory record's first word now names its copy; the copies keep the keys. The
  // copies' handles follow from replaying the allocation rule over the same sizes.
  RecordArena::Replay dirCopies;
  for (uint32_t b = 0; b < index.dirs.blockCount(); ++b) {
    EntryList::Block& block = index.dirs.block(b);
    for (uint32_t s = block.first; s < block.end; ++s) {
      const RecordRef copy = dirCopies.next(index.dir(block.slots[s]).recordSize());
      storeU32(index.dirArena.at(block.slots[s]), copy);
      block.slots[s] = copy;
    }
  }
  const auto forward = [&index](uint32_t old) {
    return old == kNoRecord ? kNoRecord : loadU32(index.dirArena.at(old));
  };
  for (uint32_t b = 0; b < index.dirs.blockCount(); ++b) {
    const EntryList::Block& block = index.dirs.block(b);
    for (uint32_t s = block.first; s < block.end; ++s) {
      DirEntry copy(dirs.at(block.slots[s]));
      copy.setParentLink(forward(copy.parentLink()));
    }
  }
  for (uint32_t b = 0; b < index.dirMap.blockCount(); ++b) {
    DirMap::Block& block = index.dirMap.block(b);
    for (uint32_t s = block.first; s < block.end; ++s)
      block.slots[s].dir = forward(block.slots[s].dir);
  }
  RecordArena::Replay fileCopies;
  for (uint32_t b = 0; b < index.files.blockCount(); ++b) {
    EntryList::Block& block = index.files.block(b);
    for (uint32_t s = block.first; s < block.end; ++s) {
      const RecordRef copy = fileCopies.next(index.file(block.slots[s]).recordSize());
      FileEntry file(files.at(copy));
      file.setParentLink(forward(file.parentLink()));
      block.slots[s] = copy;
    }
  }
  index.dirArena.swap(dirs);
  index.fileArena.swap(files);
  return true;
}

}  // namespace vessiko
