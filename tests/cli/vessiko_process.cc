#include "tests/cli/vessiko_process.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <stdexcept>

namespace vessiko::testing {

namespace {

pid_t Spawn(const std::vector<std::string>& args, int in, int out, int err) {
  std::vector<char*> argv;
  std::string binary = VESSIKO_BINARY;
  argv.push_back(binary.data());
  std::vector<std::string> copies = args;
  for (std::string& a : copies)
    argv.push_back(a.data());
  argv.push_back(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    dup2(in, 0);
    dup2(out, 1);
    if (err >= 0) dup2(err, 2);
    setsid();  // no controlling terminal: nothing is asked on one
    putenv(const_cast<char*>(kTimeZone));
    execv(argv[0], argv.data());
    _exit(127);
  }
  return pid;
}

void ReadAll(int fd, std::string* out) {
  char buffer[65536];
  for (;;) {
    const ssize_t got = read(fd, buffer, sizeof buffer);
    if (got <= 0) return;
    out->append(buffer, static_cast<size_t>(got));
  }
}

}  // namespace

Outcome RunVessiko(const std::vector<std::string>& args, const std::string& input) {
  int in[2], out[2], err[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0)
    throw std::runtime_error("pipe");
  const pid_t pid = Spawn(args, in[0], out[1], err[1]);
  close(in[0]);
  close(out[1]);
  close(err[1]);
  signal(SIGPIPE, SIG_IGN);
  if (!input.empty() && write(in[1], input.data(), input.size()) < 0) {
    throw std::runtime_error("write");
  }
  close(in[1]);
  Outcome outcome;
  // Both streams at once, so neither pipe fills up and stalls the program.
  pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
  int open = 2;
  while (open > 0) {
    poll(fds, 2, -1);
    for (int i = 0; i < 2; ++i) {
      if (fds[i].fd < 0 || fds[i].revents == 0) continue;
      char buffer[65536];
      const ssize_t got = read(fds[i].fd, buffer, sizeof buffer);
      if (got <= 0) {
        close(fds[i].fd);
        fds[i].fd = -1;
        --open;
      } else {
        (i == 0 ? outcome.out : outcome.err).append(buffer, static_cast<size_t>(got));
      }
    }
  }
  int status = 0;
  waitpid(pid, &status, 0);
  outcome.status = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  return outcome;
}

PipedVessiko::PipedVessiko(const std::vector<std::string>& args) {
  int in[2], out[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(out, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  pid_ = Spawn(args, in[0], out[1], -1);
  close(in[0]);
  close(out[1]);
  in_ = in[1];
  out_ = out[0];
}

PipedVessiko::~PipedVessiko() {
  if (pid_ > 0) finish();
}

std::vector<std::string> PipedVessiko::query(const std::string& line) {
  const std::string text = line + "\n";
  if (write(in_, text.data(), text.size()) < 0) throw std::runtime_error("write");
  std::vector<std::string> rows;
  for (;;) {
    const size_t end = pending_.find('\n');
    if (end == std::string::npos) {
      char buffer[65536];
      const ssize_t got = read(out_, buffer, sizeof buffer);
      if (got <= 0) throw std::runtime_error("vessiko ended");
      pending_.append(buffer, static_cast<size_t>(got));
      continue;
    }
    std::string row = pending_.substr(0, end);
    pending_.erase(0, end + 1);
    if (row.empty()) return rows;
    rows.push_back(std::move(row));
  }
}

int PipedVessiko::finish() {
  close(in_);
  std::string rest;
  ReadAll(out_, &rest);
  close(out_);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

ServiceVessiko::ServiceVessiko(const std::vector<std::string>& args) {
  int in[2], err[2];
  if (pipe2(in, O_CLOEXEC) != 0 || pipe2(err, O_CLOEXEC) != 0) throw std::runtime_error("pipe");
  std::vector<std::string> all{"--serve"};
  all.insert(all.end(), args.begin(), args.end());
  pid_ = Spawn(all, in[0], 2, err[1]);
  close(in[0]);
  close(in[1]);
  close(err[1]);
  err_ = err[0];
  const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(60);
  while (std::chrono::steady_clock::now() < deadline) {
    pollfd fd{err_, POLLIN, 0};
    if (poll(&fd, 1, 100) > 0) {
      char buffer[4096];
      const ssize_t got = read(err_, buffer, sizeof buffer);
      if (got <= 0) return;
      text_.append(buffer, static_cast<size_t>(got));
    }
    if (text_.find("vessiko: serving") != std::string::npos) {
      serving_ = true;
      return;
    }
  }
}

ServiceVessiko::~ServiceVessiko() {
  if (pid_ > 0) stop(SIGKILL);
  close(err_);
}

std::string ServiceVessiko::err() {
  for (;;) {
    pollfd fd{err_, POLLIN, 0};
    if (poll(&fd, 1, 0) <= 0) return text_;
    char buffer[4096];
    const ssize_t got = read(err_, buffer, sizeof buffer);
    if (got <= 0) return text_;
    text_.append(buffer, static_cast<size_t>(got));
  }
}

int ServiceVessiko::stop(int signal) {
  kill(pid_, signal);
  int status = 0;
  waitpid(pid_, &status, 0);
  pid_ = -1;
  return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

std::vector<std::string> FieldsOf(const std::string& row) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (;;) {
    const size_t tab = row.find('\t', start);
    fields.push_back(row.substr(start, tab - start));
    if (tab == std::string::npos) return fields;
    start = tab + 1;
  }
}

}  // namespace vessiko::testing
