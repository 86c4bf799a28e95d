// The mirror's state between runs, kept in a file beside the databases: the tree as the
// volume and the saved index know it (record numbers, names, inodes), the volume's journal
// identifier and its next USN at close. With it the next start rebuilds the same volume, has
// its journal go on from the same place, and only journals the differences with the real tree.
//
// File layout, little-endian. A varint is LEB128 (7 bits a byte, the lowest first); a signed
// varint is the zigzag form of a difference (0, -1, 1, -2, ... as 0, 1, 2, 3, ...).
//
//   0   8  magic "VSKMIRR\x1A"
//   8   4  version (3)
//  12   8  journal identifier
//  20   8  next USN
//  28   8  device of the root
//  36   8  inode of the root
//  44   8  change time of the root (ns since 1970, 0: read it again)
//  52   4  entry count E
//  56   2  length P of the root path, then the P bytes of the path
//   .      E entries in preorder, each directory before its children:
//            varint         the levels from the entry before up to this one's parent: 0 when
//                           the entry before is the parent, 1 for its parent, ... (the root
//                           is the entry before the first)
//            signed varint  record number, less the entry before's (the root's is 5)
//            signed varint  inode, less the entry before's
//            varint         name length N << 2 | kind (1 file, 2 directory, 3 other)
//            N              name bytes
//            8              change time, for a directory
//   .   4  CRC-32 of every byte before it
//
// Entries are a few bytes besides their names, and the file is written from pieces and read
// in blocks, so neither holds the whole of it in memory at once beside the tree.
//
// Reading is strict: anything that does not fit (a bad magic, version or checksum, a parent
// that is not a directory, a record number used twice or out of range, a name that is empty,
// longer than 765 bytes, holds '/' or NUL, or is used twice in its folder, bytes left over)
// rejects the whole file, and the caller starts afresh.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "mirror/mirror_tree.h"
#include "platform/files.h"

namespace vessiko {

// What the state holds besides the tree.
struct MirrorStateHeader {
  std::string rootPath;
  uint64_t rootDevice = 0;
  uint64_t journalId = 0;
  int64_t nextUsn = 0;
};

// Writes the state crash-safely (a temporary file replaces the old one); false with the
// system's error code.
bool WriteMirrorState(Files& files, const std::string& path, const MirrorStateHeader& header,
                      const MirrorTree& tree, uint32_t* error);

// The saved tree, with *header filled in; null when there is no file or it does not pass
// every check.
std::unique_ptr<MirrorTree> ReadMirrorState(Files& files, const std::string& path,
                                            MirrorStateHeader* header);

}  // namespace vessiko
