// UserMessages for the Win32 dialog. The status text, the result count and the redraw reach the
// window through the posting route (UiTasks), from whichever thread they come. Boxes use the
// wide calls: from the interface thread a box is owned by the dialog, so that it is modal to
// the window; from a worker it has no owner and blocks only that worker. The yes/no question
// is owned by the dialog.
//
// Thread safety: every operation may be called from any thread.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>

#include "platform/user_messages.h"
#include "ui/ui_tasks.h"

namespace vessiko {

class Win32Messages : public UserMessages {
 public:
  explicit Win32Messages(UiTasks& tasks) : tasks_(tasks) {}

  // dialog: owns the boxes and the folder browser; statusBar: shows the status; resultList:
  // the virtual list view of the results.
  void attach(HWND dialog, HWND statusBar, HWND resultList);

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
  void setResultCount(uint32_t rows) override;
  void redrawResults(int first, int last) override;
  void readQueryTexts(std::u16string* name, std::u16string* extension) override;
  FolderChoice browseForFolder(std::u16string* path) override;

  // The dialog keeps the texts of its two query fields here on every change, so that a search
  // on any thread reads them without sending a message to the dialog's thread.
  void setQueryTexts(std::u16string name, std::u16string extension);

 private:
  UiTasks& tasks_;
  std::atomic<HWND> dialog_{nullptr};
  std::atomic<HWND> statusBar_{nullptr};
  std::atomic<HWND> resultList_{nullptr};
  std::mutex textsLock_;
  std::u16string name_;
  std::u16string extension_;
};

// The MB_ICON* flag of an icon.
UINT MessageBoxIcon(MessageIcon icon);

}  // namespace vessiko
