// The command line of vessiko: the drives to mirror, the database folder, the search options
// of the window's menu, the directory scope, the filter panel's groups, and the query.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "platform/clock.h"
#include "search/filter_panel.h"

namespace vessiko {

struct DriveOption {
  char letter = 'C';
  // The mirrored tree's folder, or the NTFS partition or image read in place; absolute, without
  // symbolic links.
  std::string directory;
  bool ntfs = false;  // --ntfs: read in place from the volume's file table
};

struct ScopeOption {
  std::string directory;   // absolute, without symbolic links
  bool subfolders = true;  // "是" for --scope, "否" for --scope-top
};

// The filter panel's groups as given: which are enabled, and what the panel would hold.
struct FilterOptions {
  bool size = false;
  std::u16string sizeNumber;
  int sizeOperator = 0;  // list 1030
  int sizeUnit = 1;      // list 1041
  bool date = false;
  int dateKind = 0;  // list 1033
  DateRadio dateMode = DateRadio::kAfter;
  CalendarTime first;   // the "after" or "before" date, or the start of the interval
  CalendarTime second;  // the end of the interval
  bool attributes = false;
  bool normal = false;
  bool hidden = false;
  bool system = false;

  bool any() const { return size || date || attributes; }
};

// How the one-shot and piped modes print an answer.
struct OutputOptions {
  bool paths = false;      // each result's full path alone, read from the index
  char terminator = '\n';  // after each path: '\0' for -0
  bool count = false;      // the number of results alone
  uint64_t limit = UINT64_MAX;
};

struct CommandLine {
  std::vector<DriveOption> drives;
  bool drivesGiven = false;  // false: the default drive, or whatever the service has
  std::string databaseFolder;
  bool caseSensitive = false;
  bool folders = true;
  bool files = true;
  std::vector<ScopeOption> scopes;
  FilterOptions filter;
  bool serve = false;
  // --serve: seconds between the saves made while changes are pending.
  uint32_t saveInterval = 300;
  bool help = false;
  bool version = false;
  OutputOptions output;
  std::optional<std::string> name;  // the one-shot query
  std::string extensions;
};

// Fills *line from the arguments; false with the reason in *error for a usage error.
// Directories are resolved here: one that does not exist is a usage error.
bool ParseCommandLine(int argc, char** argv, CommandLine* line, std::string* error);

// "C=/home D=/data E=/dev/sdb1 (NTFS)": the drives as --drive and --ntfs name them.
std::string DriveListText(const std::vector<DriveOption>& drives);

// The text of --help.
extern const char kHelpText[];

}  // namespace vessiko
