#!/usr/bin/env bash
# Whole-process open of two large binary workbooks, ours against xlrd: a
# 65,536 x 10 sheet of numbers and a 65,536 x 5 sheet of distinct strings,
# both written by xlwt. Ours is `cellwick-cli open FILE` (the desktop open
# flow, then every cell read); xlrd's is a python3 process that opens the
# file with xlrd.open_workbook and counts the cells.
#
# With --csv it then times converting the numbers file to CSV
# (`cellwick-cli convert numbers.xls numbers.csv`, which opens the file and
# writes every cell's General text) in the same run as xlrd's read of the file
# and Gnumeric's `ssconvert numbers.xls numbers.csv`, and prints our time as a
# share of theirs.
#
# Usage: scripts/bench_open.sh [-n RUNS] [--csv] [DIR]
#   DIR           where the two files are made once (default build/openbench)
#   -n RUNS       runs of each command (default 10)
#   --csv         also time the CSV conversion against xlrd and ssconvert
#   CELLWICK_CLI  the program to time (default build/cli/cellwick-cli)
#
# Uses hyperfine when installed, else a python loop. Prints the wall time
# (median with hyperfine, which resists the outliers of a shared machine;
# mean otherwise) and the mean CPU time (user + system) of each, the ratios
# xlrd / ours, our MB/s of workbook stream (from the CPU time) and the peak
# resident set of one run.
set -euo pipefail
cd "$(dirname "$0")/.."

runs=10
csv=false
while [[ ${1:-} == -* ]]; do
  case $1 in
    -n) runs=$2; shift 2 ;;
    --csv) csv=true; shift ;;
    *) echo "bench_open.sh: unknown option $1" >&2; exit 2 ;;
  esac
done
dir=${1:-build/openbench}
cli=${CELLWICK_CLI:-build/cli/cellwick-cli}
python=/usr/bin/python3 # the system python carries python3-xlrd and python3-xlwt

if [[ ! -x $cli ]]; then
  echo "bench_open.sh: $cli not built (cmake --build ... --target cellwick-cli)" >&2
  exit 2
fi
if ! $python -c 'import xlrd, xlwt' 2>/dev/null; then
  echo "bench_open.sh: $python needs python3-xlrd and python3-xlwt" >&2
  exit 2
fi
mkdir -p "$dir"

# Numbers: whole, hundredths (both RK records) and sevenths (NUMBER records).
# Strings: every one distinct, so the shared string table holds them all.
make_file() {
  local kind=$1 path=$2
  [[ -s $path ]] && return 0
  echo "making $path ..." >&2
  $python - "$kind" "$path" <<'EOF'
import sys, xlwt
kind, path = sys.argv[1], sys.argv[2]
book = xlwt.Workbook()
sheet = book.add_sheet("Data")
for r in range(65536):
    row = sheet.row(r)
    if kind == "numbers":
        for c in range(10):
            m = c % 3
            row.set_cell_number(c, r if m == 0 else (r + 0.25 if m == 1 else r / 7.0))
    else:
        for c in range(5):
            row.set_cell_text(c, "item %d-%d" % (r, c))
book.save(path + ".tmp")
EOF
  mv "$path.tmp" "$path"
}

xlrd_script='import sys, xlrd
b = xlrd.open_workbook(sys.argv[1])
print(sum(s.nrows * s.ncols for s in b.sheets()))'

# Wall and CPU seconds of `runs` runs of a command: "wall cpu".
time_command() {
  if command -v hyperfine >/dev/null; then
    local json
    json=$(mktemp)
    # One command line, quoted for bash (the xlrd script spans lines); hyperfine
    # subtracts the shell's own start-up.
    hyperfine --style none --shell bash --warmup 1 --runs "$runs" --export-json "$json" \
      "$(printf '%q ' "$@")" >/dev/null 2>&1
    $python -c 'import json, sys
r = json.load(open(sys.argv[1]))["results"][0]
print(r["median"], r["user"] + r["system"])' "$json"
    rm -f "$json"
  else
    # CPU time of the runs from the kernel's account of finished children
    # (bash's `times` in a subshell would see none of them).
    $python - "$runs" "$@" <<'EOF'
import resource, subprocess, sys, time
runs, cmd = int(sys.argv[1]), sys.argv[2:]
subprocess.run(cmd, stdout=subprocess.DEVNULL)  # warm-up
before = resource.getrusage(resource.RUSAGE_CHILDREN)
t0 = time.perf_counter()
for _ in range(runs):
    subprocess.run(cmd, stdout=subprocess.DEVNULL)
wall = (time.perf_counter() - t0) / runs
after = resource.getrusage(resource.RUSAGE_CHILDREN)
cpu = (after.ru_utime + after.ru_stime - before.ru_utime - before.ru_stime) / runs
print(wall, cpu)
EOF
  fi
}

