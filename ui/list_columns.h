// The report columns of the dialog's list views.
#pragma once

#include <windows.h>

#include <span>

namespace vessiko {

struct ListColumn {
  const char* header;  // UTF-8
  int width;           // pixels at 96 DPI
  int format;          // LVCFMT_*
};

// Inserts the columns in order, their widths scaled to the list's DPI.
void InsertListColumns(HWND list, std::span<const ListColumn> columns);
// The list's DPI went from `from` to `to`: every column's width, the user's own with it, keeps
// its size on the screen.
void RescaleListColumns(HWND list, UINT from, UINT to);

}  // namespace vessiko
