// ResultRows: the rows of the result view as both faces show them. With D directory results,
// row r < D is the r-th directory result and row D + i the i-th file result, so every directory
// precedes every file.
//
// A row is described in two steps: what the index says of it is copied under the index lock and
// then the search lock, and its size, times and attributes are read from its file record after
// both are released. A record read can take long (a disk read, a statx on a mirrored tree) and
// the journal monitors apply changes under the index lock, so a listing of many rows must not
// hold it across the reads.
//
// Thread safety: any thread; each call takes the locks it needs.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "index/index.h"
#include "search/search_state.h"
#include "volume/file_record_reader.h"
#include "volume/volume_slot.h"

namespace vessiko {

struct ResultRow {
  bool isDirectory = false;
  RecordRef ref = kNoRecord;
  bool operator==(const ResultRow&) const = default;
};

struct RowDescription {
  ResultRow entry;
  // Where the values are read: a directory's from its key, a file's volume from its parent's.
  uint32_t volume = 0;
  uint32_t recordNumber = 0;
  std::u16string baseName;   // the name without the extension
  std::u16string extension;  // empty for a directory or a file without one
  int32_t extensionIndex = -1;
  // The names of the folders from the volume's root ("C:") down to the parent; none for a root.
  std::vector<std::u16string> folders;
  FileValues values;
};

class ResultRows {
 public:
  ResultRows(Index& index, SearchState& state, VolumeSlots& slots)
      : index_(index), state_(state), slots_(slots) {}

  uint32_t count() const;
  // The entry at the row now; false when the row is past the results.
  bool entryAt(uint32_t row, ResultRow* out) const;
  // Where the row's entry lives: its volume and MFT record number, as describe gives them,
  // without copying its names. False when the row is past the results.
  bool placeOf(uint32_t row, uint32_t* volume, uint32_t* recordNumber) const;
  // Describes the row as it stands now and then reads the values in `wanted` (FileRecordValue
  // bits; a directory has no size). False when the row is past the results (a count taken
  // earlier can lag behind a search). Reuses the strings' room.
  bool describe(uint32_t row, uint32_t wanted, RowDescription* out) const;

 private:
  Index& index_;
  SearchState& state_;
  VolumeSlots& slots_;
};

}  // namespace vessiko