peak_kb() {
  if [[ -x /usr/bin/time ]]; then
    /usr/bin/time -f %M "$@" 2>&1 >/dev/null | tail -1
  else
    echo "?"
  fi
}

printf '%-8s %12s %12s %12s %12s %8s %8s %9s %10s %10s\n' file "ours wall" "xlrd wall" \
  "ours cpu" "xlrd cpu" "x wall" "x cpu" "MB/s cpu" "ours KB" "xlrd KB"
for kind in numbers strings; do
  file=$dir/$kind.xls
  make_file "$kind" "$file"
  ours_cells=$("$cli" open "$file" | awk -F'\t' '$1 == "total" { print $2 + 0 }')
  xlrd_cells=$($python -c "$xlrd_script" "$file")
  if [[ $ours_cells != "$xlrd_cells" ]]; then
    echo "bench_open.sh: $file: we read $ours_cells cells, xlrd $xlrd_cells" >&2
    exit 1
  fi
  stream=$($python -c 'import sys, xlrd
print(xlrd.open_workbook(sys.argv[1], on_demand=True).stream_len)' "$file")
  read -r ours_wall ours_cpu < <(time_command "$cli" open "$file")
  read -r xlrd_wall xlrd_cpu < <(time_command $python -c "$xlrd_script" "$file")
  ours_kb=$(peak_kb "$cli" open "$file")
  xlrd_kb=$(peak_kb $python -c "$xlrd_script" "$file")
  $python -c 'import sys
kind, ow, xw, oc, xc, stream, okb, xkb = sys.argv[1:]
ow, xw, oc, xc, stream = map(float, (ow, xw, oc, xc, stream))
print("%-8s %10.1fms %10.1fms %10.1fms %10.1fms %7.1fx %7.1fx %9.1f %10s %10s" % (
    kind, ow * 1e3, xw * 1e3, oc * 1e3, xc * 1e3, xw / ow, xc / oc, stream / 1e6 / oc, okb, xkb))' \
    "$kind" "$ours_wall" "$xlrd_wall" "$ours_cpu" "$xlrd_cpu" "$stream" "$ours_kb" "$xlrd_kb"
done
echo "($runs runs each; stream MB are 10^6 bytes of the workbook stream; KB = peak resident set)"

if $csv; then
  file=$dir/numbers.xls
  "$cli" convert "$file" "$dir/numbers.csv"
  lines=$(wc -l <"$dir/numbers.csv")
  if [[ $lines -ne 65536 ]]; then
    echo "bench_open.sh: the CSV has $lines lines, not 65536" >&2
    exit 1
  fi
  read -r ours_wall ours_cpu < <(time_command "$cli" convert "$file" "$dir/numbers.csv")
  read -r xlrd_wall xlrd_cpu < <(time_command $python -c "$xlrd_script" "$file")
  ss_wall=nan ss_cpu=nan
  if command -v ssconvert >/dev/null; then
    ssconvert "$file" "$dir/numbers-ssconvert.csv" >/dev/null 2>&1
    read -r ss_wall ss_cpu < <(time_command ssconvert "$file" "$dir/numbers-ssconvert.csv")
  else
    echo "(ssconvert not installed: apt-get install gnumeric to compare with it)"
  fi
  $python -c 'import sys
ow, oc, xw, xc, sw, sc = map(float, sys.argv[1:])
print("%-22s %10s %10s %12s %12s" % ("numbers.xls to CSV", "wall", "cpu", "ours/peer w", "ours/peer c"))
print("%-22s %8.1fms %8.1fms" % ("ours (convert)", ow * 1e3, oc * 1e3))
print("%-22s %8.1fms %8.1fms %11.3fx %11.3fx" % ("xlrd (read only)", xw * 1e3, xc * 1e3, ow / xw, oc / xc))
print("%-22s %8.1fms %8.1fms %11.3fx %11.3fx" % ("ssconvert (to CSV)", sw * 1e3, sc * 1e3, ow / sw, oc / sc))' \
    "$ours_wall" "$ours_cpu" "$xlrd_wall" "$xlrd_cpu" "$ss_wall" "$ss_cpu"
fi
