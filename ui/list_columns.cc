#include "ui/list_columns.h"

#include <commctrl.h>

#include <string>

#include "platform/win32/wide_path.h"
#include "ui/dpi.h"

namespace vessiko {

void InsertListColumns(HWND list, std::span<const ListColumn> columns) {
  const UINT dpi = WindowDpi(list);
  int position = 0;
  for (const ListColumn& c : columns) {
    std::wstring header = Widen(c.header);
    LVCOLUMNW column = {};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
    column.fmt = c.format;
    column.cx = Scaled(c.width, dpi);
    column.pszText = header.data();
    SendMessageW(list, LVM_INSERTCOLUMNW, position++, reinterpret_cast<LPARAM>(&column));
  }
}

void RescaleListColumns(HWND list, UINT from, UINT to) {
  const auto header = reinterpret_cast<HWND>(SendMessageW(list, LVM_GETHEADER, 0, 0));
  const auto count = static_cast<int>(SendMessageW(header, HDM_GETITEMCOUNT, 0, 0));
  for (int i = 0; i < count; ++i) {
    const auto width = static_cast<int>(SendMessageW(list, LVM_GETCOLUMNWIDTH, i, 0));
    SendMessageW(list, LVM_SETCOLUMNWIDTH, i,
                 MAKELPARAM(MulDiv(width, static_cast<int>(to), static_cast<int>(from)), 0));
  }
}

}  // namespace vessiko
