// The orders of the two entry lists. Directories compare by name, then by key; files by base
// name, then by extension (a file without one after every file with one, otherwise by the
// lowered extension texts), then by record number. Names alone leave many records equal (a
// hundred thousand index.js in as many folders); the numbers make every directory and every
// file but the hard links of one name distinct, so that placing, finding and removing one is a
// binary search, not a walk along its equals. Each order also gives the first word of a record
// (a directory's key, a file's record word).
//
// Records are named by RecordRef in the lists; a probe built outside the arena (to remove an
// entry) is compared by its bytes.
#pragma once

#include <cstdint>

#include "index/collation.h"
#include "index/dir_entry.h"
#include "index/extension_table.h"
#include "index/file_entry.h"
#include "index/record_arena.h"

namespace vessiko {

int compareDirEntries(const Collation& collation, DirEntry x, DirEntry y);
int compareFileEntries(const Collation& collation, const ExtensionTable& extensions, FileEntry x,
                       FileEntry y);

class DirOrder {
 public:
  static constexpr bool kReplacesEqual = false;

  DirOrder(const RecordArena& arena, const Collation& collation)
      : arena_(arena), collation_(collation) {}

  int compare(const uint8_t* x, RecordRef y) const {
    return compareDirEntries(collation_, DirEntry(const_cast<uint8_t*>(x)), DirEntry(arena_.at(y)));
  }
  int compare(RecordRef x, RecordRef y) const { return compare(arena_.at(x), y); }
  int operator()(RecordRef x, RecordRef y) const { return compare(x, y); }
  uint32_t firstWord(const uint8_t* x) const { return LoadU32(x); }
  uint32_t firstWord(RecordRef x) const { return LoadU32(arena_.at(x)); }

 private:
  const RecordArena& arena_;
  const Collation& collation_;
};

class FileOrder {
 public:
  static constexpr bool kReplacesEqual = false;

  FileOrder(const RecordArena& arena, const Collation& collation, const ExtensionTable& extensions)
      : arena_(arena), collation_(collation), extensions_(extensions) {}

  int compare(const uint8_t* x, RecordRef y) const {
    return compareFileEntries(collation_, extensions_, FileEntry(const_cast<uint8_t*>(x)),
                              FileEntry(arena_.at(y)));
  }
  int compare(RecordRef x, RecordRef y) const { return compare(arena_.at(x), y); }
  int operator()(RecordRef x, RecordRef y) const { return compare(x, y); }
  uint32_t firstWord(const uint8_t* x) const { return LoadU32(x); }
  uint32_t firstWord(RecordRef x) const { return LoadU32(arena_.at(x)); }

 private:
  const RecordArena& arena_;
  const Collation& collation_;
  const ExtensionTable& extensions_;
};

}  // namespace vessiko
