#include "cli/command_line.h"

#include <sys/stat.h>

#include <climits>
#include <cstdlib>
#include <string_view>

#include "mirror/file_name_bytes.h"

namespace vessiko {

const char kHelpText[] =
    R"help(Usage: vessiko [OPTIONS] [NAME [EXTENSIONS]]

Instant search of file and folder names over real directory trees, kept current while it
runs and between runs.

  vessiko [OPTIONS] NAME [EXTENSIONS]
      One search, as the window runs it with NAME in the name field and EXTENSIONS in the
      extension field. Prints one line per result, directories first, then files, with eight
      tab-separated columns: name, extension, folder, size, creation time, last change time,
      last access time, attributes. A tab, line feed or backslash inside a field is written
      as \t, \n or \\. --paths, -0, --limit and --count change what is printed. Status
      texts and messages go to standard error.
  vessiko [OPTIONS]            (standard input a terminal)
      The full-screen view: every keystroke searches at once.
        Tab            switch between the name field and the extension field
        Backspace      delete a character; Ctrl-U clears the field
        Up, Down, PgUp, PgDn, Home, End   move through the results
        Left, Right    scroll the columns sideways
        F2 or Alt-C    letters match case (toggle)
        F3 or Alt-D    search folders (toggle)
        F4 or Alt-F    search files (toggle)
        Enter          print the selected entry's full path and exit
        Esc or Ctrl-C  exit
      The view draws on the terminal, so  cd "$(vessiko)"  and  vim "$(vessiko)"  work.
  vessiko [OPTIONS] < QUERIES  (standard input not a terminal)
      Reads queries, one per line: NAME, or NAME, a tab and EXTENSIONS. Prints each query's
      rows followed by an empty line and flushes standard output after each.

  vessiko --serve [OPTIONS]
      Runs in the foreground as the service of the database folder: keeps the index of its
      drives live and answers the other modes at once over the socket DB-DIR/socket (this
      user only). Status texts go to standard error. SIGTERM or SIGINT saves and exits.

Only one process owns a database folder's index at a time. Every mode uses the owner when
there is one (the service, or a view or piped session already running), with the owner's
drives, and waits for it while it starts; without one it owns the index itself, saves it when
it ends, and follows changes to the trees while it runs.

Options:
  --drive L=DIR      mirror directory DIR as drive L (repeatable; default C=/)
  --ntfs L=PATH      index the NTFS partition or image PATH as drive L, read from its file
                     table whether mounted or not; its paths are under its mount point, else
                     L: (repeatable; at start, a saved index catches up from the change
                     journal Windows left, else the volume is read anew)
  --db-dir DIR       where the databases and the mirrors' state live
                     (default $XDG_DATA_HOME/vessiko, or ~/.local/share/vessiko)
  --case             letters match case
  --no-folders       do not search folders
  --no-files         do not search files
  --scope DIR        search only in DIR and below it (repeatable)
  --scope-top DIR    search only directly in DIR (repeatable)
  --size OP,N,UNIT   keep files whose size compares: OP one of eq gt lt ge le,
                     UNIT one of B KB MB GB
  --date KIND,MODE,DATE[,DATE]
                     keep entries by a time stamp: KIND created, modified or accessed;
                     MODE after, before or between (two dates); DATE as YYYY-MM-DD or
                     YYYY-MM-DDTHH:MM, local time
  --attr LIST        keep entries by attributes, any of normal,hidden,system
                     (hidden: the name starts with a dot; system: neither a regular file
                     nor a directory)
  --paths            print each result's full path alone, one per line, nothing escaped;
                     nothing is read from the files
  -0, --null         end each path with a NUL byte instead of a line feed (implies --paths);
                     piped queries end each answer with an empty path
  --limit N          print at most N results
  --count            print the number of results alone
  --serve            run as the service of the database folder (see above)
  --save-interval S  with --serve: save every S seconds while changes are pending
                     (default 300)
  --help             show this text
  --version          show the version

Exit status: 0 with results or none, 1 for a refused option or filter, drives other than the
owner's, or an owner that failed mid-answer, 2 for a usage error.
)help";

namespace {

std::vector<std::string_view> SplitCommas(std::string_view text) {
  std::vector<std::string_view> parts;
  for (;;) {
    const size_t comma = text.find(',');
    parts.push_back(text.substr(0, comma));
    if (comma == std::string_view::npos) return parts;
    text.remove_prefix(comma + 1);
  }
}

int IndexOf(std::string_view word, std::initializer_list<std::string_view> words) {
  int i = 0;
  for (const std::string_view w : words) {
    if (w == word) return i;
    ++i;
  }
  return -1;
}

bool RealDirectory(const std::string& path, std::string* out) {
  char resolved[PATH_MAX];
  struct stat st {};
  if (realpath(path.c_str(), resolved) == nullptr || stat(resolved, &st) != 0 ||
      !S_ISDIR(st.st_mode)) {
    return false;
  }
  *out = resolved;
  return true;
}

// A regular file or block device, resolved as RealDirectory resolves folders.
bool RealVolumeFile(const std::string& path, std::string* out) {
  char resolved[PATH_MAX];
  struct stat st {};
  if (realpath(path.c_str(), resolved) == nullptr || stat(resolved, &st) != 0 ||
      !(S_ISREG(st.st_mode) || S_ISBLK(st.st_mode))) {
    return false;
  }
  *out = resolved;
  return true;
}

bool Number(std::string_view text, size_t digits, int low, int high, int* out) {
  if (text.size() != digits) return false;
  int value = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + (c - '0');
  }
  *out = value;
  return value >= low && value <= high;
}

