#include "ui/win32_messages.h"

#include <memory>
#include <utility>

#include "platform/win32/wide_path.h"

namespace vessiko {

UINT MessageBoxIcon(MessageIcon icon) {
  switch (icon) {
    case MessageIcon::kInformation:
      return MB_ICONINFORMATION;
    case MessageIcon::kWarning:
      return MB_ICONWARNING;
    case MessageIcon::kError:
      return MB_ICONERROR;
    case MessageIcon::kNone:
      break;
  }
  return 0;
}

void Win32Messages::attach(HWND dialog, HWND statusBar) {
  dialog_ = dialog;
  statusBar_ = statusBar;
  std::lock_guard lock(questionLock_);
  questionsEnded_ = false;
}

int Win32Messages::box(HWND owner, std::string_view caption, std::string_view text,
                       UINT flags) const {
  const std::wstring wideCaption = Widen(caption);
  return MessageBoxW(owner, Widen(text).c_str(), caption.empty() ? nullptr : wideCaption.c_str(),
                     flags);
}

void Win32Messages::showStatus(std::string_view text) {
  tasks_.post([bar = statusBar_.load(), wide = Widen(text)] {
    if (IsWindow(bar)) SetWindowTextW(bar, wide.c_str());
  });
}

void Win32Messages::showMessage(std::string_view caption, std::string_view text, MessageIcon icon) {
  if (!tasks_.onInterfaceThread()) {
    box(nullptr, caption, text, MB_OK | MessageBoxIcon(icon));
    return;
  }
  // On the interface thread the caller may hold the engine's locks (a search that ran out of
  // memory, the save at close): a box shown now would run a message loop that asks the list
  // view for rows, which take those locks. The box waits until the handler has returned.
  tasks_.post([this, dialog = dialog_.load(), caption = std::string(caption),
               text = std::string(text),
               icon] { box(dialog, caption, text, MB_OK | MessageBoxIcon(icon)); });
}

void Win32Messages::showMessageAndWait(std::string_view caption, std::string_view text,
                                       MessageIcon icon) {
  box(dialog_, caption, text, MB_OK | MessageBoxIcon(icon));
}

bool Win32Messages::askYesNo(std::string_view caption, std::string_view text, MessageIcon icon) {
  const UINT flags = MB_YESNO | MessageBoxIcon(icon);
  if (tasks_.onInterfaceThread()) return box(dialog_, caption, text, flags) == IDYES;
  struct Answer {
    bool given = false;
    bool yes = false;
  };
  const auto answer = std::make_shared<Answer>();
  const bool posted =
      tasks_.post([this, answer, caption = std::string(caption), text = std::string(text), flags] {
        {
          std::lock_guard lock(questionLock_);
          if (questionsEnded_) return;  // the close has begun: the question is not shown
        }
        const bool yes = box(dialog_, caption, text, flags) == IDYES;
        std::lock_guard lock(questionLock_);
        answer->given = true;
        answer->yes = yes;
        answered_.notify_all();
      });
  if (!posted) return false;
  std::unique_lock lock(questionLock_);
  answered_.wait(lock, [&] { return answer->given || questionsEnded_; });
  return answer->given && answer->yes;
}

bool Win32Messages::askYesNoWithoutOwner(std::string_view caption, std::string_view text,
                                         MessageIcon icon) {
  return box(nullptr, caption, text, MB_YESNO | MessageBoxIcon(icon)) == IDYES;
}

void Win32Messages::endQuestions() {
  std::lock_guard lock(questionLock_);
  questionsEnded_ = true;
  answered_.notify_all();
}

}  // namespace vessiko
