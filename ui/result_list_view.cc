#include "ui/result_list_view.h"

#include <algorithm>
#include <mutex>

#include "platform/win32/wide_path.h"
#include "ui/cell_text.h"
#include "ui/list_columns.h"
#include "ui/system_icons.h"
#include "volume/file_record_reader.h"

namespace vessiko {

namespace {

constexpr ListColumn kColumns[] = {
    {"文件名", 200, LVCFMT_LEFT},         {"扩展名", 60, LVCFMT_LEFT},
    {"所在目录", 500, LVCFMT_LEFT},       {"文件大小", 80, LVCFMT_RIGHT},
    {"创建时间", 150, LVCFMT_CENTER},     {"最近修改时间", 150, LVCFMT_CENTER},
    {"最近访问时间", 150, LVCFMT_CENTER}, {"属性", 150, LVCFMT_LEFT},
};

// A folder's path as Explorer takes it: "C:\" for a root, "C:\a\b\" below it; empty for a
// volume's root row, which has no folder.
std::u16string FolderPath(const RowDescription& d) {
  std::u16string path;
  for (const std::u16string& name : d.folders) {
    path += name;
    path += u'\\';
  }
  return path;
}

// The entry's name, with "." and the extension for a file that has one.
std::u16string FullName(const RowDescription& d) {
  return d.extensionIndex < 0 ? d.baseName : d.baseName + u'.' + d.extension;
}

// Copies as much of the text as the cell's buffer holds, and terminates it.
void CopyToCell(LVITEMW& item, std::u16string_view text) {
  if (item.pszText == nullptr || item.cchTextMax <= 0) return;
  const size_t n = std::min(text.size(), static_cast<size_t>(item.cchTextMax) - 1);
  std::copy_n(text.begin(), n, item.pszText);
  item.pszText[n] = 0;
}

}  // namespace

void ResultListView::attach(HWND list) {
  list_ = list;
  const LONG_PTR style = GetWindowLongPtrW(list, GWL_STYLE);
  SetWindowLongPtrW(
      list, GWL_STYLE,
      style | WS_CLIPSIBLINGS | WS_CLIPCHILDREN | LVS_SHOWSELALWAYS | LVS_SHAREIMAGELISTS);
  constexpr LPARAM kExtended = LVS_EX_FULLROWSELECT | LVS_EX_INFOTIP | LVS_EX_UNDERLINEHOT;
  SendMessageW(list, LVM_SETEXTENDEDLISTVIEWSTYLE, kExtended, kExtended);
  SendMessageW(list, LVM_SETIMAGELIST, LVSIL_SMALL,
               reinterpret_cast<LPARAM>(SystemSmallImageList()));

  UiState& ui = engine_.ui();
  ui.driveIcon = DriveIconIndex();
  if (ui.folderIcon == -1) ui.folderIcon = FolderIconIndex();

  InsertListColumns(list, kColumns);
}

LRESULT ResultListView::onNotify(const NMHDR& header) {
  switch (header.code) {
    case LVN_GETDISPINFOW:
      OnGetDispInfo(*reinterpret_cast<NMLVDISPINFOW*>(const_cast<NMHDR*>(&header)));
      break;
    case NM_DBLCLK:
      OnDoubleClick(reinterpret_cast<const NMITEMACTIVATE&>(header));
      break;
    case NM_RCLICK:
      OnRightClick(reinterpret_cast<const NMITEMACTIVATE&>(header));
      break;
    case LVN_ODFINDITEMW:
      // The rows are not searched by their first letters: typing in the list stays where it is.
      return -1;
    default:
      break;
  }
  return 0;
}

void ResultListView::OnGetDispInfo(NMLVDISPINFOW& info) {
  LVITEMW& item = info.item;
  if (item.iItem < 0) return;
  const auto row = static_cast<uint32_t>(item.iItem);
  const bool wantsText = (item.mask & LVIF_TEXT) != 0;
  // Column 0 reads the row afresh; the other cells use what it read while it still holds.
  const bool fresh = wantsText && item.iSubItem == 0;
  if ((fresh || !cacheHolds(row)) && !cacheRow(row)) {
    if (wantsText) CopyToCell(item, u"");
    return;
  }
  if (wantsText) CopyToCell(item, cellText(item.iSubItem));
  if ((item.mask & LVIF_IMAGE) != 0) item.iImage = cache_.icon;
}

bool ResultListView::cacheHolds(uint32_t row) {
  if (cache_.row != static_cast<int64_t>(row)) return false;
  ResultRow entry;
  return rows_.entryAt(row, &entry) && entry == cache_.description.entry;
}

bool ResultListView::cacheRow(uint32_t row) {
  cache_.row = -1;
  if (!rows_.describe(row, kAllFileValues, &cache_.description)) return false;
  cache_.path = FolderPath(cache_.description);
  cache_.icon = iconOf(cache_.description, cache_.path);
  cache_.row = row;
  return true;
}

int ResultListView::iconOf(const RowDescription& d, const std::u16string& path) {
  const UiState& ui = engine_.ui();
  const ResultRow& entry = d.entry;
  if (entry.isDirectory) return d.folders.empty() ? ui.driveIcon.load() : ui.folderIcon.load();
  if (d.extensionIndex < 0) return PlainFileIconIndex();
  Index& index = engine_.index();
  // The shell is asked without a lock held: it may take its time.
  if (d.extensionIndex < kBuiltinExtensionCount) {
    // Shortcuts, programs, icons and cursors carry icons of their own: read from the file once
    // and kept in the record.
    {
      MutexLock lock(index.lock);
      const FileEntry file = index.file(entry.ref);
      if (file.hasIconSlot() && file.iconSlot() != -1) return file.iconSlot();
    }
    const int icon = OwnIconIndex(path + FullName(d));
    MutexLock lock(index.lock);
    FileEntry file = index.file(entry.ref);
    if (file.hasIconSlot()) file.setIconSlot(icon);
    return icon;
  }
  // The first file shown with an extension fixes the icon of every file with it.
  const int32_t known = index.extensions.iconOf(d.extensionIndex);
  if (known != ExtensionTable::kIconUnknown) return known;
  const int icon = FileIconIndex(path + FullName(d));
  index.extensions.setIconOf(d.extensionIndex, icon);
  return icon;
}

std::u16string ResultListView::cellText(int column) const {
  const RowDescription& d = cache_.description;
  const FileValues& v = d.values;
  Clock& clock = engine_.environment().clock;
  const auto time = [&](uint32_t bit, uint64_t value) {
    return (v.delivered & bit) != 0 ? TimeCell(clock.toLocal(value)) : std::u16string();
  };
  switch (column) {
    case 0:
      return d.baseName;
    case 1:
      return d.extension;
    case 2:
      return cache_.path;
    case 3:
      if ((v.delivered & kSize) == 0) return {};
      return SizeCell(v.size);
    case 4:
      return time(kCreationTime, v.creation);
    case 5:
      return time(kRecordChangeTime, v.recordChange);
    case 6:
      return time(kLastAccessTime, v.lastAccess);
    case 7:
      if ((v.delivered & kAttributes) == 0) return {};
      return AttributeCell(v.attributes, d.entry.isDirectory);
    default:
      return {};
  }
}

bool ResultListView::describe(int row, RowDescription* out, std::u16string* path) {
  if (row < 0 || !rows_.describe(static_cast<uint32_t>(row), 0, out)) return false;
  *path = FolderPath(*out);
  return true;
}

void ResultListView::OnDoubleClick(const NMITEMACTIVATE& item) {
  // The size, time and attribute columns do nothing.
  if (item.iItem < 0 || item.iSubItem >= 3) return;
  RowDescription d;
  std::u16string path;
  if (!describe(item.iItem, &d, &path)) return;
  if (d.entry.isDirectory && path.empty()) {
    shell_.revealInExplorer(d.baseName);  // a volume root: "C:"
  } else if (item.iSubItem == 2) {
    shell_.revealInExplorer(path);
  } else if (!d.entry.isDirectory && d.extension == u"lnk") {
    shell_.openShortcutTarget(path + FullName(d));
  } else {
    shell_.revealInExplorer(path + FullName(d));
  }
}

void ResultListView::OnRightClick(const NMITEMACTIVATE& item) {
  RowDescription d;
  std::u16string path;
  if (!describe(item.iItem, &d, &path)) return;
  shell_.showContextMenu(list_, path, FullName(d));
}

}  // namespace vessiko
