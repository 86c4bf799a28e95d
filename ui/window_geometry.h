// Where a child window sits in its parent's client area, and moving a parent's children
// together.
#pragma once

#include <windows.h>

#include <vector>

namespace vessiko {

RECT RectInClient(HWND parent, HWND child);

// Moves of one parent's children, gathered and made together (DeferWindowPos) when the object
// goes: the children move at once and the parent repaints once. Until then every child is
// where it was, so what a caller reads of them is their place before the moves.
class WindowMoves {
 public:
  WindowMoves() = default;
  ~WindowMoves();
  WindowMoves(const WindowMoves&) = delete;
  WindowMoves& operator=(const WindowMoves&) = delete;

  // SetWindowPos without a change of z-order or activation; `flags` may add SWP_NOSIZE,
  // SWP_SHOWWINDOW and the like.
  void move(HWND window, int x, int y, int width, int height, UINT flags = 0);

 private:
  struct Move {
    HWND window;
    int x, y, width, height;
    UINT flags;
  };
  std::vector<Move> moves_;
};

}  // namespace vessiko
