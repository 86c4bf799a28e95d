// Runs the vessiko command built beside the tests, as a user would from a shell: with its
// arguments, an environment of its own (a fixed time zone), standard input and the two output
// streams captured.
#pragma once

#include <signal.h>
#include <sys/types.h>

#include <string>
#include <vector>

namespace vessiko::testing {

struct Outcome {
  int status = -1;
  std::string out;
  std::string err;
};

// One run to its end, with `input` on standard input.
Outcome RunVessiko(const std::vector<std::string>& args, const std::string& input = "");

// The piped mode kept open: a query in, its rows out.
class PipedVessiko {
 public:
  explicit PipedVessiko(const std::vector<std::string>& args);
  ~PipedVessiko();
  // The rows answering one query line (without the empty line that ends them).
  std::vector<std::string> query(const std::string& line);
  // Ends the input and waits; the exit status.
  int finish();

 private:
  pid_t pid_ = -1;
  int in_ = -1;
  int out_ = -1;
  std::string pending_;
};

// vessiko --serve in the background, its standard error kept.
class ServiceVessiko {
 public:
  // Starts it with these arguments after --serve and waits until it serves (false if it ended
  // or did not within the time).
  explicit ServiceVessiko(const std::vector<std::string>& args);
  ~ServiceVessiko();
  bool serving() const { return serving_; }
  pid_t pid() const { return pid_; }
  // Sends the signal and waits; the exit status, or -1 when a signal ended it.
  int stop(int signal);
  // What it wrote on standard error so far.
  std::string err();

 private:
  pid_t pid_ = -1;
  int err_ = -1;
  bool serving_ = false;
  std::string text_;
};

// The environment every run gets: a fixed zone eight hours east of UTC.
constexpr char kTimeZone[] = "TZ=CST-8";

// Splits a row into its eight fields (still escaped).
std::vector<std::string> FieldsOf(const std::string& row);

}  // namespace vessiko::testing