// YYYY-MM-DD or YYYY-MM-DDTHH:MM, a real day of the calendar.
bool ParseDate(std::string_view text, CalendarTime* out) {
  int year, month, day, hour = 0, minute = 0;
  if (text.size() != 10 && text.size() != 16) return false;
  if (text[4] != '-' || text[7] != '-' || !Number(text.substr(0, 4), 4, 1601, 30827, &year) ||
      !Number(text.substr(5, 2), 2, 1, 12, &month) || !Number(text.substr(8, 2), 2, 1, 31, &day)) {
    return false;
  }
  if (text.size() == 16 &&
      (text[10] != 'T' || text[13] != ':' || !Number(text.substr(11, 2), 2, 0, 23, &hour) ||
       !Number(text.substr(14, 2), 2, 0, 59, &minute))) {
    return false;
  }
  static constexpr int kDays[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
  const bool leap = (year % 4 == 0 && year % 100 != 0) || year % 400 == 0;
  if (day > kDays[month - 1] + (month == 2 && leap ? 1 : 0)) return false;
  *out = CalendarTime{static_cast<uint16_t>(year),
                      static_cast<uint16_t>(month),
                      static_cast<uint16_t>(day),
                      static_cast<uint16_t>(hour),
                      static_cast<uint16_t>(minute),
                      0,
                      0};
  return true;
}

bool ParseSize(std::string_view value, FilterOptions* f) {
  const std::vector<std::string_view> parts = SplitCommas(value);
  if (parts.size() != 3) return false;
  f->sizeOperator = IndexOf(parts[0], {"eq", "gt", "lt", "ge", "le"});
  f->sizeUnit = IndexOf(parts[2], {"B", "KB", "MB", "GB"});
  // The number is the panel's text: validate judges it, with its own message.
  DecodeFileName(parts[1], &f->sizeNumber);
  f->size = true;
  return f->sizeOperator >= 0 && f->sizeUnit >= 0;
}

bool ParseDateFilter(std::string_view value, FilterOptions* f) {
  const std::vector<std::string_view> parts = SplitCommas(value);
  if (parts.size() < 3) return false;
  f->dateKind = IndexOf(parts[0], {"created", "modified", "accessed"});
  const int mode = IndexOf(parts[1], {"after", "before", "between"});
  if (f->dateKind < 0 || mode < 0 || parts.size() != (mode == 2 ? 4u : 3u)) return false;
  f->dateMode = mode == 0   ? DateRadio::kAfter
                : mode == 1 ? DateRadio::kBefore
                            : DateRadio::kBetween;
  f->date = true;
  return ParseDate(parts[2], &f->first) && (mode != 2 || ParseDate(parts[3], &f->second));
}

bool ParseAttributes(std::string_view value, FilterOptions* f) {
  f->attributes = true;
  if (value.empty()) return true;  // no box checked: validate refuses it with its message
  for (const std::string_view word : SplitCommas(value)) {
    switch (IndexOf(word, {"normal", "hidden", "system"})) {
      case 0:
        f->normal = true;
        break;
      case 1:
        f->hidden = true;
        break;
      case 2:
        f->system = true;
        break;
      default:
        return false;
    }
  }
  return true;
}

// Decimal digits alone, at most eighteen of them.
bool ParseLimit(std::string_view text, uint64_t* limit) {
  if (text.empty() || text.size() > 18) return false;
  uint64_t n = 0;
  for (char c : text) {
    if (c < '0' || c > '9') return false;
    n = n * 10 + static_cast<uint64_t>(c - '0');
  }
  *limit = n;
  return true;
}

std::string DefaultDatabaseFolder() {
  const char* data = std::getenv("XDG_DATA_HOME");
  if (data != nullptr && data[0] == '/') return std::string(data) + "/vessiko";
  const char* home = std::getenv("HOME");
  return std::string(home != nullptr ? home : "") + "/.local/share/vessiko";
}

}  // namespace

