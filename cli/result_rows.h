// ResultRows: the eight cells of a row of the result list, formatted as the window formats
// them: name, extension, folder, size ("%d B", "%0.2f KB", ...), the three times
// ("%d年%d月%d日 %d时%d分", local time) and the attributes ("[普通]文件", "[隐藏,系统]文件夹",
// ...). Rows below the directory count are directories, the rest files, each list in its order.
//
// On Linux the folder is the real folder on this system: the drive's directory joined with the
// names, '/' between them, ending in '/'. Names are the file system's own bytes. A value the
// file record does not give (the entry has just gone) leaves its cell empty.
//
// Thread safety: REQUIRES the index lock and the search lock while rows are described, so the
// lists and the records they name hold still.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "search/engine.h"

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

class ResultRows {
 public:
  // roots: each volume's real directory ("" for a volume not mirrored).
  ResultRows(Engine& engine, Clock& clock, std::array<std::string, kVolumeCount> roots)
      : engine_(engine), clock_(clock), roots_(std::move(roots)) {}

  uint32_t count() const;
  // Fills every cell of the row, reusing the strings' room.
  void describe(uint32_t row, RowCells* cells);
  // The entry's path from the index: folder + name (+ "." + extension).
  static void joinPath(const RowCells& cells, std::string* out);

 private:
  void folderOf(RecordRef dir, uint32_t volume, std::string* out);
  void appendName(const uint8_t* packed, uint32_t length, std::string* out);

  Engine& engine_;
  Clock& clock_;
  std::array<std::string, kVolumeCount> roots_;
  std::vector<RecordRef> chain_;
  std::u16string units_;
};

}  // namespace vessiko
