// The rows of the result view as index entries, and the texts that name them. With D directory
// results, row r < D is the r-th directory result and row D + i the i-th file result, so every
// directory precedes every file.
//
// Callers hold the search lock (SearchState::lock) while they use these: the result lists and
// the records they refer to are read.
#pragma once

#include <cstdint>
#include <string>

#include "index/index.h"
#include "search/search_state.h"

namespace vessiko {

struct ResultRow {
  bool isDirectory = false;
  RecordRef ref = kNoRecord;
};

// False when the row is past the results (the view's count can lag behind a search).
bool ResultRowAt(const SearchState& state, uint32_t row, ResultRow* out);

// Where an entry's size, times and attributes are read: its volume and its MFT record number.
// A directory's come from its key; a file's volume from its parent's key.
struct RecordLocation {
  uint32_t volume = 0;
  uint32_t recordNumber = 0;
};
RecordLocation LocateRecord(const Index& index, const ResultRow& row);

// The path of a directory, ending in a backslash: "C:\" for a root, "C:\a\b\" below it; empty
// for kNoRecord. Built in a growable string, so any depth fits.
std::u16string BuildDirectoryPath(const Index& index, RecordRef dir);

// What names a row: the entry's name (for a file with an extension followed by "." and the
// extension), the path of its parent (empty for a volume root), and the extension text.
struct RowDescription {
  bool isDirectory = false;
  std::u16string baseName;   // the name without the extension
  std::u16string name;       // with ".extension" for a file that has one
  std::u16string path;       // BuildDirectoryPath of the parent
  std::u16string extension;  // empty for a directory or a file without one
  int32_t extensionIndex = -1;
};
void DescribeRow(const Index& index, const ResultRow& row, RowDescription* out);

}  // namespace vessiko
