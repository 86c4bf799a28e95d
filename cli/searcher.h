// Searcher: what the modes of vessiko search through: the index this process owns (its Face),
// or the process that owns the database folder, over its socket. Both give the same rows for
// the same command line and query.
//
// Thread safety: the thread that drives the mode.
#pragma once

#include <cstdint>
#include <string>

#include "cli/row_cells.h"
#include "search/query_texts.h"

namespace vessiko {

// The options the view toggles.
struct SearchToggles {
  bool caseSensitive = false;
  bool folders = true;
  bool files = true;
};

class Searcher {
 public:
  virtual ~Searcher() = default;

  // Searches as an edit of a query field does. False when the owner of the index went away
  // (the error has been told); nothing found is true.
  virtual bool search(const QueryTexts& query) = 0;
  virtual SearchToggles toggles() = 0;
  // Sets the options and searches again, as the menu's commands do.
  virtual bool setToggles(const SearchToggles& toggles) = 0;
  // The view's idle tick: the results follow the index (a client asks its owner whether the
  // index moved on; the owner applies the scope once its start-up has finished).
  virtual void refresh() = 0;
  // The rows of the last search; 0 when its filter let nothing through.
  virtual uint32_t count() = 0;
  // The row's cells with the values in `wanted` (FileRecordValue bits). False when the row is
  // past the results or the owner went away (see failed()).
  virtual bool describe(uint32_t row, uint32_t wanted, RowCells* cells) = 0;
  // The row's full path, byte for byte as the file system has it (the index keeps extensions
  // lowered), read from the mirror's tree; the index's path when the entry has just gone.
  virtual bool path(uint32_t row, std::string* out) = 0;
  // The paths of the first `count` rows, each followed by `end`, appended to *out; the number
  // appended (fewer when the results shrank meanwhile; see failed() for an owner gone).
  virtual uint32_t appendPaths(uint32_t count, char end, std::string* out);
  // The connection to the owner broke: answers since are not whole.
  virtual bool failed() const { return false; }
};

inline uint32_t Searcher::appendPaths(uint32_t count, char end, std::string* out) {
  std::string path;
  uint32_t row = 0;
  for (; row < count && this->path(row, &path); ++row) {
    out->append(path);
    out->push_back(end);
  }
  return row;
}

}  // namespace vessiko
