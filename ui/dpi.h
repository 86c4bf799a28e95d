// Sizes in pixels are written for 96 DPI (100%) and scaled to the DPI of the window they are
// used in: at 150% (144 DPI) a 20-pixel edit is 30 pixels high.
#pragma once

#include <windows.h>

namespace vessiko {

constexpr UINT kBaseDpi = USER_DEFAULT_SCREEN_DPI;

// The window's DPI (that of its monitor for a per-monitor aware program).
UINT WindowDpi(HWND window);

// The system's status-bar font at `dpi`, null when the system gives none; the caller deletes it.
HFONT CreateStatusFont(UINT dpi);

// A size at 96 DPI scaled to `dpi`, rounded to the nearest pixel.
constexpr int Scaled(int pixels, UINT dpi) {
  const long long product = static_cast<long long>(pixels) * dpi;
  const long long half = kBaseDpi / 2;  // signed: a font's height is negative
  return static_cast<int>((product + (product >= 0 ? half : -half)) / kBaseDpi);
}

}  // namespace vessiko
