// Runs the vessiko command built beside the tests, as a user would from a shell: with its
// arguments, an environment of its own (a fixed time zone), standard input and the two output
// streams captured.
#pragma once

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

// The environment every run gets: a fixed zone eight hours east of UTC.
constexpr char kTimeZone[] = "TZ=CST-8";

// Splits a row into its eight fields (still escaped).
std::vector<std::string> FieldsOf(const std::string& row);

}  // namespace vessiko::testing
