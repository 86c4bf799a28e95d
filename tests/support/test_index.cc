#include "tests/support/test_index.h"

#include "index/file_name_split.h"
#include "index/packed_name.h"
#include "platform/utf.h"

namespace vessiko::testing {

std::string decodeToUtf8(const uint8_t* bytes, uint32_t length) {
  std::u16string units(length + 1, u'\0');
  units.resize(decodePackedName(units.data(), bytes, length));
  return utf16ToUtf8(units);
}

TestIndex::TestIndex() : heap_(messages_), index_(heap_, Collation::loadCollationTable()) {}

RecordRef TestIndex::makeDir(EntryKey key, EntryKey parentKey, std::string_view name) {
  const std::u16string units = utf8ToUtf16(name);
  uint8_t packed[kMaxPackedNameBytes * 2];
  const uint32_t length = encodePackedName(packed, units.data(), static_cast<uint32_t>(units.size()));
  const RecordRef ref = index_.dirArena.allocate(DirEntry::sizeFor(length));
  DirEntry::build(index_.dirArena.at(ref), key, parentKey, packed, length, length > units.size());
  return ref;
}

namespace {

FileEntryParts fileParts(ExtensionTable& extensions, uint32_t recordNumber, EntryKey parentKey,
                         std::u16string& units, uint8_t* packed, bool intern) {
  const NameSplit split = splitFileName(units.data(), static_cast<uint32_t>(units.size()));
  FileEntryParts parts;
  parts.recordNumber = recordNumber;
  parts.parentLink = parentKey;
  if (split.hasExtension) {
    char16_t* extension = units.data() + split.extensionStart;
    parts.extension = intern ? extensions.intern(extension, split.extensionLength)
                             : extensions.lookup(extension, split.extensionLength);
  }
  parts.nameLength = encodePackedName(packed, units.data(), split.baseLength);
  parts.name = packed;
  parts.nonAscii = parts.nameLength > split.baseLength;
  return parts;
}

}  // namespace

RecordRef TestIndex::makeFile(uint32_t recordNumber, EntryKey parentKey, std::string_view name) {
  std::u16string units = utf8ToUtf16(name);
  uint8_t packed[kMaxPackedNameBytes * 2];
  const FileEntryParts parts =
      fileParts(index_.extensions, recordNumber, parentKey, units, packed, true);
  const RecordRef ref = index_.fileArena.allocate(FileEntry::sizeFor(parts.nameLength, parts.extension));
  FileEntry::build(index_.fileArena.at(ref), parts);
  return ref;
}

std::vector<uint8_t> TestIndex::fileProbe(uint32_t recordNumber, std::string_view name) {
  std::u16string units = utf8ToUtf16(name);
  uint8_t packed[kMaxPackedNameBytes * 2];
  const FileEntryParts parts = fileParts(index_.extensions, recordNumber, 0, units, packed, false);
  std::vector<uint8_t> bytes(FileEntry::sizeFor(parts.nameLength, parts.extension));
  FileEntry::build(bytes.data(), parts);
  return bytes;
}

std::vector<uint8_t> TestIndex::dirProbe(EntryKey key, std::string_view name) {
  const std::u16string units = utf8ToUtf16(name);
  uint8_t packed[kMaxPackedNameBytes * 2];
  const uint32_t length = encodePackedName(packed, units.data(), static_cast<uint32_t>(units.size()));
  std::vector<uint8_t> bytes(DirEntry::sizeFor(length));
  DirEntry::build(bytes.data(), key, 0, packed, length, length > units.size());
  return bytes;
}

std::string TestIndex::dirName(RecordRef dir) const {
  const DirEntry entry = index_.dir(dir);
  return decodeToUtf8(entry.name(), entry.nameLength());
}

std::string TestIndex::fileName(RecordRef file) const {
  const FileEntry entry = index_.file(file);
  const uint8_t* name;
  const uint32_t length = entry.nameBytes(&name);
  std::string text = decodeToUtf8(name, length);
  const int32_t extension = entry.extensionIndex(name + length);
  if (extension >= 0) {
    const char16_t* ext = index_.extensions.extensionText(extension);
    text.push_back('.');
    text.append(utf16ToUtf8(ext));
  }
  return text;
}

namespace {

std::vector<RecordRef> inOrder(const EntryList& list) {
  std::vector<RecordRef> refs(list.itemCount());
  list.copyTo(refs.data());
  return refs;
}

}  // namespace

std::vector<RecordRef> TestIndex::dirsInOrder() const { return inOrder(index_.dirs); }
std::vector<RecordRef> TestIndex::filesInOrder() const { return inOrder(index_.files); }

}  // namespace vessiko::testing
