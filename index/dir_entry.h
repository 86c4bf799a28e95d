// DirEntry: the byte-packed record of one directory, in its RecordArena.
//
//   0      4        8            10
//   +------+--------+------------+----------------+
//   | key  | parent | len | flag | PackedName ... |
//   +------+--------+------------+----------------+
//   key     EntryKey of the directory
//   parent  while the index is built: the parent's EntryKey; once linked: the parent's
//           RecordRef, kNoRecord for a volume root
//   len     bits 0-14: packed name length; bit 15: the name has a unit at or above 0x80
//
// The size, packed length + 10, is part of the core database's format: record indexes are
// derived from the sequence of sizes.
#pragma once

#include <cstdint>

#include "index/entry_key.h"
#include "index/record_ref.h"
#include "platform/little_endian.h"

namespace vessiko {

// Walks up parent links stop after this many steps: an NTFS path of 32767 units has fewer
// levels, so only a damaged chain (a cycle) reaches it.
constexpr uint32_t kMaxDirectoryDepth = 16384;

class DirEntry {
 public:
  static constexpr uint32_t kHeaderBytes = 10;
  static constexpr uint16_t kNonAsciiFlag = 0x8000;
  static constexpr uint32_t kRootBytes = kHeaderBytes + 2;

  explicit DirEntry(uint8_t* bytes) : p_(bytes) {}

  static constexpr uint32_t sizeFor(uint32_t packedLength) { return packedLength + kHeaderBytes; }

  // Fills a record of sizeFor(length) bytes.
  static void build(uint8_t* out, EntryKey key, uint32_t parentLink, const uint8_t* packed,
                    uint32_t length, bool nonAscii);
  // Fills the 12-byte root record of a volume: its key, no parent, the name "C:" and so on.
  static void initRoot(uint8_t* out, uint32_t volume);

  EntryKey key() const { return LoadU32(p_); }
  uint32_t parentLink() const { return LoadU32(p_ + 4); }
  void setParentLink(uint32_t link) { StoreU32(p_ + 4, link); }
  bool hasNonAscii() const { return (LoadU16(p_ + 8) & kNonAsciiFlag) != 0; }
  uint32_t nameLength() const { return LoadU16(p_ + 8) & 0x7FFF; }
  const uint8_t* name() const { return p_ + kHeaderBytes; }
  // Points *out at the name and returns its packed length.
  uint32_t nameBytes(const uint8_t** out) const {
    *out = name();
    return nameLength();
  }
  uint32_t recordSize() const { return nameLength() + kHeaderBytes; }
  uint8_t* bytes() const { return p_; }

 private:
  uint8_t* p_;
};

}  // namespace vessiko
