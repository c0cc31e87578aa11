#!/usr/bin/env bash
# Sets everything up, builds, and runs the program on a small demonstration
# workbook: the desktop program when a display is available, otherwise the
# command-line tool on the same workbook.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh release --target cellwick-cli
cli=build/cli/cellwick-cli
demo=build/demo.xls
"$cli" convert testdata/demo.csv "$demo" --recalc

if [ -n "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  bash scripts/build.sh release --target cellwick
  exec build/src/qt/cellwick "$demo"
fi

echo "No display found: showing the command-line demonstration instead."
echo "(Run under a display, or 'xvfb-run -a bash scripts/run.sh', for the desktop program.)"
echo
"$cli" --version
echo "== the cells of $demo =="
"$cli" dump "$demo"
echo
echo "== a formula computed by the engine =="
"$cli" eval --set A1=12 --set A2=40 '=SUMPRODUCT({12,40},{2.5,0.8})&" in total"'
echo
echo "== a number format =="
"$cli" format 1234567.891 '#,##0.00;[Red](#,##0.00)'
echo
echo "== a new workbook's tables, zh-CN regional settings =="
CELLWICK_LOCALE=zh-CN "$cli" info | sed -n '/^number formats/,/^$/p'
