#!/usr/bin/env bash
# Sets everything up, builds, and opens the desktop program on a small
# demonstration workbook. Without a display it says so and exits non-zero.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh release --target cellwick-cli
cli=build/cli/cellwick-cli
demo=build/demo.xls
"$cli" convert testdata/demo.csv "$demo" --recalc

if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}" ]; then
  echo "cellwick: no display available, so the desktop program cannot start." >&2
  echo "Run it under a display, or headless with: xvfb-run -a bash scripts/run.sh" >&2
  echo "The command-line tool works without one, e.g.: $cli dump $demo" >&2
  exit 1
fi
bash scripts/build.sh release --target cellwick
exec build/src/qt/cellwick "$demo"
