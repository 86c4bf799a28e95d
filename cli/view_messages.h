// ViewMessages: the user messages and the result view of the full-screen view. The engine calls it
// from any thread; the view's own thread draws. Status texts and result changes are kept and the
// view is woken through a pipe; a message box or a question from another thread waits until the
// view has shown it and the user has answered; one from the view's thread is shown at once by the
// view's modal handler. Before the view is up (and after it is gone) texts go to standard
// error and questions take their default.
#pragma once

#include <condition_variable>
#include <functional>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "platform/result_view.h"
#include "platform/user_messages.h"

namespace vessiko {

class ViewMessages : public UserMessages, public ResultView {
 public:
  // Shows a box (question: with Yes and No) on the view's thread and returns the answer.
  using Modal = std::function<bool(std::string_view caption, std::string_view text, bool question)>;

  ViewMessages();
  ~ViewMessages() override;

  void showStatus(std::string_view text) override;
  void showMessage(std::string_view caption, std::string_view text, MessageIcon icon) override;
  bool askYesNo(std::string_view caption, std::string_view text, MessageIcon icon) override;
  void setResultCount(uint32_t rows) override;
  void redrawResults(int first, int last) override;

  // --- The view's side.
  // The view is up on this thread: boxes go to `modal`. An empty handler takes it down: waiting
  // boxes and questions are answered (No) and later ones take their default.
  void attach(Modal modal);
  void detach();
  int wakeDescriptor() const { return wake_[0]; }
  void drainWakes();
  std::string status();
  // Shows a box another thread waits for, if any.
  void serveWaitingBox();

 private:
  struct Box {
    std::string caption;
    std::string text;
    bool question = false;
    bool answered = false;
    bool answer = false;
  };
  bool show(std::string_view caption, std::string_view text, bool question);
  void wake();

  std::mutex mutex_;
  std::condition_variable answered_;
  int wake_[2] = {-1, -1};
  Modal modal_;
  std::thread::id viewThread_;
  Box* waiting_ = nullptr;
  std::string status_ = "准备";
};

}  // namespace vessiko
