#include "cli/result_rows.h"

#include <cinttypes>
#include <cstdio>

#include "index/packed_name.h"
#include "platform/ntfs_layout.h"
#include "platform/posix/file_name_bytes.h"
#include "volume/file_record_reader.h"

namespace vessiko {

void formatSize(uint64_t bytes, std::string* out) {
  char text[64];
  if (bytes < 1024) {
    std::snprintf(text, sizeof text, "%d B", static_cast<int>(bytes));
  } else if (bytes < 1048576) {
    std::snprintf(text, sizeof text, "%0.2f KB", static_cast<double>(bytes) / 1024.0);
  } else if (bytes < 1073741824) {
    std::snprintf(text, sizeof text, "%0.2f MB", static_cast<double>(bytes) / 1048576.0);
  } else {
    std::snprintf(text, sizeof text, "%0.2f GB", static_cast<double>(bytes) / 1073741824.0);
  }
  out->assign(text);
}

void formatAttributes(uint32_t flags, bool directory, std::string* out) {
  const bool hidden = (flags & ntfs::kAttributeHidden) != 0;
  const bool system = (flags & ntfs::kAttributeSystem) != 0;
  if (!hidden && !system) {
    out->assign("[普通]");
  } else {
    out->assign("[");
    if (hidden) out->append("隐藏,");
    if (system) out->append("系统,");
    out->back() = ']';
  }
  out->append(directory ? "文件夹" : "文件");
}

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

void ResultRows::formatTime(uint64_t fileTime, std::string* out) {
  const CalendarTime t = clock_.toLocal(fileTime);
  char text[64];
  std::snprintf(text, sizeof text, "%d年%d月%d日 %d时%d分", t.year, t.month, t.day, t.hour,
                t.minute);
  out->assign(text);
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
    if (got & kSize) formatSize(size, &c->size);
  }
  c->creation.clear();
  c->lastChange.clear();
  c->lastAccess.clear();
  c->attributes.clear();
  if (got & kCreationTime) formatTime(creation, &c->creation);
  if (got & kRecordChangeTime) formatTime(lastChange, &c->lastChange);
  if (got & kLastAccessTime) formatTime(lastAccess, &c->lastAccess);
  if (got & kAttributes) formatAttributes(flags, directory, &c->attributes);
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
