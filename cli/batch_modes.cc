#include "cli/batch_modes.h"

#include <signal.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <string>

#include "cli/face.h"
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
  if (!face.acceptOptions()) return 1;
  bool usage = false;
  if (!face.open(&usage)) return usage ? 2 : 1;
  face.start();
  face.engine().waitUntilReady();
  face.applyScope();
  return 0;
}

// Runs the query of the two fields and appends its rows. Each row is read as it stands when it
// is reached, with no lock held between rows, so the journal monitors keep applying changes
// while a long answer is written.
void Answer(Face& face, const OutputOptions& output, std::string_view name,
            std::string_view extensions, std::string* out) {
  QueryTexts query;
  DecodeFileName(name, &query.name);
  DecodeFileName(extensions, &query.extension);
  face.search(query, face.engine().ui().extensionChanged);
  ResultCells& rows = face.rows();
  const uint64_t count = face.filteredAway() ? 0 : std::min<uint64_t>(rows.count(), output.limit);
  if (output.count) {
    out->append(std::to_string(count));
    out->push_back('\n');
    return;
  }
  RowCells cells;
  std::string path;
  for (uint32_t row = 0; row < count; ++row) {
    if (!output.paths) {
      if (!rows.describe(row, &cells)) break;
      AppendRowLine(cells, out);
      continue;
    }
    if (!rows.describe(row, &cells, 0)) break;
    rows.joinPath(cells, &path);
    out->append(path);
    out->push_back(output.terminator);
  }
}

bool WriteAll(const std::string& out) {
  return std::fwrite(out.data(), 1, out.size(), stdout) == out.size() && std::fflush(stdout) == 0;
}

volatile sig_atomic_t stopRequested = 0;

void RequestStop(int) {
  stopRequested = 1;
}

}  // namespace

int RunOneShot(const CommandLine& line) {
  TerminalMessages messages(true);
  ResultView printed;
  Face face(line, messages, printed);
  if (const int status = StartFace(face); status != 0) return status;
  std::string out;
  Answer(face, line.output, *line.name, line.extensions, &out);
  WriteAll(out);
  face.close();
  return 0;
}

int RunPipedQueries(const CommandLine& line) {
  PipedMessages messages;
  ResultView printed;
  Face face(line, messages, printed);
  if (const int status = StartFace(face); status != 0) return status;
  // Without SA_RESTART a signal ends the blocking read, and the loop ends with a save.
  struct sigaction stop {};
  stop.sa_handler = RequestStop;
  sigaction(SIGINT, &stop, nullptr);
  sigaction(SIGTERM, &stop, nullptr);
  char* text = nullptr;
  size_t capacity = 0;
  std::string out;
  ssize_t length;
  while (stopRequested == 0 && (length = getline(&text, &capacity, stdin)) >= 0) {
    std::string_view query(text, static_cast<size_t>(length));
    if (!query.empty() && query.back() == '\n') query.remove_suffix(1);
    const size_t tab = query.find('\t');
    out.clear();
    Answer(face, line.output, query.substr(0, tab),
           tab == std::string_view::npos ? std::string_view() : query.substr(tab + 1), &out);
    // An empty line, or an empty path after NUL-ended ones, ends the answer.
    out.push_back(line.output.count ? '\n' : line.output.terminator);
    if (!WriteAll(out)) break;
  }
  std::free(text);
  face.close();
  return 0;
}

}  // namespace vessiko
