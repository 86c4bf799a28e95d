#include "search/result_rows.h"

#include <mutex>

#include "index/packed_name.h"

namespace vessiko {

namespace {

void DecodeName(const uint8_t* bytes, uint32_t length, std::u16string* out) {
  out->resize(length + 1);
  out->resize(decodePackedName(out->data(), bytes, length));
}

// The names of `dir` and the folders above it, the volume's root first. Bounded by the deepest
// chain the index keeps, so a damaged parent link cannot loop.
void FolderNames(const Index& index, RecordRef dir, std::vector<std::u16string>* out) {
  uint32_t depth = 0;
  for (RecordRef at = dir; at != kNoRecord && depth < kMaxDirectoryDepth;
       at = index.dir(at).parentLink()) {
    ++depth;
  }
  out->resize(depth);
  for (uint32_t i = depth; i-- > 0; dir = index.dir(dir).parentLink()) {
    const DirEntry entry = index.dir(dir);
    DecodeName(entry.name(), entry.nameLength(), &(*out)[i]);
  }
}

// False when the row is past the results.
bool ResultRowAt(const SearchState& state, uint32_t row, ResultRow* out) REQUIRES(state.lock) {
  const uint32_t dirs = state.dirResults.count();
  if (row < dirs) {
    *out = {true, state.dirResults.itemAt(row)};
    return true;
  }
  if (row - dirs < state.fileResults.count()) {
    *out = {false, state.fileResults.itemAt(row - dirs)};
    return true;
  }
  return false;
}

}  // namespace

uint32_t ResultRows::count() const {
  MutexLock searchLock(state_.lock);
  return state_.dirResults.count() + state_.fileResults.count();
}

bool ResultRows::entryAt(uint32_t row, ResultRow* out) const {
  MutexLock searchLock(state_.lock);
  return ResultRowAt(state_, row, out);
}

bool ResultRows::placeOf(uint32_t row, uint32_t* volume, uint32_t* recordNumber) const {
  MutexLock indexLock(index_.lock);
  MutexLock searchLock(state_.lock);
  ResultRow entry;
  if (!ResultRowAt(state_, row, &entry)) return false;
  if (entry.isDirectory) {
    const DirEntry dir = index_.dir(entry.ref);
    *volume = VolumeOf(dir.key());
    *recordNumber = RecordNumberOf(dir.key());
  } else {
    const FileEntry file = index_.file(entry.ref);
    *volume = VolumeOf(index_.dir(file.parentLink()).key());
    *recordNumber = file.recordNumber();
  }
  return true;
}

bool ResultRows::describe(uint32_t row, uint32_t wanted, RowDescription* out) const {
  {
    // The index lock keeps a journal monitor from changing records (and regrowing the arenas
    // that hold them) while they are copied; the search lock keeps the result lists still.
    MutexLock indexLock(index_.lock);
    MutexLock searchLock(state_.lock);
    if (!ResultRowAt(state_, row, &out->entry)) return false;
    out->extension.clear();
    out->extensionIndex = -1;
    if (out->entry.isDirectory) {
      const DirEntry dir = index_.dir(out->entry.ref);
      out->volume = VolumeOf(dir.key());
      out->recordNumber = RecordNumberOf(dir.key());
      DecodeName(dir.name(), dir.nameLength(), &out->baseName);
      FolderNames(index_, dir.parentLink(), &out->folders);
    } else {
      const FileEntry file = index_.file(out->entry.ref);
      out->volume = VolumeOf(index_.dir(file.parentLink()).key());
      out->recordNumber = file.recordNumber();
      const uint8_t* bytes;
      const uint32_t length = file.nameBytes(&bytes);
      DecodeName(bytes, length, &out->baseName);
      FolderNames(index_, file.parentLink(), &out->folders);
      const int32_t extension = file.extensionIndex(bytes + length);
      // An index the table gives no text for is shown as a file without an extension.
      if (const char16_t* text = index_.extensions.extensionText(extension)) {
        out->extensionIndex = extension;
        out->extension = text;
      }
    }
  }
  if (out->entry.isDirectory) wanted &= ~uint32_t{kSize};
  out->values =
      wanted == 0 ? FileValues() : ReadFileRecord(slots_, out->volume, out->recordNumber, wanted);
  return true;
}

}  // namespace vessiko
