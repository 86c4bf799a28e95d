// User messages and a result view that remember everything they were told and answer
// questions from a script, so that tests can check texts and no box ever blocks a test.
#pragma once

#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <vector>

#include "platform/result_view.h"
#include "platform/user_messages.h"

namespace vessiko {

class RecordingMessages : public UserMessages, public ResultView {
 public:
  struct Message {
    std::string caption;
    std::string text;
    MessageIcon icon;
    bool owned = true;  // a question shown over the main window
  };

  void showStatus(std::string_view text) override;
  void showMessage(std::string_view caption, std::string_view text, MessageIcon icon) override;
  bool askYesNo(std::string_view caption, std::string_view text, MessageIcon icon) override;
  bool askYesNoWithoutOwner(std::string_view caption, std::string_view text,
                            MessageIcon icon) override;
  void setResultCount(uint32_t rows) override;

  // Answers for the coming questions, in order; when none is left the default answers.
  void queueAnswer(bool yes);
  void setDefaultAnswer(bool yes);

  std::vector<std::string> statuses() const;
  std::string lastStatus() const;
  std::vector<Message> messages() const;
  std::vector<Message> questions() const;
  // The texts of the boxes titled "错误", in order.
  std::vector<std::string> errors() const;
  int64_t resultCount() const;  // -1 before the first count
  void clear();

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> statuses_;
  std::vector<Message> messages_;
  std::vector<Message> questions_;
  bool answer(std::string_view caption, std::string_view text, MessageIcon icon, bool owned);

  std::deque<bool> answers_;
  bool defaultAnswer_ = true;
  int64_t resultCount_ = -1;
};

}  // namespace vessiko
