#!/usr/bin/env bash
# cellwick-cli render as a user runs it, without a display: a PNG of the
# asked size for a workbook and a named sheet, and a clear refusal with the
# documented exit code for every bad request.
# Usage: render_test.sh CELLWICK_CLI DEMO_CSV
set -uo pipefail
cli=$1 demo=$2
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
unset DISPLAY WAYLAND_DISPLAY
export XDG_RUNTIME_DIR=$work
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

# Width and height from a PNG's header chunk; empty when it is no PNG.
png_size() {
  local head
  head=$(od -An -tx1 -N24 "$1" 2>/dev/null | tr -d ' \n')
  [ "${head:0:16}" = 89504e470d0a1a0a ] || return 0
  echo "$((16#${head:32:8}))x$((16#${head:40:8}))"
}

# expect CODE NAME ARGS...: the command exits with CODE.
expect() {
  local code=$1 name=$2
  shift 2
  "$cli" render "$@" >"$work/out" 2>"$work/err"
  local got=$?
  [ $got = "$code" ] || fail "$name: exit $got, wanted $code ($(head -c 300 "$work/err"))"
}

"$cli" convert "$demo" "$work/demo.xls" --recalc >/dev/null || fail "convert of the demonstration"

expect 0 "default size" "$work/demo.xls" --png "$work/a.png"
[ "$(png_size "$work/a.png")" = 1024x768 ] || fail "default size: $(png_size "$work/a.png")"
grep -q "a.png" "$work/out" || fail "the command does not say where the picture is"

expect 0 "named sheet and size" "$work/demo.xls" --sheet demo --png "$work/b.png" --size 300x120
[ "$(png_size "$work/b.png")" = 300x120 ] || fail "asked size: $(png_size "$work/b.png")"

# A text file renders as it opens.
expect 0 "csv" "$demo" --png "$work/c.png" --size 64x64
[ "$(png_size "$work/c.png")" = 64x64 ] || fail "csv: $(png_size "$work/c.png")"

expect 2 "no --png" "$work/demo.xls"
expect 2 "size without x" "$work/demo.xls" --png "$work/x.png" --size 300
expect 2 "size zero" "$work/demo.xls" --png "$work/x.png" --size 0x10
expect 2 "size too large" "$work/demo.xls" --png "$work/x.png" --size 16385x10
expect 2 "option without value" "$work/demo.xls" --png
expect 2 "two files" "$work/demo.xls" "$work/demo.xls" --png "$work/x.png"
expect 1 "missing file" "$work/none.xls" --png "$work/x.png"
expect 1 "unknown sheet" "$work/demo.xls" --sheet Nope --png "$work/x.png"
grep -q "Nope" "$work/err" || fail "the unknown sheet is not named"
{ printf '\xd0\xcf\x11\xe0\xa1\xb1\x1a\xe1'; head -c 2000 /dev/zero; } >"$work/junk.xls"
expect 1 "damaged file" "$work/junk.xls" --png "$work/x.png"
expect 1 "unwritable output" "$work/demo.xls" --png "$work/no/such/folder/x.png"
[ ! -e "$work/x.png" ] || fail "a refused render left a picture"

[ $failures = 0 ] && echo "render: all checks passed"
exit $((failures > 0))
