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

FolderChoice RecordingWindowMessages::browseForFolder(std::u16string* path) {
  std::lock_guard lock(mutex_);
  if (folders_.empty()) return FolderChoice::kCancelled;
  auto [choice, chosen] = std::move(folders_.front());
  folders_.pop_front();
  *path = std::move(chosen);
  return choice;
}

void RecordingWindowMessages::queueFolder(FolderChoice choice, std::u16string path) {
  std::lock_guard lock(mutex_);
  folders_.emplace_back(choice, std::move(path));
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
