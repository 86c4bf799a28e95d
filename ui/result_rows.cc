#include "ui/result_rows.h"

#include <algorithm>
#include <vector>

#include "index/packed_name.h"

namespace vessiko {

namespace {

std::u16string DecodeName(const uint8_t* bytes, uint32_t length) {
  std::u16string name(length + 1, u'\0');
  name.resize(decodePackedName(name.data(), bytes, length));
  return name;
}

}  // namespace

bool ResultRowAt(const SearchState& state, uint32_t row, ResultRow* out) {
  const uint32_t dirs = state.dirResults.count();
  if (row < dirs) {
    *out = {true, state.dirResults.itemAt(row)};
    return true;
  }
  if (row - dirs < state.fileResults.count()) {
    *out = {false, state.fileResults.itemAt(row - dirs)};
    return true;
  }
  return false;
}

RecordLocation LocateRecord(const Index& index, const ResultRow& row) {
  if (row.isDirectory) {
    const EntryKey key = index.dir(row.ref).key();
    return {volumeOf(key), recordNumberOf(key)};
  }
  const FileEntry file = index.file(row.ref);
  return {volumeOf(index.dir(file.parentLink()).key()), file.recordNumber()};
}

std::u16string BuildDirectoryPath(const Index& index, RecordRef dir) {
  std::vector<std::u16string> names;
  for (uint32_t depth = 0; dir != kNoRecord && depth < kMaxDirectoryDepth; ++depth) {
    const DirEntry entry = index.dir(dir);
    names.push_back(DecodeName(entry.name(), entry.nameLength()));
    dir = entry.parentLink();
  }
  std::u16string path;
  for (auto name = names.rbegin(); name != names.rend(); ++name) {
    path += *name;
    path += u'\\';
  }
  return path;
}

void DescribeRow(const Index& index, const ResultRow& row, RowDescription* out) {
  *out = RowDescription();
  out->isDirectory = row.isDirectory;
  if (row.isDirectory) {
    const DirEntry dir = index.dir(row.ref);
    out->baseName = DecodeName(dir.name(), dir.nameLength());
    out->name = out->baseName;
    out->path = BuildDirectoryPath(index, dir.parentLink());
    return;
  }
  const FileEntry file = index.file(row.ref);
  const uint8_t* bytes;
  const uint32_t length = file.nameBytes(&bytes);
  out->baseName = DecodeName(bytes, length);
  out->name = out->baseName;
  out->path = BuildDirectoryPath(index, file.parentLink());
  const int32_t extension = file.extensionIndex(bytes + length);
  // An index the table gives no text for is shown as a file without an extension.
  if (const char16_t* text = index.extensions.extensionText(extension)) {
    out->extensionIndex = extension;
    out->extension = text;
    out->name += u'.';
    out->name += out->extension;
  }
}

}  // namespace vessiko
