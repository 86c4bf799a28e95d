// The full-screen view (vessiko on a terminal): the name field and the extension field on the
// top line, the result list with its eight columns below, the status line at the bottom. Every
// keystroke in either field searches at once, as the dialog does; the monitors' changes
// refresh the list. It draws on /dev/tty, not on standard output, which only ever receives the
// path chosen with Enter.
#pragma once

#include "cli/command_line.h"

namespace vessiko {

// Runs the view until Enter, Esc or Ctrl-C; returns the exit status.
int RunFullScreen(const CommandLine& line);

}  // namespace vessiko
