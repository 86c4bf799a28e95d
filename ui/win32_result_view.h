// The result view of the Win32 dialog: the count and the redraws of the virtual list view
// (control 1002) reach it through the posting route, from whichever thread they come.
#pragma once

#include <windows.h>

#include <atomic>

#include "platform/result_view.h"
#include "ui/ui_tasks.h"

namespace vessiko {

class Win32ResultView final : public ResultView {
 public:
  explicit Win32ResultView(UiTasks& tasks) : tasks_(tasks) {}

  void attach(HWND list) { list_ = list; }
  void setResultCount(uint32_t rows) override;
  void redrawResults(int first, int last) override;

 private:
  UiTasks& tasks_;
  std::atomic<HWND> list_{nullptr};
};

}  // namespace vessiko