bool ParseCommandLine(int argc, char** argv, CommandLine* line, std::string* error) {
  std::vector<std::string> positional;
  bool optionsEnded = false;
  for (int i = 1; i < argc; ++i) {
    std::string_view arg(argv[i]);
    if (optionsEnded || arg.size() < 2 || arg[0] != '-') {
      positional.emplace_back(arg);
      continue;
    }
    if (arg == "--") {
      optionsEnded = true;
      continue;
    }
    std::string_view option = arg;
    std::optional<std::string_view> value;
    if (const size_t equals = arg.find('='); arg.substr(0, 2) == "--" && equals != arg.npos) {
      option = arg.substr(0, equals);
      value = arg.substr(equals + 1);
    }
    const auto takesValue = [&]() -> bool {
      if (value) return true;
      if (i + 1 >= argc) {
        *error = "option " + std::string(option) + " needs a value";
        return false;
      }
      value = argv[++i];
      return true;
    };
    const auto flag = [&](bool* target, bool set) {
      if (value) {
        *error = "option " + std::string(option) + " takes no value";
        return false;
      }
      *target = set;
      return true;
    };
    if (option == "--help") {
      if (!flag(&line->help, true)) return false;
    } else if (option == "--version") {
      if (!flag(&line->version, true)) return false;
    } else if (option == "--paths") {
      if (!flag(&line->output.paths, true)) return false;
    } else if (option == "-0" || option == "--null") {
      if (!flag(&line->output.paths, true)) return false;
      line->output.terminator = '\0';
    } else if (option == "--count") {
      if (!flag(&line->output.count, true)) return false;
    } else if (option == "--limit") {
      if (!takesValue()) return false;
      if (!ParseLimit(*value, &line->output.limit)) {
        *error = "--limit takes a number of results";
        return false;
      }
    } else if (option == "--case") {
      if (!flag(&line->caseSensitive, true)) return false;
    } else if (option == "--no-folders") {
      if (!flag(&line->folders, false)) return false;
    } else if (option == "--no-files") {
      if (!flag(&line->files, false)) return false;
    } else if (option == "--drive" || option == "--ntfs") {
      if (!takesValue()) return false;
      const std::string_view v = *value;
      DriveOption drive;
      drive.ntfs = option == "--ntfs";
      const char letter = v.empty() ? 0 : static_cast<char>(v[0] & ~0x20);
      if (v.size() < 3 || v[1] != '=' || letter < 'A' || letter > 'Z') {
        *error = std::string(option) + (drive.ntfs ? " takes L=PATH" : " takes L=DIR") +
                 " with a drive letter L";
        return false;
      }
      drive.letter = letter;
      const std::string path(v.substr(2));
      if (drive.ntfs ? !RealVolumeFile(path, &drive.directory)
                     : !RealDirectory(path, &drive.directory)) {
        *error = (drive.ntfs ? "not a file or block device: " : "not a directory: ") + path;
        return false;
      }
      for (const DriveOption& d : line->drives) {
        if (d.letter == letter) {
          *error = std::string("drive ") + letter + " is given twice";
          return false;
        }
      }
      line->drives.push_back(drive);
      line->drivesGiven = true;
    } else if (option == "--serve") {
      if (!flag(&line->serve, true)) return false;
    } else if (option == "--save-interval") {
      if (!takesValue()) return false;
      uint64_t seconds = 0;
      if (!ParseLimit(*value, &seconds) || seconds == 0 || seconds > 86400) {
        *error = "--save-interval takes a number of seconds from 1 to 86400";
        return false;
      }
      line->saveInterval = static_cast<uint32_t>(seconds);
    } else if (option == "--db-dir") {
      if (!takesValue()) return false;
      line->databaseFolder = *value;
    } else if (option == "--scope" || option == "--scope-top") {
      if (!takesValue()) return false;
      ScopeOption scope;
      scope.subfolders = option == "--scope";
      if (!RealDirectory(std::string(*value), &scope.directory)) {
        *error = "not a directory: " + std::string(*value);
        return false;
      }
      line->scopes.push_back(scope);
    } else if (option == "--size") {
      if (!takesValue()) return false;
      if (!ParseSize(*value, &line->filter)) {
        *error = "--size takes OP,N,UNIT: OP one of eq gt lt ge le, UNIT one of B KB MB GB";
        return false;
      }
    } else if (option == "--date") {
      if (!takesValue()) return false;
      if (!ParseDateFilter(*value, &line->filter)) {
        *error =
            "--date takes KIND,MODE,DATE[,DATE]: KIND created, modified or accessed; MODE "
            "after, before or between; DATE as YYYY-MM-DD or YYYY-MM-DDTHH:MM";
        return false;
      }
    } else if (option == "--attr") {
      if (!takesValue()) return false;
      if (!ParseAttributes(*value, &line->filter)) {
        *error = "--attr takes a list of normal, hidden and system";
        return false;
      }
    } else {
      *error = "unknown option " + std::string(option);
      return false;
    }
  }
  if (positional.size() > 2) {
    *error = "too many arguments: give NAME and at most EXTENSIONS";
    return false;
  }
  if (line->serve && !positional.empty()) {
    *error = "--serve takes no query";
    return false;
  }
  if (!positional.empty()) line->name = positional[0];
  if (positional.size() == 2) line->extensions = positional[1];
  if (line->drives.empty()) line->drives.push_back(DriveOption{'C', "/"});
  if (line->databaseFolder.empty()) line->databaseFolder = DefaultDatabaseFolder();
  return true;
}

std::string DriveListText(const std::vector<DriveOption>& drives) {
  std::string out;
  for (const DriveOption& drive : drives) {
    if (!out.empty()) out += ' ';
    out += drive.letter;
    out += '=';
    out += drive.directory;
    if (drive.ntfs) out += " (NTFS)";
  }
  return out;
}

}  // namespace vessiko
