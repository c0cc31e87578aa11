#!/usr/bin/env bash
# cellwick-cli print as a user runs it, without a display: a PDF with one
# page per printed page (counted in the file's page tree, so no PDF tool is
# needed), nothing written for an empty sheet, and clear refusals.
# Usage: print_test.sh CELLWICK_CLI
set -uo pipefail
cli=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unset DISPLAY WAYLAND_DISPLAY
export XDG_RUNTIME_DIR=$work
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# The page count of the PDF's page tree; empty when it is no PDF.
pdf_pages() {
  head -c 5 "$1" 2>/dev/null | grep -q '%PDF-' || return 0
  grep -a -o '/Count [0-9]*' "$1" | head -1 | cut -d' ' -f2
}

expect() {
  local code=$1 name=$2
  shift 2
  "$cli" print "$@" >"$work/out" 2>"$work/err"
  local got=$?
  [ $got = "$code" ] || fail "$name: exit $got, wanted $code ($(head -c 300 "$work/err"))"
}

# 150 rows by 20 columns: on A4 at 10 mm margins 61 rows and 12 default
# columns fit a page, so 3 row bands by 2 column bands.
for r in $(seq 1 150); do
  line="r$r"
  for c in $(seq 2 20); do line="$line,$((r * c))"; done
  echo "$line"
done >"$work/big.csv"
"$cli" convert "$work/big.csv" "$work/big.xls" >/dev/null || fail "convert of the test sheet"

expect 0 "six pages" "$work/big.xls" --pdf "$work/big.pdf"
[ "$(pdf_pages "$work/big.pdf")" = 6 ] || fail "page count: $(pdf_pages "$work/big.pdf")"
grep -q "6 pages" "$work/out" || fail "the command does not say how many pages: $(cat "$work/out")"
[ ! -e "$work/big.pdf.part" ] || fail "the partial file stays behind"

expect 0 "named sheet" "$work/big.xls" --sheet big --pdf "$work/named.pdf"
[ "$(pdf_pages "$work/named.pdf")" = 6 ] || fail "named sheet: $(pdf_pages "$work/named.pdf")"

: >"$work/empty.csv"
expect 1 "empty sheet" "$work/empty.csv" --pdf "$work/empty.pdf"
[ ! -e "$work/empty.pdf" ] || fail "an empty sheet wrote a file"
grep -q "nothing to print" "$work/err" || fail "the empty sheet is not reported: $(cat "$work/err")"

echo keep >"$work/kept.pdf"
expect 1 "empty sheet over an older file" "$work/empty.csv" --pdf "$work/kept.pdf"
[ "$(cat "$work/kept.pdf")" = keep ] || fail "an older file was touched"

expect 1 "no such sheet" "$work/big.xls" --sheet nope --pdf "$work/x.pdf"
expect 1 "unreadable file" "$work/missing.xls" --pdf "$work/x.pdf"
expect 2 "no output" "$work/big.xls"
expect 2 "unknown option" "$work/big.xls" --pdf "$work/x.pdf" --bogus
expect 0 "help" --help

[ $failures = 0 ] && echo "print: all checks passed"
exit $((failures > 0))
