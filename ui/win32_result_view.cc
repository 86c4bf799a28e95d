#include "ui/win32_result_view.h"

#include <commctrl.h>

namespace vessiko {

void Win32ResultView::setResultCount(uint32_t rows) {
  tasks_.post([list = list_.load(), rows] {
    if (IsWindow(list)) SendMessageW(list, LVM_SETITEMCOUNT, rows, 0);
  });
}

void Win32ResultView::redrawResults(int first, int last) {
  tasks_.post([list = list_.load(), first, last] {
    if (!IsWindow(list)) return;
    const LRESULT count = SendMessageW(list, LVM_GETITEMCOUNT, 0, 0);
    const LRESULT end = last == kToTheEnd ? count - 1 : last;
    if (count > 0 && first <= end) SendMessageW(list, LVM_REDRAWITEMS, first, end);
    InvalidateRect(list, nullptr, TRUE);
  });
}

}  // namespace vessiko
