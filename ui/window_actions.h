// What the command handler asks of the main window beyond its controls: a new layout after a
// panel toggle, and the close sequence (the exit command closes without saving).
#pragma once

namespace vessiko {

class WindowActions {
 public:
  virtual ~WindowActions() = default;
  virtual void layout() = 0;
  // Hides the window; saves the index when `save` is asked and the index is live; closes the
  // volumes; destroys the window.
  virtual void closeWindow(bool save) = 0;
};

}  // namespace vessiko
