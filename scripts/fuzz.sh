#!/usr/bin/env bash
# Runs one libFuzzer target of the fuzz build (scripts/build.sh fuzz) on a
# scratch folder seeded with the project's own inputs (fuzz/corpus/NAME),
# with the target's dictionary (fuzz/dict/NAME.dict) when it has one.
# The file fuzzers also start from the real files of ../shared/corpus, read
# where they lie (never copied into the project; left out when the folder is
# absent), and take inputs of up to 4 MiB. Pocket seeds are made at run time
# from the corpus's smaller binary workbooks with build/cli/cellwick-cli,
# when the release build has it.
#
# Usage: scripts/fuzz.sh NAME [libFuzzer options...]
#   scripts/fuzz.sh biff_fuzzer -max_total_time=600
# Environment:
#   CELLWICK_FUZZ_WORK  keep the grown corpus here instead of a temporary folder
#   CELLWICK_CORPUS     the real-file corpus (default ../shared/corpus)
#   CELLWICK_FUZZ_NO_XLS  leave the corpus's binary workbooks out (pocket seeds
#                       made from them stay)
# Inputs that fail are saved in build-fuzz/artifacts/.
set -euo pipefail
cd "$(dirname "$0")/.."

if [[ $# -lt 1 ]]; then
  echo "usage: scripts/fuzz.sh NAME [libFuzzer options...]" >&2
  exit 2
fi
name=$1
shift
fuzzer=build-fuzz/fuzz/$name
if [[ ! -x $fuzzer ]]; then
  echo "fuzz.sh: $fuzzer not built (bash scripts/build.sh fuzz --target fuzzers)" >&2
  exit 2
fi
corpus=${CELLWICK_CORPUS:-../shared/corpus}
cli=build/cli/cellwick-cli

scratch=$(mktemp -d)
trap 'rm -rf "$scratch"' EXIT
work=${CELLWICK_FUZZ_WORK:-$scratch/work}
mkdir -p "$work"
if [[ -d fuzz/corpus/$name ]]; then
  cp -r "fuzz/corpus/$name/." "$work/"
fi

# The first folder receives what the run finds; the others are only read.
inputs=("$work")
options=()
xls=false csv=false pocket=false
case $name in
  biff_fuzzer | compound_fuzzer) xls=true ;;
  roundtrip_fuzzer) xls=true pocket=true ;;
  pocket_fuzzer) pocket=true ;;
  csv_fuzzer) csv=true ;;
esac
if $xls || $csv || $pocket; then
  # Whole workbooks, not just the few kilobytes libFuzzer would guess from
  # small seeds; a slow input is a finding too. The limit is wall time, and
  # the largest real workbooks take 15 s of the instrumented build's CPU each
  # (0.4 s in the release build): on a busy machine 30 s was not enough.
  options+=(-max_len=4194304 -timeout=90)
fi
if [[ -f fuzz/dict/$name.dict ]]; then
  options+=(-dict="fuzz/dict/$name.dict")
fi
if $xls && [[ -z ${CELLWICK_FUZZ_NO_XLS:-} && -d $corpus/xls ]]; then
  inputs+=("$corpus/xls")
fi
if $csv && [[ -d $corpus/csv ]]; then
  inputs+=("$corpus/csv")
fi
if $pocket && [[ -d $corpus/xls && -x $cli ]]; then
  mkdir -p "$scratch/pxl"
  for f in "$corpus"/xls/*; do
    [[ $(stat -c %s "$f") -le 262144 ]] || continue
    timeout 10 "$cli" convert "$f" "$scratch/pxl/$(basename "$f").pxl" >/dev/null 2>&1 || true
  done
  inputs+=("$scratch/pxl")
fi

mkdir -p build-fuzz/artifacts
echo "fuzz.sh: $name on ${inputs[*]}" >&2
"$fuzzer" "${options[@]}" -artifact_prefix="build-fuzz/artifacts/$name-" "$@" "${inputs[@]}"
