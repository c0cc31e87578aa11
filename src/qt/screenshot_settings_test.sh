#!/usr/bin/env bash
# A --screenshot run takes its picture and leaves the user's settings as
# they were: none are written where there were none, and existing ones keep
# every byte (the bars the user hid stay hidden).
# Usage: screenshot_settings_test.sh CELLWICK
set -uo pipefail
cellwick=$1
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir -m 700 "$work/run"
export QT_QPA_PLATFORM=offscreen XDG_RUNTIME_DIR=$work/run CELLWICK_LOCALE=en-US
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }

shot() { # config folder, picture
  XDG_CONFIG_HOME=$1 timeout 60 "$cellwick" --screenshot "$2" >/dev/null 2>&1 || fail "the screenshot run failed"
  [ "$(head -c 4 "$2" 2>/dev/null | od -An -tx1 | tr -d ' ')" = 89504e47 ] || fail "no PNG at $2"
}

shot "$work/fresh" "$work/a.png"
[ ! -e "$work/fresh/Quenby Works/Cellwick.conf" ] || fail "a screenshot run wrote settings"

conf="$work/kept/Quenby Works/Cellwick.conf"
mkdir -p "$(dirname "$conf")"
# The formula bar and the status bar hidden, one recent file.
printf '%s\n' '[Options]' \
  'CmdBarData=@ByteArray(\0\0\0\0\x84\0\0\0\x84\x3\0\0\0\0\0\0\x85\0\0\0\x84\x3\0\0)' \
  'StsBarData=0' '' '[Recent%20files]' 'File1=/tmp/kept.xls' >"$conf"
cp "$conf" "$work/before.conf"
shot "$work/kept" "$work/b.png"
cmp -s "$conf" "$work/before.conf" || fail "a screenshot run changed the user's settings: $(diff "$work/before.conf" "$conf")"

[ $failures = 0 ] && echo "screenshot runs keep the settings"
exit $((failures > 0))
