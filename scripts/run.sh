#!/usr/bin/env bash
# Sets everything up, builds, and opens the desktop program on a small
# demonstration workbook. Without a display it renders the workbook's sheet
# to a PNG picture with the window's own painter, prints where the picture
# is and the workbook's cells, and exits 0.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh release --target cellwick-cli
cli=build/cli/cellwick-cli
demo=build/demo.xls
"$cli" convert testdata/demo.csv "$demo" --recalc

if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  png="$PWD/build/demo.png"
  echo "cellwick: no display available, so the desktop window cannot open here."
  "$cli" render "$demo" --png "$png" --size 900x480
  echo "The demonstration workbook as the window shows it: $png"
  echo "Its cells (sheet, address, kind, value, input, number format):"
  "$cli" dump "$demo"
  echo "To see the window, run it under a display, e.g.: xvfb-run -a bash scripts/run.sh"
  exit 0
fi
bash scripts/build.sh release --target cellwick
exec build/src/qt/cellwick "$demo"
