#!/usr/bin/env bash
# Sets everything up, then builds and runs every test in the release
# configuration (warnings are errors) and under AddressSanitizer and
# UndefinedBehaviorSanitizer; then builds the libFuzzer targets and runs each
# one briefly.
set -euo pipefail
cd "$(dirname "$0")/.."
bash scripts/setup.sh
jobs=$(nproc)

echo "== release build and tests =="
CELLWICK_DEBUG_INFO=0 bash scripts/build.sh release
(cd build && ctest -j"$jobs" --output-on-failure)

echo "== Debian package =="
bash packaging/check_deb.sh build

echo "== sanitizer build and tests =="
CELLWICK_DEBUG_INFO=0 bash scripts/build.sh asan
(cd build-asan && ASAN_OPTIONS=detect_leaks=1:abort_on_error=1 \
  UBSAN_OPTIONS=print_stacktrace=1:halt_on_error=1 ctest -j"$jobs" --output-on-failure)

echo "== fuzz targets (libFuzzer) =="
CELLWICK_DEBUG_INFO=0 bash scripts/build.sh fuzz --target fuzzers
# A fixed seed and run count make each CI run explore the same inputs, so a
# red run is reproducible; CELLWICK_FUZZ_RUNS=-1 with a time limit explores
# further. scripts/fuzz.sh adds the real files of ../shared/corpus to the
# file fuzzers' own seeds when that folder is there.
runs=${CELLWICK_FUZZ_RUNS:-100000}
seconds=${CELLWICK_FUZZ_SECONDS:-12}
for fuzzer in build-fuzz/fuzz/*_fuzzer; do
  [ -x "$fuzzer" ] || continue
  name=$(basename "$fuzzer")
  echo "-- $name: $runs runs, at most ${seconds}s"
  # A finding shows its whole report (the stack), a clean run its last lines.
  log=$(mktemp)
  if ! bash scripts/fuzz.sh "$name" -seed=1 -runs="$runs" \
    -max_total_time="$seconds" -print_final_stats=0 >"$log" 2>&1; then
    grep -v '" # Uses: ' "$log" | tail -n 80
    rm -f "$log"
    exit 1
  fi
  tail -n 2 "$log"
  rm -f "$log"
done

echo "== all tests passed =="
