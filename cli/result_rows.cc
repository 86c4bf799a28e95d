#include "cli/result_rows.h"

#include <cinttypes>
#include <cstdio>

#include "index/packed_name.h"
#include "platform/ntfs_layout.h"
#include "platform/posix/file_name_bytes.h"
#include "search/result_cell_text.h"
#include "volume/file_record_reader.h"

namespace vessiko {

uint32_t ResultRows::count() const {
  const SearchState& s = engine_.results();
  return s.dirResults.count() + s.fileResults.count();
}

void ResultRows::appendName(const uint8_t* packed, uint32_t length, std::string* out) {
  units_.resize(length + 1);
  units_.resize(decodePackedName(units_.data(), packed, length));
  appendFileNameBytes(units_, out);
}

void ResultRows::folderOf(RecordRef dir, uint32_t volume, std::string* out) {
  const Index& index = engine_.index();
  chain_.clear();
  for (RecordRef at = dir; at != kNoRecord && chain_.size() < kMaxDirectoryDepth;
       at = index.dir(at).parentLink()) {
    chain_.push_back(at);
  }
  // The last link is the volume's root, named "C:" in the index: its place is the drive's
  // directory.
  out->assign(roots_[volume]);
  if (out->empty() || out->back() != '/') out->push_back('/');
  for (size_t i = chain_.size() - 1; i-- > 0;) {
    const DirEntry entry = index.dir(chain_[i]);
    appendName(entry.name(), entry.nameLength(), out);
    out->push_back('/');
  }
}

void ResultRows::describe(uint32_t row, RowCells* c) {
  const Index& index = engine_.index();
  const SearchState& s = engine_.results();
  const uint32_t directories = s.dirResults.count();
  const bool directory = row < directories;
  c->name.clear();
  c->extension.clear();
  c->folder.clear();
  c->size.clear();
  uint64_t creation = 0, lastAccess = 0, lastChange = 0, size = 0;
  uint32_t flags = 0;
  uint32_t got;
  if (directory) {
    const DirEntry dir = index.dir(s.dirResults.itemAt(row));
    c->volume = volumeOf(dir.key());
    c->record = recordNumberOf(dir.key());
    appendName(dir.name(), dir.nameLength(), &c->name);
    if (dir.parentLink() != kNoRecord) folderOf(dir.parentLink(), c->volume, &c->folder);
    got = ReadFileRecord(engine_.slots(), c->volume, c->record, &creation, &lastAccess, &lastChange,
                         nullptr, &flags);
  } else {
    const FileEntry file = index.file(s.fileResults.itemAt(row - directories));
    const RecordRef parent = file.parentLink();
    c->volume = volumeOf(index.dir(parent).key());
    c->record = file.recordNumber();
    const uint8_t* name;
    const uint32_t length = file.nameBytes(&name);
    appendName(name, length, &c->name);
    const int32_t extension = file.extensionIndex(name + length);
    if (const char16_t* text =
            extension >= 0 ? index.extensions.extensionText(extension) : nullptr) {
      appendFileNameBytes(text, &c->extension);
    }
    folderOf(parent, c->volume, &c->folder);
    got = ReadFileRecord(engine_.slots(), c->volume, c->record, &creation, &lastAccess, &lastChange,
                         &size, &flags);
    if (got & kSize) c->size = SizeText(size);
  }
  c->creation.clear();
  c->lastChange.clear();
  c->lastAccess.clear();
  c->attributes.clear();
  if (got & kCreationTime) c->creation = TimeText(clock_.toLocal(creation));
  if (got & kRecordChangeTime) c->lastChange = TimeText(clock_.toLocal(lastChange));
  if (got & kLastAccessTime) c->lastAccess = TimeText(clock_.toLocal(lastAccess));
  if (got & kAttributes) c->attributes = AttributeText(flags, directory);
}

void ResultRows::joinPath(const RowCells& cells, std::string* out) {
  out->assign(cells.folder);
  out->append(cells.name);
  if (!cells.extension.empty()) {
    out->push_back('.');
    out->append(cells.extension);
  }
}

}  // namespace vessiko
