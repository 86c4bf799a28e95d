// UserMessages for the Win32 dialog. Worker threads never touch a window directly: the status
// text travels to the dialog as a posted message, which the dialog hands back to
// deliverPostedStatus on its own thread, so a worker holding a lock can never wait for a
// user-interface thread that waits for that lock. Boxes use the wide calls.
#pragma once

#include <windows.h>

#include <atomic>
#include <mutex>
#include <string>

#include "platform/user_messages.h"

namespace vessiko {

class Win32Messages : public UserMessages {
 public:
  // Posted to the dialog with a heap std::wstring* in lParam.
  static constexpr UINT kStatusMessage = WM_APP + 1;

  // dialog: receives kStatusMessage and owns the questions; statusBar: shows the status;
  // resultList: the virtual list view of the results.
  void attach(HWND dialog, HWND statusBar, HWND resultList);

  void showStatus(std::string_view text) override;
  void showMessage(std::string_view caption, std::string_view text, MessageIcon icon) override;
  bool askYesNo(std::string_view caption, std::string_view text, MessageIcon icon) override;
  void setResultCount(uint32_t rows) override;
  void redrawResults(int first, int last) override;
  void readQueryTexts(std::u16string* name, std::u16string* extension) override;
  FolderChoice browseForFolder(std::u16string* path) override;

  // The dialog keeps the texts of its two query fields here on every change, so that a search
  // on any thread reads them without sending a message to the dialog's thread.
  void setQueryTexts(std::u16string name, std::u16string extension);

  // Called by the dialog for kStatusMessage: shows and frees the posted text.
  void deliverPostedStatus(LPARAM text);

 private:
  std::atomic<HWND> dialog_{nullptr};
  std::atomic<HWND> statusBar_{nullptr};
  std::atomic<HWND> resultList_{nullptr};
  std::mutex textsLock_;
  std::u16string name_;
  std::u16string extension_;
};

UINT iconFlags(MessageIcon icon);

}  // namespace vessiko
