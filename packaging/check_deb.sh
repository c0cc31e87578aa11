#!/usr/bin/env bash
# Builds the Debian package in a build folder and checks it: its files are
# those of installed_files.txt under usr/, and its dependencies name the
# libraries and plugins the programs need on a fresh Debian 12.
# Usage: check_deb.sh BUILD_DIR
set -euo pipefail
build=$1
here=$(cd "$(dirname "$0")" && pwd)
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

rm -f "$build"/cellwick_*.deb
(cd "$build" && cpack -G DEB >/dev/null 2>&1) || (cd "$build" && cpack -G DEB)
debs=("$build"/cellwick_*.deb)
[ ${#debs[@]} -eq 1 ] && [ -f "${debs[0]}" ] || { echo "FAIL: cpack made no cellwick_*.deb" >&2; exit 1; }
deb=${debs[0]}

diff -u <(grep -v '^#' "$here/installed_files.txt" | sed 's|^|usr/|') \
  <(dpkg-deb -c "$deb" | awk '$1 !~ /^d/ { print $6 }' | sed 's|^\./||' | LC_ALL=C sort) ||
  fail "the package's files differ from installed_files.txt (- expected, + packaged)"

depends=$(dpkg-deb -f "$deb" Depends)
depended=$(tr ',|' '\n\n' <<<"$depends" | awk '{ print $1 }')
for need in libc6 libstdc++6 libicu72 libqt6core6 libqt6gui6 libqt6widgets6 libqt6network6 fonts-wqy-microhei; do
  grep -qxF "$need" <<<"$depended" || fail "Depends lacks $need: $depends"
done
[ "$(dpkg-deb -f "$deb" Package)" = cellwick ] || fail "the package is not named cellwick"

# The programs in the package are stripped and run.
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
dpkg-deb -x "$deb" "$work"
"$work/usr/bin/cellwick-cli" --help | grep -q '^usage: cellwick-cli' || fail "the packaged cellwick-cli does not run"
if command -v readelf >/dev/null && readelf -S "$work/usr/bin/cellwick" | grep -q '\.debug_info'; then
  fail "the packaged cellwick is not stripped"
fi

if [ "$failures" -ne 0 ]; then
  echo "$failures package check(s) failed" >&2
  exit 1
fi
echo "package: $(basename "$deb"), $(stat -c %s "$deb") bytes, $(dpkg-deb -c "$deb" | grep -vc '^d') files; Depends: $depends"
