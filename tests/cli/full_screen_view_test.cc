// The full-screen view on a pseudo-terminal, driven by keys as a user would drive it: typing
// searches at once, a change made meanwhile shows in the list, Enter prints the chosen path on
// standard output (and only there) and the run ends with a save.
#include <fcntl.h>
#include <gtest/gtest.h>
#include <poll.h>
#include <pty.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <optional>
#include <string>

#include "tests/cli/vessiko_process.h"
#include "tests/mirror/temp_tree.h"

namespace vessiko::testing {
namespace {

class TerminalRun {
 public:
  explicit TerminalRun(const std::vector<std::string>& args, unsigned short columns = 150) {
    int out[2];
    if (pipe2(out, O_CLOEXEC) != 0) return;
    winsize size{};
    size.ws_row = 30;
    size.ws_col = columns;
    pid_ = forkpty(&master_, nullptr, nullptr, &size);
    if (pid_ == 0) {
      dup2(out[1], 1);
      setenv("TERM", "xterm", 1);
      putenv(const_cast<char*>(kTimeZone));
      std::vector<char*> argv;
      std::string binary = VESSIKO_BINARY;
      argv.push_back(binary.data());
      std::vector<std::string> copies = args;
      for (std::string& a : copies)
        argv.push_back(a.data());
      argv.push_back(nullptr);
      execv(argv[0], argv.data());
      _exit(127);
    }
    close(out[1]);
    out_ = out[0];
  }
  ~TerminalRun() {
    if (pid_ > 0) {
      kill(pid_, SIGKILL);
      waitpid(pid_, nullptr, 0);
    }
  }

  void type(const std::string& keys) {
    if (write(master_, keys.data(), keys.size()) < 0) ADD_FAILURE() << "write";
  }
  // Reads what the view draws until it holds `text` (what was drawn is then forgotten).
  bool shows(const std::string& text) {
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (screen_.find(text) == std::string::npos) {
      const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
          deadline - std::chrono::steady_clock::now());
      if (left.count() <= 0) return false;
      pollfd fd{master_, POLLIN, 0};
      if (poll(&fd, 1, static_cast<int>(left.count())) <= 0) continue;
      char buffer[4096];
      const ssize_t got = read(master_, buffer, sizeof buffer);
      if (got <= 0) return false;
      screen_.append(buffer, static_cast<size_t>(got));
    }
    screen_.clear();
    return true;
  }
  // Whether the program writes to standard output within the time (what it draws is skipped).
  bool printsWithin(std::chrono::milliseconds time) {
    const auto deadline = std::chrono::steady_clock::now() + time;
    while (std::chrono::steady_clock::now() < deadline) {
      pollfd fds[2] = {{out_, POLLIN, 0}, {master_, POLLIN, 0}};
      if (poll(fds, 2, 50) <= 0) continue;
      if (fds[0].revents != 0) return true;
      char buffer[4096];
      if (read(master_, buffer, sizeof buffer) <= 0) return false;
    }
    return false;
  }
  // Standard output to its end, and the exit status.
  std::string finish(int* status) {
    std::string out;
    char buffer[4096];
    ssize_t got;
    while ((got = read(out_, buffer, sizeof buffer)) > 0)
      out.append(buffer, static_cast<size_t>(got));
    // Whatever the view still draws while it closes must be read for it to end.
    for (;;) {
      pollfd fd{master_, POLLIN, 0};
      if (poll(&fd, 1, 100) > 0 && read(master_, buffer, sizeof buffer) > 0) continue;
      if (waitpid(pid_, status, WNOHANG) == pid_) break;
    }
    pid_ = -1;
    return out;
  }

 private:
  pid_t pid_ = -1;
  int master_ = -1;
  int out_ = -1;
  std::string screen_;
};

// Alone, the view owns the index and saves it at the end; with the service running, it asks
// the service and behaves the same.
void TypeSeeAChangeAndChoose(bool withService) {
  TempTree tree;
  TempTree database;
  tree.makeDirectory("docs");
  tree.writeFile("docs/alpha.txt");
  tree.writeFile("beta.txt");
  const std::vector<std::string> args = {"--drive", "C=" + tree.root(), "--db-dir",
                                         database.root()};
  std::optional<ServiceVessiko> service;
  if (withService) {
    service.emplace(args);
    ASSERT_TRUE(service->serving()) << service->err();
  }
  TerminalRun view(args);
  if (!withService) {
    ASSERT_TRUE(view.shows("个结果!"));
  }
  view.type("alp");
  ASSERT_TRUE(view.shows("alpha"));
  tree.writeFile("docs/alpine.txt");
  ASSERT_TRUE(view.shows("alpine"));
  // Down (as xterm sends it in keypad mode) to the second row, the one that came in while the
  // view was open.
  view.type("\x1bOB");
  view.type("\r");
  int status = -1;
  EXPECT_EQ(view.finish(&status), tree.path("docs/alpine.txt") + "\n");
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
  if (withService) {
    EXPECT_EQ(service->stop(SIGTERM), 0);
  }
  EXPECT_EQ(access((database.root() + "/kavume_core.db").c_str(), F_OK), 0);
  EXPECT_EQ(access((database.root() + "/mirror_C.state").c_str(), F_OK), 0);
}

TEST(FullScreenView, TypingSearchesChangesShowAndEnterPrintsThePath) {
  TypeSeeAChangeAndChoose(false);
}

TEST(FullScreenView, AsAClientOfTheServiceItWorksTheSame) {
  TypeSeeAChangeAndChoose(true);
}

// Curses gives Backspace the code of "ć" (U+0107): typed, it is a letter, not an erase.
TEST(FullScreenView, TypedLettersThatShareAKeyCodeAreLetters) {
  TempTree tree;
  TempTree database;
  tree.writeFile("ćevapi.txt");
  // What "ev" would find first, had "ć" erased.
  tree.writeFile("aevapi.txt");
  TerminalRun view({"--drive", "C=" + tree.root(), "--db-dir", database.root()});
  ASSERT_TRUE(view.shows("个结果!"));
  view.type("eć\x7f\x7fćev\r");
  int status = -1;
  EXPECT_EQ(view.finish(&status), tree.path("ćevapi.txt") + "\n");
}

// A pane narrower than the two query fields still draws and answers keys.
TEST(FullScreenView, ATinyTerminalStillWorks) {
  TempTree tree;
  TempTree database;
  tree.writeFile("beta.txt");
  TerminalRun view({"--drive", "C=" + tree.root(), "--db-dir", database.root()}, 8);
  ASSERT_TRUE(view.shows("区分"));
  view.type("beta");
  // Enter chooses nothing until the index is ready.
  bool printed = false;
  for (int i = 0; i < 100 && !printed; ++i) {
    view.type("\r");
    printed = view.printsWithin(std::chrono::milliseconds(100));
  }
  ASSERT_TRUE(printed);
  int status = -1;
  EXPECT_EQ(view.finish(&status), tree.path("beta.txt") + "\n");
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), 0);
}

}  // namespace
}  // namespace vessiko::testing
