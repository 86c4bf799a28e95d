// ServiceClient: the searches of a process that does not own the index, answered by the owner
// over its socket. Rows are fetched in runs and kept, so that a listing asks once per run and a
// view once per screen. When the connection breaks or the owner answers something malformed,
// the client says so on the messages and fails from then on: a listing cut short is never
// presented as whole.
//
// Thread safety: one thread.
#pragma once

#include <string>
#include <vector>

#include "cli/command_line.h"
#include "cli/searcher.h"
#include "cli/service_protocol.h"
#include "platform/user_messages.h"

namespace vessiko {

class ServiceClient final : public Searcher {
 public:
  // fd: a connection to the owner, which the client closes.
  ServiceClient(int fd, UserMessages& messages) : fd_(fd), messages_(messages) {}
  ~ServiceClient() override;
  ServiceClient(const ServiceClient&) = delete;
  ServiceClient& operator=(const ServiceClient&) = delete;

  // Opens the session with the command line's options. False after the message when the owner
  // refuses them, with the exit status to end with in *status; false without a message when
  // the owner ended before it answered (another may own the index now: reach it again).
  bool open(const CommandLine& line, int* status);
  // How many rows a fetch asks for at least.
  void setRunLength(uint32_t rows) { runLength_ = rows; }

  bool search(const QueryTexts& query) override;
  SearchToggles toggles() override { return toggles_; }
  bool setToggles(const SearchToggles& toggles) override;
  void refresh() override;
  uint32_t count() override { return count_; }
  bool describe(uint32_t row, uint32_t wanted, RowCells* cells) override;
  bool path(uint32_t row, std::string* out) override;
  // In one answer, the owner's bytes appended to *out as they come.
  uint32_t appendPaths(uint32_t count, char end, std::string* out) override;
  bool failed() const override { return failed_; }

 private:
  // Each is false after the message when the owner is gone, refuses or answers malformed.
  bool send(FrameWriter& request);
  // Reads the next frame of an answer into body_.
  bool receive(FrameReader* answer, MessageKind* kind);
  // Sends the request and reads its one-frame answer of the kind expected.
  bool ask(FrameWriter& request, MessageKind expected, FrameReader* answer);
  // A search's answer: the count when the results changed, the status and the boxes shown.
  bool readSearched(FrameReader& in);
  // Fetches a run of rows' cells from `first`; true when the row is then held.
  bool fetch(uint32_t first, uint32_t wanted);
  bool holds(uint32_t row, uint32_t wanted) const {
    return row >= cachedFirst_ && row - cachedFirst_ < cachedCount_ && cachedWanted_ == wanted;
  }
  // The paths of `count` rows from `first`, as appendPaths.
  uint32_t appendPathsFrom(uint32_t first, uint32_t count, char end, std::string* out);
  bool fail(const std::string& text);

  int fd_;
  UserMessages& messages_;
  SearchToggles toggles_;
  uint32_t count_ = 0;
  bool failed_ = false;
  uint32_t runLength_ = 4096;
  std::string body_;
  // The run fetched last: cachedCount_ rows' cells from cachedFirst_, read with cachedWanted_.
  // The strings' room is kept from run to run.
  std::vector<RowCells> cells_;
  uint32_t cachedCount_ = 0;
  uint32_t cachedFirst_ = 0;
  uint32_t cachedWanted_ = 0;
};

}  // namespace vessiko
