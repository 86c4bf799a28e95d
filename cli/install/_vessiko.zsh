#compdef vessiko

# L=DIR: a drive letter, then a directory; with an argument, L=PATH: a letter, then any file.
(( $+functions[_vessiko_drive] )) ||
_vessiko_drive() {
  if compset -P '[A-Za-z]='; then
    if (( $# )); then _files; else _directories; fi
  else
    local -a letters
    letters=({A..Z})
    _wanted letters expl 'drive letter' compadd -M 'm:{a-z}={A-Z}' -S '=' -q -- $letters
  fi
}

# OP,N,UNIT
(( $+functions[_vessiko_size] )) ||
_vessiko_size() {
  if compset -P '*,*,'; then
    _wanted units expl 'unit' compadd -- B KB MB GB
  elif compset -P '*,'; then
    _message -e numbers 'size (a number)'
  else
    _wanted operators expl 'comparison' compadd -S , -q -- eq gt lt ge le
  fi
}

# KIND,MODE,DATE[,DATE]
(( $+functions[_vessiko_date] )) ||
_vessiko_date() {
  if compset -P '*,*,'; then
    _message -e dates 'date (YYYY-MM-DD or YYYY-MM-DDTHH:MM, local time)'
  elif compset -P '*,'; then
    _wanted modes expl 'mode' compadd -S , -q -- after before between
  else
    _wanted kinds expl 'time stamp' compadd -S , -q -- created modified accessed
  fi
}

_vessiko() {
  _arguments -s -S \
    '(- 1 2)--help[show the help]' \
    '(- 1 2)--version[show the version]' \
    '*--drive=[mirror a directory as a drive]:drive (L=DIR):_vessiko_drive' \
    '*--ntfs=[read an NTFS partition or image as a drive]:drive (L=PATH):_vessiko_drive file' \
    '--db-dir=[folder of the databases and the mirrors'\'' state]:database folder:_directories' \
    '--serve[run as the service of the database folder]' \
    '--save-interval=[with --serve: save every S seconds while changes are pending]:seconds' \
    '--case[letters match case]' \
    '(--no-files)--no-folders[do not search folders]' \
    '(--no-folders)--no-files[do not search files]' \
    '*--scope=[search only in DIR and below it]:folder:_directories' \
    '*--scope-top=[search only directly in DIR]:folder:_directories' \
    '--size=[keep files by size]:size (OP,N,UNIT):_vessiko_size' \
    '--date=[keep entries by a time stamp]:date (KIND,MODE,DATE[,DATE]):_vessiko_date' \
    '--attr=[keep entries by attributes]:attributes:_values -s , attribute
        "normal[neither hidden nor system]"
        "hidden[the name starts with a dot]"
        "system[neither a regular file nor a directory]"' \
    '--paths[print full paths alone, one per line]' \
    '(-0 --null)'{-0,--null}'[end each path with a NUL byte (implies --paths)]' \
    '--limit=[print at most N results]:number of results' \
    '--count[print the number of results alone]' \
    '1:name (words, or a pattern with * and ?)' \
    '2:extensions'
}

_vessiko "$@"
