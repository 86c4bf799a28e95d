// The two modes without the full-screen view: one search from the command line, and queries
// read line by line from standard input. Each returns the exit status.
#pragma once

#include "cli/command_line.h"

namespace vessiko {

// vessiko [OPTIONS] NAME [EXTENSIONS]: the rows on standard output; the out-of-date question
// is asked on the terminal when there is one, else answered Yes.
int RunOneShot(const CommandLine& line);

// Standard input not a terminal and no NAME: a query per line ("NAME" or "NAME<tab>EXT"),
// each answered with its rows and an empty line, flushed. The out-of-date question is
// answered Yes. Ends, saving, at the end of input, on SIGINT or SIGTERM, or when standard
// output is closed.
int RunPipedQueries(const CommandLine& line);

}  // namespace vessiko
