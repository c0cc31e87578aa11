#!/usr/bin/env bash
# Configures and builds one configuration: release (default), asan or fuzz.
# Usage: scripts/build.sh [release|asan|fuzz] [cmake --build arguments...]
set -euo pipefail
cd "$(dirname "$0")/.."
# Paths relative to the checkout let ccache reuse objects across clones.
export CCACHE_BASEDIR="$PWD"
config=${1:-release}
shift || true
jobs=$(nproc)
case "$config" in
  release)
    dir=build
    # Debug info is for profiling and debugging; the test run leaves it out
    # (CELLWICK_DEBUG_INFO=0) because it is a large share of compile and link
    # time on a cold cache. Stated both ways so a reused build dir follows.
    if [ "${CELLWICK_DEBUG_INFO:-1}" = 0 ]; then
      flags="-O2 -DNDEBUG"
    else
      flags="-O2 -g -DNDEBUG"
    fi
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCELLWICK_WERROR=ON \
      -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="$flags" -DCMAKE_C_FLAGS_RELWITHDEBINFO="$flags" >/dev/null
    ;;
  asan)
    dir=build-asan
    # The test run asks for line tables only and light optimisation: the
    # sanitizers still name file and line, and the tests run about twice as fast.
    if [ "${CELLWICK_DEBUG_INFO:-1}" = 0 ]; then
      flags="-O1 -g1"
    else
      flags="-O0 -g"
    fi
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Debug -DCELLWICK_WERROR=ON \
      -DCMAKE_CXX_FLAGS_DEBUG="$flags" -DCMAKE_C_FLAGS_DEBUG="$flags" \
      -DCELLWICK_SANITIZE=ON -DCELLWICK_BENCHMARKS=OFF >/dev/null
    ;;
  fuzz)
    dir=build-fuzz
    # The test run fuzzes each target for seconds: compile time outweighs the
    # speed -O2 would buy, and line tables are enough to name a crash's place.
    if [ "${CELLWICK_DEBUG_INFO:-1}" = 0 ]; then
      flags="-O1 -g1 -DNDEBUG"
    else
      flags="-O2 -g -DNDEBUG"
    fi
    CC=clang CXX=clang++ cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=RelWithDebInfo \
      -DCMAKE_CXX_FLAGS_RELWITHDEBINFO="$flags" -DCMAKE_C_FLAGS_RELWITHDEBINFO="$flags" \
      -DCELLWICK_FUZZ=ON -DCELLWICK_BENCHMARKS=OFF >/dev/null
    ;;
  *)
    echo "build.sh: unknown configuration '$config' (release, asan or fuzz)" >&2
    exit 2
    ;;
esac
cmake --build "$dir" -j"$jobs" "$@"
