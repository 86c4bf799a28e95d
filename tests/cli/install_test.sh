#!/usr/bin/env bash
# Installs a build into a fresh prefix and checks what lands there: exactly the program, its
# manual page, the two completions and the user unit; the program runs; the unit starts the
# installed program; every option of --help is documented and completed; the page formats
# without warnings and the completions parse (with the tools at hand: groff, zsh,
# systemd-analyze are each skipped when missing).
# Usage: install_test.sh CMAKE BUILD_DIR VERSION
set -euo pipefail
cmake=$1 build=$2 version=$3

work=$(mktemp -d "${TMPDIR:-/tmp}/vessiko-install.XXXXXX")
trap 'rm -rf "$work"' EXIT
prefix=$work/prefix
failures=0
fail() {
  echo "FAIL: $*" >&2
  failures=$((failures + 1))
}
skip() { echo "skipped: $*"; }

if ! env -u DESTDIR "$cmake" --install "$build" --prefix "$prefix" >"$work/install.log" 2>&1; then
  cat "$work/install.log" >&2
  echo "FAIL: cmake --install" >&2
  exit 1
fi

program=$prefix/bin/vessiko
page=$prefix/share/man/man1/vessiko.1
bash_completion=$prefix/share/bash-completion/completions/vessiko
zsh_completion=$prefix/share/zsh/site-functions/_vessiko
unit=$prefix/lib/systemd/user/vessiko.service

expected=$(printf '%s\n' "$program" "$page" "$bash_completion" "$zsh_completion" "$unit" | sort)
installed=$(find "$prefix" -type f | sort)
[[ $installed == "$expected" ]] ||
  fail "installed files differ:$(diff <(echo "$expected") <(echo "$installed") | sed 's/^/  /')"
[[ -x $program ]] || fail "$program is not executable"

# The program runs from where it was installed.
out=$("$program" --version 2>&1) || fail "vessiko --version exits with $?"
[[ $out == "vessiko $version" ]] || fail "vessiko --version prints '$out'"

# The unit starts the installed program as the service; nothing is left unfilled.
exec_start=$(grep '^ExecStart=' "$unit" || true)
[[ $exec_start == "ExecStart=$program --serve" ]] || fail "the unit has '$exec_start'"
for file in "$unit" "$page"; do
  if grep -n '@[A-Za-z_]*@' "$file"; then fail "$file keeps a placeholder"; fi
done
grep -q "^\.TH VESSIKO 1 .*vessiko $version" "$page" || fail "the page does not name version $version"
if command -v systemd-analyze >/dev/null; then
  # Only the unit's own complaints: the machine may lack a service manager.
  problems=$(timeout 60 systemd-analyze verify --man=no "$unit" 2>&1 | grep -F 'vessiko.service' || true)
  [[ -z $problems ]] || fail "systemd-analyze verify: $problems"
else
  skip "systemd-analyze is not installed"
fi

# Every long option the program knows is in the page and in both completions.
options=$("$program" --help | grep -o -E -- '--[a-z][a-z-]*' | sort -u)
[[ -n $options ]] || fail "no options in vessiko --help"
page_text=$(sed 's/\\-/-/g' "$page")
grep -q -F "$program --serve" <<<"$page_text" || fail "the page does not name the installed program"
for option in $options; do
  pattern="$option([^a-z-]|\$)"
  grep -q -E -- "$pattern" <<<"$page_text" || fail "the page lacks $option"
  grep -q -E -- "$pattern" "$bash_completion" || fail "the bash completion lacks $option"
  grep -q -E -- "$pattern" "$zsh_completion" || fail "the zsh completion lacks $option"
done

if command -v groff >/dev/null; then
  warnings=$(LC_ALL=C.UTF-8 groff -man -Tutf8 -ww -z "$page" 2>&1)
  [[ -z $warnings ]] || fail "groff warns: $warnings"
else
  skip "groff is not installed"
fi

# The bash completion parses, registers itself, and completes options and keywords.
bash -n "$bash_completion" || fail "bash -n $bash_completion"
completed=$(bash --norc --noprofile -c '
  complete() { [[ "$*" == "-F _vessiko vessiko" ]] && echo registered; builtin complete "$@"; }
  compopt() { :; }
  source "$1"
  ask() { COMP_LINE=$1 COMP_POINT=${#1}; read -r -a COMP_WORDS <<<"$1"
    [[ $1 == *" " ]] && COMP_WORDS+=("")
    COMP_CWORD=$((${#COMP_WORDS[@]} - 1)); _vessiko
    printf "%s\n" "${COMPREPLY[@]}" | sort | paste -s -d " "; }
  ask "vessiko --sc"
  ask "vessiko --date "
' - "$bash_completion" 2>&1)
[[ $completed == $'registered\n--scope --scope-top\naccessed, created, modified,' ]] ||
  fail "bash completion gives: $completed"

if command -v zsh >/dev/null; then
  zsh -n "$zsh_completion" || fail "zsh -n $zsh_completion"
  head -n 1 "$zsh_completion" | grep -q '^#compdef vessiko$' || fail "the zsh completion lacks #compdef"
else
  skip "zsh is not installed"
fi

((failures == 0)) || exit 1
echo "installed and checked: $prefix"
