#include "tests/win/recording_window_messages.h"

namespace vessiko::testing {

void RecordingWindowMessages::showMessage(std::string_view caption, std::string_view text,
                                          MessageIcon icon) {
  std::lock_guard lock(mutex_);
  boxes_.push_back({std::string(caption), std::string(text), icon, false});
}

bool RecordingWindowMessages::askYesNo(std::string_view caption, std::string_view text,
                                       MessageIcon icon) {
  {
    std::lock_guard lock(mutex_);
    boxes_.push_back({std::string(caption), std::string(text), icon, true});
  }
  return realQuestions && Win32Messages::askYesNo(caption, text, icon);
}

std::vector<RecordingWindowMessages::Box> RecordingWindowMessages::boxes() const {
  std::lock_guard lock(mutex_);
  return boxes_;
}

void RecordingWindowMessages::clearBoxes() {
  std::lock_guard lock(mutex_);
  boxes_.clear();
}

}  // namespace vessiko::testing
