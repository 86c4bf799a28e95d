// FileEntry: the byte-packed record of one file (any non-directory), in its RecordArena.
//
//   0            4        8
//   +------------+--------+-----+-----------+-----------+------+
//   | recordWord | parent | len | base name | extension | icon |
//   +------------+--------+-----+-----------+-----------+------+
//   recordWord  bits 0-26 record number; bit 27 an icon slot follows; bits 28-29 width code
//               of the extension index (0 none, 1 8-bit, 2 16-bit, 3 32-bit); bit 30 long
//               length form; bit 31 the base name has a unit at or above 0x80
//   parent      while the index is built: the parent's EntryKey; once linked: its RecordRef
//   len         1 byte, or 2 bytes in the long form (packed base name of 256 bytes or more)
//   base name   PackedName of the name without the dot and the extension
//   extension   ExtensionTable index, 0, 1, 2 or 4 bytes as the width code says
//   icon        signed 32-bit system icon index, -1 until fetched; only for the built-in
//               extensions (indexes below 4), whose files carry icons of their own
//
// The volume is not stored: it is the parent's.
#pragma once

#include <cstdint>

#include "index/builtin_extensions.h"
#include "index/record_ref.h"
#include "platform/little_endian.h"

namespace vessiko {

// What a FileEntry is built from.
struct FileEntryParts {
  uint32_t recordNumber = 0;  // only the low 27 bits are kept
  uint32_t parentLink = 0;
  const uint8_t* name = nullptr;  // packed base name
  uint32_t nameLength = 0;
  bool nonAscii = false;
  int32_t extension = -1;  // ExtensionTable index, -1 for none
  // The name has an extension that the table does not hold (a look-up: no file of the index
  // has it) or could not take (memory ran out): no record may be built from these parts.
  bool extensionUnavailable = false;
};

class FileEntry {
 public:
  static constexpr uint32_t kIconSlotBit = 0x08000000;
  static constexpr uint32_t kLongFormBit = 0x40000000;
  static constexpr uint32_t kNonAsciiBit = 0x80000000;
  static constexpr uint32_t kWidthShift = 28;
  static constexpr uint32_t kLongFormFrom = 256;

  explicit FileEntry(uint8_t* bytes) : p_(bytes) {}

  // 0 for none, 1 below 256, 2 below 65536, else 3.
  static constexpr uint32_t widthCodeFor(int32_t extension) {
    if (extension < 0) return 0;
    if (extension < 256) return 1;
    if (extension < 65536) return 2;
    return 3;
  }
  static constexpr uint32_t widthBytes(uint32_t code) { return code == 3 ? 4 : code; }
  static constexpr bool hasIconSlotFor(int32_t extension) {
    return extension >= 0 && extension < kBuiltinExtensionCount;
  }
  static constexpr uint32_t sizeFor(uint32_t nameLength, uint32_t widthCode, bool iconSlot) {
    return nameLength + (nameLength >= kLongFormFrom ? 10 : 9) + widthBytes(widthCode) +
           (iconSlot ? 4 : 0);
  }
  static constexpr uint32_t sizeFor(uint32_t nameLength, int32_t extension) {
    return sizeFor(nameLength, widthCodeFor(extension), hasIconSlotFor(extension));
  }
  static constexpr uint32_t sizeFor(const FileEntryParts& parts) {
    return sizeFor(parts.nameLength, parts.extension);
  }
  static uint32_t recordWordFor(const FileEntryParts& parts);

  // Fills a record of sizeFor(parts) bytes; the icon slot, when there is one, holds -1.
  static void build(uint8_t* out, const FileEntryParts& parts);

  uint32_t recordWord() const { return LoadU32(p_); }
  uint32_t recordNumber() const { return recordWord() & 0x7FFFFFF; }
  bool hasNonAscii() const { return (recordWord() & kNonAsciiBit) != 0; }
  bool hasIconSlot() const { return (recordWord() & kIconSlotBit) != 0; }
  bool isLongForm() const { return (recordWord() & kLongFormBit) != 0; }
  uint32_t widthCode() const { return recordWord() >> kWidthShift & 3; }
  uint32_t parentLink() const { return LoadU32(p_ + 4); }
  void setParentLink(uint32_t link) { StoreU32(p_ + 4, link); }

  // Points *out at the base name and returns its packed length.
  uint32_t nameBytes(const uint8_t** out) const {
    if (isLongForm()) {
      *out = p_ + 10;
      return LoadU16(p_ + 8);
    }
    *out = p_ + 9;
    return p_[8];
  }
  // Reads the extension index that starts at pastName (just after the base name); -1 when
  // the file has none. Stores the width code in *code when asked.
  int32_t extensionIndex(const uint8_t* pastName, uint32_t* code = nullptr) const;
  int32_t extensionIndex() const;
  // The icon slot; only when hasIconSlot(). It follows an 8-bit index, one byte past the name.
  int32_t iconSlot() const;
  void setIconSlot(int32_t icon);
  uint32_t recordSize() const;
  uint8_t* bytes() const { return p_; }

 private:
  uint8_t* pastName() const {
    const uint8_t* name;
    const uint32_t length = nameBytes(&name);
    return const_cast<uint8_t*>(name) + length;
  }

  uint8_t* p_;
};

}  // namespace vessiko
