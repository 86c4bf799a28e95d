// ResultCells: the eight cells of a row of the result list, formatted as the window formats
// them: name, extension, folder, size ("%d B", "%0.2f KB", ...), the three times
// ("%d年%d月%d日 %d时%d分", local time) and the attributes ("[普通]文件", "[隐藏,系统]文件夹",
// ...). Rows below the directory count are directories, the rest files, each list in its order.
//
// On Linux the folder is the real folder on this system: the drive's directory joined with the
// names, '/' between them, ending in '/'. Names are the file system's own bytes. A value the
// file record does not give (the entry has just gone) leaves its cell empty.
//
// Thread safety: one thread at a time; rows are described as ResultRows describes them, so no
// lock is held by the caller.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "platform/clock.h"
#include "search/result_rows.h"

namespace vessiko {

struct RowCells {
  std::string name;
  std::string extension;
  std::string folder;
  std::string size;
  std::string creation;
  std::string lastChange;
  std::string lastAccess;
  std::string attributes;
  // Where the entry lives: its volume and MFT record number.
  uint32_t volume = 0;
  uint32_t record = 0;
};

class ResultCells {
 public:
  // roots: each volume's real directory ("" for a volume not mirrored).
  ResultCells(const ResultRows& rows, Clock& clock, std::array<std::string, kVolumeCount> roots)
      : rows_(rows), clock_(clock), roots_(std::move(roots)) {}

  uint32_t count() const { return rows_.count(); }
  const ResultRows& rows() const { return rows_; }
  // Fills the cells of the row, reusing the strings' room; false when the row is past the
  // results (a search since the count was taken). The cells of the values not in `wanted`
  // (FileRecordValue flags) stay empty, and without any nothing is read from the files.
  bool describe(uint32_t row, RowCells* cells, uint32_t wanted = kAllFileValues);
  // The entry's path from the index: folder + name (+ "." + extension); a volume's root is its
  // drive's directory.
  void joinPath(const RowCells& cells, std::string* out) const;

 private:
  ResultRows rows_;
  Clock& clock_;
  std::array<std::string, kVolumeCount> roots_;
  RowDescription description_;
};

}  // namespace vessiko
