// ServiceSession: one client of the process that owns the index, on the connection's own
// thread. The client's options are checked as its own process would check them (and its
// drives against the owner's); its searches run in a QuerySession of its own over the engine,
// and each request is answered as the protocol says. Messages the engine gives during a
// request (the count on the status line, a filter's refusal) go back with the answer.
#pragma once

#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "cli/face.h"
#include "cli/service_protocol.h"

namespace vessiko {

// The messages of one request, kept for its answer. A question cannot be asked: No.
class SessionMessages final : public UserMessages {
 public:
  struct Box {
    std::string caption;
    std::string text;
  };
  void showStatus(std::string_view text) override;
  void showMessage(std::string_view caption, std::string_view text, MessageIcon icon) override;
  bool askYesNo(std::string_view caption, std::string_view text, MessageIcon icon) override;

  // The status shown since the last take (empty when none was) and the boxes, for an answer.
  void take(std::string* status, std::vector<Box>* boxes);

 private:
  std::mutex mutex_;
  std::string status_;
  std::vector<Box> boxes_;
};

class ServiceSession {
 public:
  // owner: the owning process's command line, whose drives the client's must match.
  ServiceSession(Face& face, const CommandLine& owner) : face_(face), owner_(owner) {}

  // Answers the requests on fd until the client closes it, sends a malformed request, or the
  // connection fails.
  void serve(int fd);

 private:
  // Each returns false when the connection is to be closed.
  bool open(FrameReader& in);
  bool search(const QueryTexts* query);
  bool refresh();
  bool rows(FrameReader& in);
  bool answerSearch(bool changed);
  bool refuse(const std::string& caption, const std::string& text, int status);
  bool refuseWithBox(int status);
  bool send(FrameWriter& frame);

  Face& face_;
  const CommandLine& owner_;
  int fd_ = -1;
  bool refused_ = false;
  CommandLine line_;
  SessionMessages messages_;
  std::unique_ptr<PrivateSearch> search_;
  std::unique_ptr<QuerySession> session_;
  uint64_t searchedAt_ = 0;  // the engine's change count when the last search began
  RowCells cells_;
  std::string path_;
};

}  // namespace vessiko
