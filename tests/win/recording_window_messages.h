// The window's user messages with the boxes recorded instead of shown, so that no test ever
// waits for a click; the status bar goes through the real window as in the program.
#pragma once

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "ui/win32_messages.h"

namespace vessiko::testing {

class RecordingWindowMessages final : public Win32Messages {
 public:
  struct Box {
    std::string caption;
    std::string text;
    MessageIcon icon;
    bool question;
  };

  using Win32Messages::Win32Messages;

  void showMessage(std::string_view caption, std::string_view text, MessageIcon icon) override;
  void showMessageAndWait(std::string_view caption, std::string_view text,
                          MessageIcon icon) override {
    showMessage(caption, text, icon);
  }
  // Recorded and answered No; with realQuestions, recorded and asked in a real box.
  bool askYesNo(std::string_view caption, std::string_view text, MessageIcon icon) override;
  std::vector<Box> boxes() const;
  void clearBoxes();

  std::atomic<bool> realQuestions{false};

 private:
  mutable std::mutex mutex_;
  std::vector<Box> boxes_;
};

}  // namespace vessiko::testing
