// UiTasks: the one route from any thread to the window. Workers never touch a window: they
// hand a task to post(), and the dialog runs it on the interface thread when its message loop
// reaches the task message. A task from the interface thread itself is queued the same way, so
// that it never runs inside a caller holding a lock (a search posts its result count while it
// holds the search lock, and the list view answers that count with requests for rows, which
// take the same lock).
#pragma once

#include <windows.h>

#include <atomic>
#include <functional>

namespace vessiko {

class UiTasks {
 public:
  static constexpr UINT kTaskMessage = WM_APP + 1;

  // The dialog that runs the tasks; the calling thread becomes the interface thread.
  void attach(HWND dialog);
  // Called while the dialog is destroyed: later tasks are dropped, and those still queued are
  // dropped unrun.
  void detach();

  bool onInterfaceThread() const { return GetCurrentThreadId() == thread_; }
  // Queues the task for the interface thread; false when it was dropped (no dialog attached).
  bool post(std::function<void()> task);
  // Runs the task at once on the interface thread; from any other thread it is posted.
  void run(std::function<void()> task);

  // The dialog's handler of kTaskMessage.
  static void runPosted(LPARAM task);
  // Runs, on the interface thread, the tasks queued so far (the close does, before the dialog
  // and its queue go).
  void runQueued();

 private:
  std::atomic<HWND> dialog_{nullptr};
  std::atomic<DWORD> thread_{0};
};

}  // namespace vessiko
