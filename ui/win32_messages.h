// UserMessages for the Win32 dialog. The status text reaches the window through the posting
// route (UiTasks), from whichever thread it comes. Boxes use the
// wide calls: from the interface thread a box is owned by the dialog, so that it is modal to
// the window; from a worker it has no owner and blocks only that worker. An empty caption is
// the system's default one.
//
// The yes/no question is owned by the dialog and always shown by the interface thread: a
// worker that asks (the start-up, about an out-of-date database) waits for the answer, and
// the close, which waits for that worker, first ends every question with "否" (endQuestions),
// so the close never waits for a box nobody can answer.
//
// Thread safety: every operation may be called from any thread.
#pragma once

#include <windows.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <string>

#include "platform/user_messages.h"
#include "ui/ui_tasks.h"

namespace vessiko {

class Win32Messages : public UserMessages {
 public:
  explicit Win32Messages(UiTasks& tasks) : tasks_(tasks) {}

  // dialog: owns the boxes; statusBar: shows the status.
  void attach(HWND dialog, HWND statusBar);

  void showStatus(std::string_view text) override;
  // On the interface thread the box shows once the current handler has returned (see the
  // definition); from other threads at once.
  void showMessage(std::string_view caption, std::string_view text, MessageIcon icon) override;
  // A box owned by the dialog, shown at once and waited for, for a command that goes on only
  // once it is closed (the caller holds no lock of the engine).
  virtual void showMessageAndWait(std::string_view caption, std::string_view text,
                                  MessageIcon icon);
  bool askYesNo(std::string_view caption, std::string_view text, MessageIcon icon) override;
  bool askYesNoWithoutOwner(std::string_view caption, std::string_view text,
                            MessageIcon icon) override;
  // The window is closing: every question asked from now on, or waiting for its answer, is
  // answered "否".
  void endQuestions();

 private:
  int box(HWND owner, std::string_view caption, std::string_view text, UINT flags) const;

  UiTasks& tasks_;
  std::mutex questionLock_;
  std::condition_variable answered_;
  bool questionsEnded_ = false;
  std::atomic<HWND> dialog_{nullptr};
  std::atomic<HWND> statusBar_{nullptr};
};

// The MB_ICON* flag of an icon.
UINT MessageBoxIcon(MessageIcon icon);

}  // namespace vessiko
