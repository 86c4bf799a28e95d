#include "ui/window_geometry.h"

namespace vessiko {

RECT RectInClient(HWND parent, HWND child) {
  RECT rect;
  GetWindowRect(child, &rect);
  MapWindowPoints(nullptr, parent, reinterpret_cast<POINT*>(&rect), 2);
  return rect;
}

void WindowMoves::move(HWND window, int x, int y, int width, int height, UINT flags) {
  moves_.push_back({window, x, y, width, height, flags | SWP_NOZORDER | SWP_NOACTIVATE});
}

WindowMoves::~WindowMoves() {
  HDWP batch = BeginDeferWindowPos(static_cast<int>(moves_.size()));
  for (const Move& m : moves_) {
    if (batch == nullptr) break;
    batch = DeferWindowPos(batch, m.window, nullptr, m.x, m.y, m.width, m.height, m.flags);
  }
  if (batch != nullptr && EndDeferWindowPos(batch)) return;
  // A batch the system could not hold is given up whole: each window moves on its own.
  for (const Move& m : moves_)
    SetWindowPos(m.window, nullptr, m.x, m.y, m.width, m.height, m.flags);
}

}  // namespace vessiko
