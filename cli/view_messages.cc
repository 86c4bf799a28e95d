#include "cli/view_messages.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>

namespace vessiko {

ViewMessages::ViewMessages() {
  if (pipe2(wake_, O_CLOEXEC | O_NONBLOCK) != 0) wake_[0] = wake_[1] = -1;
}

ViewMessages::~ViewMessages() {
  for (const int fd : wake_) {
    if (fd >= 0) close(fd);
  }
}

void ViewMessages::wake() {
  const char byte = 1;
  // A full pipe already holds a wake-up.
  if (write(wake_[1], &byte, 1) < 0) return;
}

void ViewMessages::drainWakes() {
  char bytes[64];
  while (read(wake_[0], bytes, sizeof bytes) > 0) {
  }
}

void ViewMessages::showStatus(std::string_view text) {
  std::lock_guard lock(mutex_);
  status_.assign(text);
  if (!modal_) std::fprintf(stderr, "%.*s\n", static_cast<int>(text.size()), text.data());
  wake();
}

bool ViewMessages::show(std::string_view caption, std::string_view text, bool question) {
  std::unique_lock lock(mutex_);
  if (!modal_) {
    std::fprintf(stderr, "[%.*s] %.*s\n", static_cast<int>(caption.size()), caption.data(),
                 static_cast<int>(text.size()), text.data());
    return true;  // a question without a view takes its default, Yes: the index stays right
  }
  if (std::this_thread::get_id() == viewThread_) {
    const Modal modal = modal_;
    lock.unlock();
    return modal(caption, text, question);
  }
  Box box{std::string(caption), std::string(text), question};
  answered_.wait(lock, [&] { return waiting_ == nullptr || !modal_; });
  if (!modal_) return false;
  waiting_ = &box;
  wake();
  answered_.wait(lock, [&] { return box.answered; });
  return box.answer;
}

void ViewMessages::showMessage(std::string_view caption, std::string_view text, MessageIcon) {
  show(caption, text, false);
}

bool ViewMessages::askYesNo(std::string_view caption, std::string_view text, MessageIcon) {
  return show(caption, text, true);
}

// The view draws the rows on screen at every wake-up.
void ViewMessages::setResultCount(uint32_t) {
  wake();
}

void ViewMessages::redrawResults(int, int) {
  wake();
}

void ViewMessages::attach(Modal modal) {
  std::lock_guard lock(mutex_);
  modal_ = std::move(modal);
  viewThread_ = std::this_thread::get_id();
}

void ViewMessages::detach() {
  std::lock_guard lock(mutex_);
  modal_ = nullptr;
  if (waiting_ != nullptr) {
    waiting_->answered = true;
    waiting_->answer = false;
    waiting_ = nullptr;
  }
  answered_.notify_all();
}

std::string ViewMessages::status() {
  std::lock_guard lock(mutex_);
  return status_;
}

void ViewMessages::serveWaitingBox() {
  std::unique_lock lock(mutex_);
  Box* box = waiting_;
  if (box == nullptr || !modal_) return;
  const Modal modal = modal_;
  lock.unlock();
  const bool answer = modal(box->caption, box->text, box->question);
  lock.lock();
  if (waiting_ == box) {
    box->answer = answer;
    box->answered = true;
    waiting_ = nullptr;
  }
  answered_.notify_all();
}

}  // namespace vessiko
