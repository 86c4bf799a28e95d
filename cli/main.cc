// vessiko: instant name search over real directory trees, for a Linux user.
#include <signal.h>
#include <unistd.h>

#include <clocale>
#include <cstdio>
#include <string>

#include "cli/batch_modes.h"
#include "cli/command_line.h"
#include "cli/full_screen_view.h"
#include "cli/service_mode.h"
#include "vessiko_version.h"

int main(int argc, char** argv) {
  std::setlocale(LC_ALL, "");
  // A reader that goes away shows as a failed write, which ends the run with a save.
  signal(SIGPIPE, SIG_IGN);
  vessiko::CommandLine line;
  std::string error;
  if (!vessiko::ParseCommandLine(argc, argv, &line, &error)) {
    std::fprintf(stderr, "vessiko: %s\nTry 'vessiko --help'.\n", error.c_str());
    return 2;
  }
  if (line.help) {
    std::fputs(vessiko::kHelpText, stdout);
    return 0;
  }
  if (line.version) {
    std::printf("vessiko %s\n", vessiko::kVersionText);
    return 0;
  }
  if (line.serve) return vessiko::RunService(line);
  if (line.name) return vessiko::RunOneShot(line);
  if (isatty(STDIN_FILENO)) return vessiko::RunFullScreen(line);
  return vessiko::RunPipedQueries(line);
}
