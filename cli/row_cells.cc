#include "cli/row_cells.h"

#include "mirror/file_name_bytes.h"
#include "search/result_cell_text.h"

namespace vessiko {

bool ResultCells::describe(uint32_t row, RowCells* c, uint32_t wanted) {
  RowDescription& d = description_;
  if (!rows_.describe(row, wanted, &d)) return false;
  const bool directory = d.entry.isDirectory;
  c->volume = d.volume;
  c->record = d.recordNumber;
  c->name.clear();
  AppendFileNameBytes(d.baseName, &c->name);
  c->extension.clear();
  AppendFileNameBytes(d.extension, &c->extension);
  // The first folder is the volume's root, named "C:" in the index: its place is the drive's
  // directory.
  c->folder.clear();
  if (!d.folders.empty()) {
    c->folder.assign(roots_[d.volume]);
    if (c->folder.empty() || c->folder.back() != '/') c->folder.push_back('/');
    for (size_t i = 1; i < d.folders.size(); ++i) {
      AppendFileNameBytes(d.folders[i], &c->folder);
      c->folder.push_back('/');
    }
  }
  const FileValues& v = d.values;
  c->size.clear();
  c->creation.clear();
  c->lastChange.clear();
  c->lastAccess.clear();
  c->attributes.clear();
  if (v.delivered & kSize) c->size = SizeText(v.size);
  if (v.delivered & kCreationTime) c->creation = TimeText(clock_.toLocal(v.creation));
  if (v.delivered & kRecordChangeTime) c->lastChange = TimeText(clock_.toLocal(v.recordChange));
  if (v.delivered & kLastAccessTime) c->lastAccess = TimeText(clock_.toLocal(v.lastAccess));
  if (v.delivered & kAttributes) c->attributes = AttributeText(v.attributes, directory);
  return true;
}

void ResultCells::joinPath(const RowCells& cells, std::string* out) const {
  if (cells.folder.empty()) {
    out->assign(roots_[cells.volume]);
    return;
  }
  out->assign(cells.folder);
  out->append(cells.name);
  if (!cells.extension.empty()) {
    out->push_back('.');
    out->append(cells.extension);
  }
}

}  // namespace vessiko
