#!/usr/bin/env bash
# cellwick-cli run on a real Excel 4 macro sample: the macro runs only when
# asked, its alert goes to stderr, and reading the file (dump, convert)
# never runs it. Skips when the corpus is absent.
# Usage: run_test.sh CELLWICK_CLI CORPUS_DIR
set -uo pipefail
cli=$1 corpus=$2
sample=$corpus/xls/oletools__excel4-macros_excel4_sample_macro.xls
if [ ! -f "$sample" ]; then
  echo "corpus absent: $sample; skipped"
  exit 0
fi
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
failures=0
fail() { echo "FAIL: $*" >&2; failures=$((failures + 1)); }
alert="This is a sample Excel 4 macro"

"$cli" run "$sample" Auto_Open --save "$work/out.xls" >"$work/out" 2>"$work/err"
[ $? = 0 ] || fail "run: exit $?"
grep -q "$alert" "$work/err" || fail "run: the alert is not on stderr"
[ "$(cat "$work/out")" = "#N/A" ] || fail "run: result '$(cat "$work/out")', wanted #N/A (HALT ends it without RETURN)"
[ -s "$work/out.xls" ] || fail "run --save wrote nothing"

for cmd in "dump $sample" "convert $sample $work/c.xls" "open $sample"; do
  # shellcheck disable=SC2086
  "$cli" $cmd >"$work/out" 2>"$work/err"
  grep -q "$alert" "$work/err" && fail "$cmd ran the macro"
done

"$cli" run "$sample" NoSuchMacro >"$work/out" 2>"$work/err"
[ $? = 1 ] || fail "run of a missing macro: exit not 1"
"$cli" run "$sample" >"$work/out" 2>"$work/err"
[ $? = 2 ] || fail "run without a macro name: exit not 2"

[ $failures = 0 ] && echo "ok" || exit 1
