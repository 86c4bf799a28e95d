#include "ui/ui_tasks.h"

#include <memory>
#include <utility>

namespace vessiko {

using Task = std::function<void()>;

void UiTasks::attach(HWND dialog) {
  thread_ = GetCurrentThreadId();
  dialog_ = dialog;
}

void UiTasks::detach() {
  HWND dialog = dialog_.exchange(nullptr);
  if (dialog == nullptr) return;
  MSG message;
  while (PeekMessageW(&message, dialog, kTaskMessage, kTaskMessage, PM_REMOVE))
    delete reinterpret_cast<Task*>(message.lParam);
}

bool UiTasks::post(Task task) {
  HWND dialog = dialog_;
  if (dialog == nullptr) return false;
  auto queued = std::make_unique<Task>(std::move(task));
  if (!PostMessageW(dialog, kTaskMessage, 0, reinterpret_cast<LPARAM>(queued.get()))) return false;
  queued.release();  // the dialog's queue owns it now
  return true;
}

void UiTasks::run(Task task) {
  if (onInterfaceThread()) {
    task();
    return;
  }
  post(std::move(task));
}

void UiTasks::runPosted(LPARAM task) {
  const std::unique_ptr<Task> owned(reinterpret_cast<Task*>(task));
  (*owned)();
}

void UiTasks::runQueued() {
  MSG message;
  while (PeekMessageW(&message, dialog_, kTaskMessage, kTaskMessage, PM_REMOVE)) {
    runPosted(message.lParam);
  }
}

}  // namespace vessiko
