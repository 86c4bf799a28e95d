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
  std::lock_guard indexLock(engine_.index().lock);
  std::lock_guard searchLock(engine_.results().lock);
  ResultRow entry;
  return ResultRowAt(engine_.results(), row, &entry) &&
         entry.isDirectory == cache_.entry.isDirectory && entry.ref == cache_.entry.ref;
}

bool ResultListView::cacheRow(uint32_t row) {
  cache_.row = -1;
  RecordLocation where;
  {
    // The index lock keeps a journal monitor from changing records (and regrowing the arenas
    // that hold them) while the row is read; the search lock keeps the result lists still.
    std::lock_guard indexLock(engine_.index().lock);
    std::lock_guard searchLock(engine_.results().lock);
    if (!ResultRowAt(engine_.results(), row, &cache_.entry)) return false;
    DescribeRow(engine_.index(), cache_.entry, &cache_.description);
    where = LocateRecord(engine_.index(), cache_.entry);
  }
  cache_.delivered = ReadFileRecord(
      engine_.slots(), where.volume, where.recordNumber, &cache_.creation, &cache_.lastAccess,
      &cache_.recordChange, cache_.entry.isDirectory ? nullptr : &cache_.size, &cache_.attributes);
  cache_.icon = iconOf(cache_.entry, cache_.description);
  cache_.row = row;
  return true;
}

int ResultListView::iconOf(const ResultRow& entry, const RowDescription& d) {
  const UiState& ui = engine_.ui();
  if (entry.isDirectory) return d.path.empty() ? ui.driveIcon.load() : ui.folderIcon.load();
  if (d.extensionIndex < 0) return PlainFileIconIndex();
  Index& index = engine_.index();
  // The shell is asked without a lock held: it may take its time.
  if (d.extensionIndex < kBuiltinExtensionCount) {
    // Shortcuts, programs, icons and cursors carry icons of their own: read from the file once
    // and kept in the record.
    {
      std::lock_guard lock(index.lock);
      const FileEntry file = index.file(entry.ref);
      if (file.hasIconSlot() && file.iconSlot() != -1) return file.iconSlot();
    }
    const int icon = OwnIconIndex(d.path + d.name);
    std::lock_guard lock(index.lock);
    FileEntry file = index.file(entry.ref);
    if (file.hasIconSlot()) file.setIconSlot(icon);
    return icon;
  }
  // The first file shown with an extension fixes the icon of every file with it.
  const int32_t known = index.extensions.iconOf(d.extensionIndex);
  if (known != ExtensionTable::kIconUnknown) return known;
  const int icon = FileIconIndex(d.path + d.name);
  index.extensions.setIconOf(d.extensionIndex, icon);
  return icon;
}

std::u16string ResultListView::cellText(int column) const {
  const RowCache& c = cache_;
  Clock& clock = engine_.environment().clock;
  const auto time = [&](uint32_t bit, uint64_t value) {
    return (c.delivered & bit) != 0 ? TimeCell(clock.toLocal(value)) : std::u16string();
  };
  switch (column) {
    case 0:
      return c.description.baseName;
    case 1:
      return c.description.extension;
    case 2:
      return c.description.path;
    case 3:
      if (c.entry.isDirectory || (c.delivered & kSize) == 0) return {};
      return SizeCell(c.size);
    case 4:
      return time(kCreationTime, c.creation);
    case 5:
      return time(kRecordChangeTime, c.recordChange);
    case 6:
      return time(kLastAccessTime, c.lastAccess);
    case 7:
      if ((c.delivered & kAttributes) == 0) return {};
      return AttributeCell(c.attributes, c.entry.isDirectory);
    default:
      return {};
  }
}

bool ResultListView::describe(int row, RowDescription* out) {
  if (row < 0) return false;
  std::lock_guard indexLock(engine_.index().lock);
  std::lock_guard searchLock(engine_.results().lock);
  ResultRow entry;
  if (!ResultRowAt(engine_.results(), static_cast<uint32_t>(row), &entry)) return false;
  DescribeRow(engine_.index(), entry, out);
  return true;
}

void ResultListView::OnDoubleClick(const NMITEMACTIVATE& item) {
  // The size, time and attribute columns do nothing.
  if (item.iItem < 0 || item.iSubItem >= 3) return;
  RowDescription d;
  if (!describe(item.iItem, &d)) return;
  if (d.isDirectory && d.path.empty()) {
    shell_.revealInExplorer(d.name);  // a volume root: "C:"
  } else if (item.iSubItem == 2) {
    shell_.revealInExplorer(d.path);
  } else if (!d.isDirectory && d.extension == u"lnk") {
    shell_.openShortcutTarget(d.path + d.name);
  } else {
    shell_.revealInExplorer(d.path + d.name);
  }
}

void ResultListView::OnRightClick(const NMITEMACTIVATE& item) {
  RowDescription d;
  if (!describe(item.iItem, &d)) return;
  shell_.showContextMenu(list_, d.path, d.name);
}

}  // namespace vessiko
