#!/usr/bin/env bash
# Starts the desktop program on a virtual display as the file manager would:
# three files at once, as for a selection, then two more files one by one (one
# by a relative path, one with spaces and Chinese in its name). One program
# must keep one window; every other start must hand its file to it and end,
# and that window must show the file.
# Usage: second_start_test.sh CELLWICK
set -euo pipefail
cellwick=$1
if [ -z "${CELLWICK_UNDER_XVFB:-}" ]; then
  exec env CELLWICK_UNDER_XVFB=1 xvfb-run -a -s "-screen 0 1024x768x24" bash "$0" "$@"
fi

work=$(mktemp -d)
first=""
cleanup() {
  if [ -n "$first" ]; then
    kill "$first" 2>/dev/null || true
    wait "$first" 2>/dev/null || true
  fi
  rm -rf "$work"
}
trap cleanup EXIT
export XDG_CONFIG_HOME="$work/config" XDG_RUNTIME_DIR="$work/run" LC_ALL=C.UTF-8 CELLWICK_LOCALE=en-US
mkdir -m 700 "$work/run"
mkdir "$work/季度 报表"
printf '1,2\r\n' >"$work/first.csv"
printf '3,4\r\n' >"$work/季度 报表/数据 二.csv"
printf '5,6\r\n' >"$work/third.csv"
for f in a b c; do printf '%s\r\n' "$f" >"$work/$f.csv"; done

# The title of the program's one top-level window (by its WM_CLASS).
windows() { xwininfo -root -children | grep -F '("cellwick" "cellwick")' | awk '{ print $1 }'; }
title() {
  local id
  id=$(windows | head -1)
  [ -n "$id" ] || return 0
  xprop -id "$id" _NET_WM_NAME | sed -n 's/^_NET_WM_NAME(UTF8_STRING) = "\(.*\)"$/\1/p'
}
wait_for_title() {
  for _ in $(seq 1 100); do
    [ "$(title)" = "$1" ] && return 0
    sleep 0.1
  done
  echo "FAIL: the window's title is '$(title)', not '$1'" >&2
  return 1
}

# Three starts at the same moment: they take turns, so the first to find no
# program listens and the two others hand their files to it.
starts=()
for f in a b c; do
  "$cellwick" "$work/$f.csv" &
  starts+=($!)
done
for _ in $(seq 1 200); do
  running=()
  for pid in "${starts[@]}"; do kill -0 "$pid" 2>/dev/null && running+=("$pid"); done
  [ ${#running[@]} -le 1 ] && [ -n "$(title)" ] && break
  sleep 0.1
done
[ ${#running[@]} -eq 1 ] || { first=${running[0]:-}; kill "${running[@]:1}" 2>/dev/null; echo "FAIL: ${#running[@]} of three starts at once kept running" >&2; exit 1; }
first=${running[0]}
for pid in "${starts[@]}"; do
  [ "$pid" = "$first" ] && continue
  wait "$pid" || { echo "FAIL: a start at the same moment ended with $?" >&2; exit 1; }
done
# Its Window menu lists the three workbooks: choosing each shows its name.
window=$(windows | head -1)
shown=()
for n in 1 2 3; do
  xdotool windowfocus --sync "$window" key --delay 100 alt+w "$n"
  sleep 0.5
  shown+=("$(title)")
done
[ "$(printf '%s\n' "${shown[@]}" | sort | tr '\n' '|')" = "Cellwick - a.csv|Cellwick - b.csv|Cellwick - c.csv|" ] ||
  { echo "FAIL: the Window menu shows ${shown[*]}, not a.csv, b.csv and c.csv" >&2; exit 1; }

# A start that kept a window of its own would not end: give it 20 seconds.
timeout 20 "$cellwick" "$work/first.csv" || { echo "FAIL: the start with first.csv ended with $?" >&2; exit 1; }
wait_for_title "Cellwick - first.csv"
timeout 20 "$cellwick" "$work/季度 报表/数据 二.csv" || { echo "FAIL: the second start ended with $?" >&2; exit 1; }
wait_for_title "Cellwick - 数据 二.csv"
(cd "$work" && timeout 20 "$cellwick" third.csv) || { echo "FAIL: the third start ended with $?" >&2; exit 1; }
wait_for_title "Cellwick - third.csv"

kill -0 "$first" || { echo "FAIL: the first program is gone" >&2; exit 1; }
count=$(windows | wc -l)
[ "$count" -eq 1 ] || { echo "FAIL: $count program windows, not one" >&2; exit 1; }
echo "later starts: their files opened in the running window"
