#include "platform/fakes/recording_messages.h"

namespace vessiko {

void RecordingMessages::showStatus(std::string_view text) {
  std::lock_guard lock(mutex_);
  statuses_.emplace_back(text);
}

void RecordingMessages::showMessage(std::string_view caption, std::string_view text,
                                    MessageIcon icon) {
  std::lock_guard lock(mutex_);
  messages_.push_back({std::string(caption), std::string(text), icon});
}

bool RecordingMessages::askYesNo(std::string_view caption, std::string_view text,
                                 MessageIcon icon) {
  return answer(caption, text, icon, true);
}

bool RecordingMessages::askYesNoWithoutOwner(std::string_view caption, std::string_view text,
                                             MessageIcon icon) {
  return answer(caption, text, icon, false);
}

bool RecordingMessages::answer(std::string_view caption, std::string_view text, MessageIcon icon,
                               bool owned) {
  std::lock_guard lock(mutex_);
  questions_.push_back({std::string(caption), std::string(text), icon, owned});
  if (answers_.empty()) return defaultAnswer_;
  const bool yes = answers_.front();
  answers_.pop_front();
  return yes;
}

void RecordingMessages::setResultCount(uint32_t rows) {
  std::lock_guard lock(mutex_);
  resultCount_ = rows;
}

void RecordingMessages::queueAnswer(bool yes) {
  std::lock_guard lock(mutex_);
  answers_.push_back(yes);
}

void RecordingMessages::setDefaultAnswer(bool yes) {
  std::lock_guard lock(mutex_);
  defaultAnswer_ = yes;
}

std::vector<std::string> RecordingMessages::statuses() const {
  std::lock_guard lock(mutex_);
  return statuses_;
}

std::string RecordingMessages::lastStatus() const {
  std::lock_guard lock(mutex_);
  return statuses_.empty() ? std::string() : statuses_.back();
}

std::vector<RecordingMessages::Message> RecordingMessages::messages() const {
  std::lock_guard lock(mutex_);
  return messages_;
}

std::vector<RecordingMessages::Message> RecordingMessages::questions() const {
  std::lock_guard lock(mutex_);
  return questions_;
}

std::vector<std::string> RecordingMessages::errors() const {
  std::lock_guard lock(mutex_);
  std::vector<std::string> texts;
  for (const auto& m : messages_) {
    if (m.caption == "错误") texts.push_back(m.text);
  }
  return texts;
}

int64_t RecordingMessages::resultCount() const {
  std::lock_guard lock(mutex_);
  return resultCount_;
}

void RecordingMessages::clear() {
  std::lock_guard lock(mutex_);
  statuses_.clear();
  messages_.clear();
  questions_.clear();
  resultCount_ = -1;
}

}  // namespace vessiko
