#include "tests/support/test_index.h"

#include "index/packed_name.h"
#include "index/record_builder.h"
#include "platform/utf.h"

namespace vessiko::testing {

std::string DecodeToUtf8(const uint8_t* bytes, uint32_t length) {
  std::u16string units(length + 1, u'\0');
  units.resize(decodePackedName(units.data(), bytes, length));
  return Utf16ToUtf8(units);
}

TestIndex::TestIndex(Heap* heap)
    : heap_(heap != nullptr ? std::make_unique<PrivateHeap>(messages_, *heap)
                            : std::make_unique<PrivateHeap>(messages_)),
      index_(*heap_, Collation::loadCollationTable()) {}

RecordRef TestIndex::makeDir(EntryKey key, EntryKey parentKey, std::string_view name) {
  const std::u16string units = Utf8ToUtf16(name);
  return NewDirRecord(index_.dirArena, key, parentKey, units.data(),
                      static_cast<uint32_t>(units.size()));
}

RecordRef TestIndex::makeFile(uint32_t recordNumber, EntryKey parentKey, std::string_view name) {
  std::u16string units = Utf8ToUtf16(name);
  uint8_t packed[kMaxPackedNameBytes];
  FileEntryParts parts =
      PackFileName(index_.extensions, units.data(), static_cast<uint32_t>(units.size()),
                   ExtensionUse::kIntern, packed);
  parts.recordNumber = recordNumber;
  parts.parentLink = parentKey;
  return NewFileRecord(index_.fileArena, parts);
}

std::vector<uint8_t> TestIndex::fileProbe(uint32_t recordNumber, std::string_view name) {
  std::u16string units = Utf8ToUtf16(name);
  uint8_t packed[kMaxPackedNameBytes];
  FileEntryParts parts =
      PackFileName(index_.extensions, units.data(), static_cast<uint32_t>(units.size()),
                   ExtensionUse::kLookUp, packed);
  parts.recordNumber = recordNumber;
  std::vector<uint8_t> bytes(FileEntry::sizeFor(parts));
  FileEntry::build(bytes.data(), parts);
  return bytes;
}

std::vector<uint8_t> TestIndex::dirProbe(EntryKey key, std::string_view name) {
  const std::u16string units = Utf8ToUtf16(name);
  uint8_t packed[kMaxPackedNameBytes];
  bool nonAscii;
  const uint32_t length =
      PackDirName(units.data(), static_cast<uint32_t>(units.size()), packed, &nonAscii);
  std::vector<uint8_t> bytes(DirEntry::sizeFor(length));
  DirEntry::build(bytes.data(), key, 0, packed, length, nonAscii);
  return bytes;
}

std::string TestIndex::dirName(RecordRef dir) const {
  const DirEntry entry = index_.dir(dir);
  return DecodeToUtf8(entry.name(), entry.nameLength());
}

std::string TestIndex::fileName(RecordRef file) const {
  const FileEntry entry = index_.file(file);
  const uint8_t* name;
  const uint32_t length = entry.nameBytes(&name);
  std::string text = DecodeToUtf8(name, length);
  const int32_t extension = entry.extensionIndex(name + length);
  if (extension >= 0) {
    const char16_t* ext = index_.extensions.extensionText(extension);
    text.push_back('.');
    text.append(Utf16ToUtf8(ext));
  }
  return text;
}

std::string TestIndex::pathOf(RecordRef dir) const {
  std::string path = dirName(dir);
  uint32_t depth = 0;
  for (uint32_t parent = index_.dir(dir).parentLink(); parent != kNoRecord;
       parent = index_.dir(parent).parentLink()) {
    if (++depth > kMaxDirectoryDepth) return "<cycle>";
    path = dirName(parent) + "\\" + path;
  }
  return path;
}

std::string TestIndex::filePath(RecordRef file) const {
  return pathOf(index_.file(file).parentLink()) + "\\" + fileName(file);
}

namespace {

std::vector<RecordRef> InOrder(const EntryList& list) {
  std::vector<RecordRef> refs(list.itemCount());
  list.copyTo(refs.data());
  return refs;
}

}  // namespace

std::vector<RecordRef> TestIndex::dirsInOrder() const {
  return InOrder(index_.dirs);
}
std::vector<RecordRef> TestIndex::filesInOrder() const {
  return InOrder(index_.files);
}

}  // namespace vessiko::testing
