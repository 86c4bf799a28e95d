// UserMessages for a terminal: the status and the boxes go to standard error, and a question
// is answered on the controlling terminal (or takes its default answer when there is none).
#pragma once

#include <cstdio>
#include <mutex>

#include "platform/user_messages.h"

namespace vessiko {

class TerminalMessages : public UserMessages {
 public:
  // defaultAnswer: the answer to a question when no terminal can be asked.
  explicit TerminalMessages(bool defaultAnswer) : defaultAnswer_(defaultAnswer) {}

  void showStatus(std::string_view text) override;
  void showMessage(std::string_view caption, std::string_view text, MessageIcon icon) override;
  bool askYesNo(std::string_view caption, std::string_view text, MessageIcon icon) override;

 private:
  std::mutex mutex_;
  bool defaultAnswer_;
};

}  // namespace vessiko
