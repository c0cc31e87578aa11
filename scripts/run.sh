#!/usr/bin/env bash
# Sets everything up, builds, and runs the program's main job on a small
# demonstration: a new workbook's tables, in en-US and zh-CN.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
bash scripts/build.sh release --target cellwick-cli
cli=build/cli/cellwick-cli
"$cli" --version
CELLWICK_LOCALE=${CELLWICK_LOCALE:-en-US} "$cli" info
echo
echo "== the same new workbook under zh-CN regional settings =="
CELLWICK_LOCALE=zh-CN "$cli" info | sed -n '/^number formats/,/^$/p'
