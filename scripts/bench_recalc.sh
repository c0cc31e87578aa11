#!/usr/bin/env bash
# Whole-process recalculation of an ordinary sheet, ours against Gnumeric:
# 20,000 rows written by xlwt, A-E numbers, F-J the formulas
#   =SUM(A1:E1)  =AVERAGE(A1:E1)*2  =IF(A1>B1,A1,B1)
#   =VLOOKUP(A1,$A$1:$E$2000,3,FALSE)  =ROUND(C1/3,2)
# Ours is `cellwick-cli convert --recalc FILE OUT.xls`; Gnumeric's is
# `ssconvert --recalc FILE OUT.xls`, timed side by side in one run.
#
# Usage: scripts/bench_recalc.sh [-n RUNS] [DIR]
#   DIR           where the file is made once (default build/recalcbench)
#   -n RUNS       runs of each command (default 5)
#   CELLWICK_CLI  the program to time (default build/cli/cellwick-cli)
#
# Needs ssconvert (Debian's gnumeric package, which the project does not
# install; `apt-get install gnumeric` on a measuring machine) and the system
# python3 with xlwt. Prints the mean wall and CPU time of each, and ours as
# a fraction of Gnumeric's.
# Before timing, the results of both are compared cell by cell.
set -euo pipefail
cd "$(dirname "$0")/.."

runs=5
if [[ ${1:-} == -n ]]; then
  runs=$2
  shift 2
fi
dir=${1:-build/recalcbench}
cli=${CELLWICK_CLI:-build/cli/cellwick-cli}
python=/usr/bin/python3 # the system python carries python3-xlrd and python3-xlwt

if [[ ! -x $cli ]]; then
  echo "bench_recalc.sh: $cli not built (cmake --build ... --target cellwick-cli)" >&2
  exit 2
fi
if ! command -v ssconvert >/dev/null; then
  echo "bench_recalc.sh: ssconvert not found (apt-get install gnumeric)" >&2
  exit 2
fi
if ! $python -c 'import xlrd, xlwt' 2>/dev/null; then
  echo "bench_recalc.sh: $python needs python3-xlrd and python3-xlwt" >&2
  exit 2
fi
mkdir -p "$dir"
file=$dir/formulas20000.xls
if [[ ! -s $file ]]; then
  echo "making $file ..." >&2
  $python - "$file" <<'EOF'
import sys, xlwt
path = sys.argv[1]
book = xlwt.Workbook()
sheet = book.add_sheet("Data")
for r in range(20000):
    n = r + 1
    row = sheet.row(r)
    # Keys 1..2000 in the table's rows, repeating below, so every lookup hits.
    row.set_cell_number(0, r % 2000 + 1)
    row.set_cell_number(1, (r * 37) % 2500 + 0.5)
    row.set_cell_number(2, r / 7.0)
    row.set_cell_number(3, (r * 13) % 1000)
    row.set_cell_number(4, r % 17)
    row.write(5, xlwt.Formula("SUM(A%d:E%d)" % (n, n)))
    row.write(6, xlwt.Formula("AVERAGE(A%d:E%d)*2" % (n, n)))
    row.write(7, xlwt.Formula("IF(A%d>B%d,A%d,B%d)" % (n, n, n, n)))
    row.write(8, xlwt.Formula("VLOOKUP(A%d,$A$1:$E$2000,3,FALSE)" % n))
    row.write(9, xlwt.Formula("ROUND(C%d/3,2)" % n))
book.save(path + ".tmp")
EOF
  mv "$file.tmp" "$file"
fi

ours_out=$dir/ours.xls
gnumeric_out=$dir/gnumeric.xls
ours=("$cli" convert --recalc "$file" "$ours_out")
gnumeric=(ssconvert --recalc "$file" "$gnumeric_out")

# Both must compute the same values before their times mean anything.
"${ours[@]}" >/dev/null 2>&1
"${gnumeric[@]}" >/dev/null 2>&1
$python - "$ours_out" "$gnumeric_out" <<'EOF'
import sys, xlrd
a = xlrd.open_workbook(sys.argv[1]).sheet_by_index(0)
b = xlrd.open_workbook(sys.argv[2]).sheet_by_index(0)
bad = 0
for r in range(20000):
    for c in range(5, 10):
        x, y = a.cell_value(r, c), b.cell_value(r, c)
        if not (isinstance(x, float) and isinstance(y, float) and abs(x - y) <= 1e-9 * max(1, abs(y))):
            bad += 1
            if bad <= 5:
                print("differs at row %d column %d: ours %r, gnumeric %r" % (r + 1, c + 1, x, y))
if bad:
    sys.exit("bench_recalc.sh: %d results differ" % bad)
print("results agree: 100,000 formulas")
EOF

# Wall and CPU seconds (user + system) of one run of a command: "wall cpu".
time_command() {
  $python -c 'import resource, subprocess, sys, time
t = time.perf_counter()
subprocess.run(sys.argv[1:], stdout=subprocess.DEVNULL, stderr=subprocess.DEVNULL, check=True)
wall = time.perf_counter() - t
r = resource.getrusage(resource.RUSAGE_CHILDREN)
print(wall, r.ru_utime + r.ru_stime)' "$@"
}

# Alternate the two so that a shared machine's load falls on both alike.
ours_wall=0 ours_cpu=0 gn_wall=0 gn_cpu=0
for ((k = 0; k < runs; ++k)); do
  read -r w c < <(time_command "${ours[@]}")
  ours_wall=$($python -c "print($ours_wall + $w)")
  ours_cpu=$($python -c "print($ours_cpu + $c)")
  read -r w c < <(time_command "${gnumeric[@]}")
  gn_wall=$($python -c "print($gn_wall + $w)")
  gn_cpu=$($python -c "print($gn_cpu + $c)")
done
$python -c 'import sys
ow, oc, gw, gc, n = map(float, sys.argv[1:])
print("%-10s %12s %12s" % ("", "wall", "cpu"))
print("%-10s %10.1fms %10.1fms" % ("ours", ow / n * 1e3, oc / n * 1e3))
print("%-10s %10.1fms %10.1fms" % ("gnumeric", gw / n * 1e3, gc / n * 1e3))
print("%-10s %11.3fx %11.3fx" % ("ours/gnm", ow / gw, oc / gc))' \
  "$ours_wall" "$ours_cpu" "$gn_wall" "$gn_cpu" "$runs"
echo "($runs runs of each, alternating; means)"
