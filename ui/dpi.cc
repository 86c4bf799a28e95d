#include "ui/dpi.h"

namespace vessiko {

UINT WindowDpi(HWND window) {
  const UINT dpi = GetDpiForWindow(window);
  return dpi != 0 ? dpi : kBaseDpi;
}

HFONT CreateStatusFont(UINT dpi) {
  NONCLIENTMETRICSW metrics = {};
  metrics.cbSize = sizeof metrics;
  if (!SystemParametersInfoForDpi(SPI_GETNONCLIENTMETRICS, sizeof metrics, &metrics, 0, dpi))
    return nullptr;
  return CreateFontIndirectW(&metrics.lfStatusFont);
}

}  // namespace vessiko
