#include "cli/batch_modes.h"

#include <signal.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <mutex>
#include <string>

#include "cli/face.h"
#include "cli/index_access.h"
#include "cli/local_searcher.h"
#include "cli/service_client.h"
#include "cli/service_listener.h"
#include "cli/stop_signals.h"
#include "cli/tab_output.h"
#include "mirror/file_name_bytes.h"
#include "platform/posix/terminal_messages.h"

namespace vessiko {

namespace {

// Piped: nobody can be asked, and the rebuild keeps the answers right.
class PipedMessages final : public TerminalMessages {
 public:
  PipedMessages() : TerminalMessages(true) {}
  bool askYesNo(std::string_view caption, std::string_view text, MessageIcon icon) override {
    showMessage(caption, text, icon);
    return true;
  }
};

// Starts the face; the exit status of a failure, or 0.
int StartFace(Face& face) {
  bool usage = false;
  if (!face.open(&usage)) return usage ? 2 : 1;
  face.start();
  face.engine().waitUntilReady();
  face.session().applyScope();
  return 0;
}

// Runs the query of the two fields and appends its rows. Each row is read as it stands when it
// is reached, with no lock held between rows, so the journal monitors keep applying changes
// while a long answer is written. False when the owner of the index went away mid-answer.
bool Answer(Searcher& searcher, const OutputOptions& output, std::string_view name,
            std::string_view extensions, std::string* out) {
  QueryTexts query;
  DecodeFileName(name, &query.name);
  DecodeFileName(extensions, &query.extension);
  if (!searcher.search(query)) return false;
  const uint64_t count = std::min<uint64_t>(searcher.count(), output.limit);
  if (output.count) {
    out->append(std::to_string(count));
    out->push_back('\n');
    return true;
  }
  if (output.paths) {
    searcher.appendPaths(static_cast<uint32_t>(count), output.terminator, out);
    return !searcher.failed();
  }
  RowCells cells;
  for (uint32_t row = 0; row < count && searcher.describe(row, kAllFileValues, &cells); ++row)
    AppendRowLine(cells, out);
  return !searcher.failed();
}

bool WriteOut(const std::string& out) {
  return std::fwrite(out.data(), 1, out.size(), stdout) == out.size() && std::fflush(stdout) == 0;
}

volatile sig_atomic_t stopRequested = 0;

void RequestStop(int) {
  stopRequested = 1;
}

// The queries of standard input, one per line, each answered in full, with the signal mask
// `mask` on this thread; false when an answer could not be had.
bool AnswerLines(Searcher& searcher, const OutputOptions& output, const sigset_t& mask) {
  // Without SA_RESTART a signal ends the blocking read, and the loop ends with a save. Only
  // this thread takes the two signals: every other was started with them blocked.
  struct sigaction stop {};
  stop.sa_handler = RequestStop;
  sigaction(SIGINT, &stop, nullptr);
  sigaction(SIGTERM, &stop, nullptr);
  pthread_sigmask(SIG_SETMASK, &mask, nullptr);
  char* text = nullptr;
  size_t capacity = 0;
  std::string out;
  ssize_t length;
  bool answered = true;
  while (stopRequested == 0 && (length = getline(&text, &capacity, stdin)) >= 0) {
    std::string_view query(text, static_cast<size_t>(length));
    if (!query.empty() && query.back() == '\n') query.remove_suffix(1);
    const size_t tab = query.find('\t');
    out.clear();
    answered =
        Answer(searcher, output, query.substr(0, tab),
               tab == std::string_view::npos ? std::string_view() : query.substr(tab + 1), &out);
    if (!answered) break;
    // An empty line, or an empty path after NUL-ended ones, ends the answer.
    out.push_back(output.count ? '\n' : output.terminator);
    if (!WriteOut(out)) break;
  }
  std::free(text);
  return answered;
}

// What a batch mode searches through: the owner's session, or the index this process opens.
class Reached {
 public:
  Reached(const CommandLine& line, UserMessages& messages)
      : line_(line), messages_(messages), face_(line, messages, printed_) {}

  // The exit status of a failure, or -1 once searching can begin.
  int reach() {
    if (!AcceptOptions(line_, messages_)) return 1;
    int status = 0;
    if (!ReachOwner(line_, messages_, &access_, &client_, &status)) return status;
    if (client_) {
      // Long answers come in long runs.
      client_->setRunLength(1u << 16);
      return -1;
    }
    status = StartFace(face_);
    if (status != 0) return status;
    local_ = std::make_unique<LocalSearcher>(face_);
    return -1;
  }
  bool owned() const { return !client_; }
  Face& face() { return face_; }
  Searcher& searcher() { return client_ ? static_cast<Searcher&>(*client_) : *local_; }

 private:
  const CommandLine& line_;
  UserMessages& messages_;
  ResultView printed_;
  // Declared before the face: the lock is let go once the face has closed.
  IndexAccess access_;
  std::unique_ptr<ServiceClient> client_;
  Face face_;
  std::unique_ptr<LocalSearcher> local_;
};

}  // namespace

int RunOneShot(const CommandLine& line) {
  TerminalMessages messages(true);
  Reached reached(line, messages);
  if (const int status = reached.reach(); status >= 0) return status;
  std::string out;
  if (!Answer(reached.searcher(), line.output, *line.name, line.extensions, &out)) return 1;
  WriteOut(out);
  reached.face().close();
  return 0;
}

int RunPipedQueries(const CommandLine& line) {
  const sigset_t unblocked = BlockStopSignals();
  PipedMessages messages;
  Reached reached(line, messages);
  if (const int status = reached.reach(); status >= 0) return status;
  if (!reached.owned()) return AnswerLines(reached.searcher(), line.output, unblocked) ? 0 : 1;
  // While it owns the index, this session answers the other processes on the folder too.
  ServiceListener listener(reached.face(), line, messages, geteuid());
  listener.start();
  AnswerLines(reached.searcher(), line.output, unblocked);
  listener.stop();
  reached.face().close();
  return 0;
}

}  // namespace vessiko
