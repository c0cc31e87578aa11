#!/usr/bin/env bash
# The man pages render without warnings and cover every command and option
# that the programs' --help texts name (cellwick-cli's commands each have
# their own --help too).
# Usage: man_test.sh MAN_DIR CELLWICK CELLWICK_CLI
set -euo pipefail
man_dir=$1 cellwick=$2 cli=$3
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

if ! command -v groff >/dev/null; then
  echo "groff not installed: man pages not checked"
  exit 0
fi

# The page as a reader sees it, with groff's hyphen and minus signs as '-'.
rendered() {
  groff -k -man -Tutf8 -P-cbu "$1" 2>/dev/null | sed 's/\xe2\x80\x90/-/g; s/\xe2\x88\x92/-/g'
}

# The options and commands a --help text names: every --word, and the first
# word of each line of a "commands:" list.
named() {
  grep -oE -- '--[a-z0-9][a-z0-9-]*' || true
}
commands_of() {
  awk '/^commands:/ { on = 1; next } /^[^ ]/ { on = 0 } on && /^  [a-z]/ { print $1 }'
}

check_page() { # page, words...
  local page=$1
  shift
  local text
  text=$(rendered "$man_dir/$page.1")
  local warnings
  warnings=$(groff -k -man -Tutf8 -ww -z "$man_dir/$page.1" 2>&1 || true)
  [ -z "$warnings" ] || fail "$page.1 renders with warnings: $warnings"
  for word in "$@"; do
    grep -qF -- "$word" <<<"$text" || fail "$page.1 does not mention $word"
  done
}

mapfile -t gui_words < <("$cellwick" --help | named | sort -u)
[ ${#gui_words[@]} -ge 3 ] || fail "cellwick --help names only ${#gui_words[@]} options"
check_page cellwick "${gui_words[@]}"

help=$("$cli" --help)
mapfile -t commands < <(commands_of <<<"$help")
[ ${#commands[@]} -ge 5 ] || fail "cellwick-cli --help lists only ${#commands[@]} commands"
cli_words=("${commands[@]}")
mapfile -t -O ${#cli_words[@]} cli_words < <(named <<<"$help" | sort -u)
for command in "${commands[@]}"; do
  # A command's own usage may name options the overview leaves out.
  mapfile -t -O ${#cli_words[@]} cli_words < <("$cli" "$command" --help 2>/dev/null | named | sort -u)
done
mapfile -t cli_words < <(printf '%s\n' "${cli_words[@]}" | sort -u)
check_page cellwick-cli "${cli_words[@]}"
# Each command has its own entry (a line starting with its name) and its own
# line in the synopsis.
text=$(rendered "$man_dir/cellwick-cli.1")
synopsis=$(awk '/^SYNOPSIS/ { on = 1; next } /^[A-Z]/ { on = 0 } on' <<<"$text")
for command in "${commands[@]}"; do
  grep -qE "^ {7}$command( |$)" <<<"$text" || fail "cellwick-cli.1 has no entry for the command $command"
  grep -qE "^ {7}cellwick-cli +$command( |$)" <<<"$synopsis" || fail "cellwick-cli.1's synopsis lacks the command $command"
done

if [ "$failures" -ne 0 ]; then
  echo "$failures man page check(s) failed" >&2
  exit 1
fi
echo "man pages: ${#gui_words[@]} cellwick options, ${#commands[@]} commands and ${#cli_words[@]} cellwick-cli words covered"
