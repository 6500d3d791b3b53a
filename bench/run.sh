#!/usr/bin/env bash
# Benchmark suite: the tool against the database's own client (isql-fb) and
# a bare Qt program, pair by pair, alternating within each pair, on freshly
# copied databases. Prints one table of medians and ratios; only the ratios
# mean anything, absolute times on a shared machine are noise.
#
#   bench/run.sh                 the whole suite (about ten minutes at most)
#   BENCH_QUICK=1 bench/run.sh   fewer repetitions, for trying the script out
#
# Needs isql-fb and gfix (firebird3.0-utils) and the embedded engine.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BENCH_BUILD_DIR:-$here/build-bench}"
password="benchpw"

if [ -n "${BENCH_QUICK:-}" ]; then
  reps_big=1; reps_small=3; reps_fetch=2; reps_start=5; reps_grid=3
else
  reps_big=5; reps_small=11; reps_fetch=5; reps_start=21; reps_grid=7
fi

log() { printf '%s\n' "$*" >&2; }

log "building (Release) in $build"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --parallel 2 \
  --target contardc grid_bench bench_run fetch_bench startup_probe startup_bare >/dev/null

tool="$build/contardc"
bench_run="$build/bench/tool/bench_run"
fetch_bench="$build/bench/tool/fetch_bench"
grid_bench="$build/bench/grid/grid_bench"

# Databases in memory when the machine has a tmpfs at hand: a disk's whims
# would only add the same noise to both sides of every pair.
base="${TMPDIR:-/tmp}"
[ -d /dev/shm ] && [ -w /dev/shm ] && base=/dev/shm
work="$(mktemp -d "$base/contardc-bench.XXXXXX")"
trap 'rm -rf "$work"' EXIT

if [ "$(id -u)" -ne 0 ] && ! { [ -d /tmp/firebird ] && [ -w /tmp/firebird ]; }; then
  export FIREBIRD_LOCK="$work/lock"
  mkdir -p "$FIREBIRD_LOCK"
fi

# The tool's installation: registry export, server list, company 01.
inst="$work/inst"
mkdir -p "$inst/erp" "$inst/datos/01" "$work/isql" "$work/pristine"
printf '%s\r\n' "$inst" > "$inst/erp/SERVIDORES.cfg"
printf 'Windows Registry Editor Version 5.00\r\n\r\n[HKEY_LOCAL_MACHINE\\Software\\Vantel\\LedgaraERP2026]\r\n"Directorio"="%s"\r\n\r\n' \
  "$inst/erp" > "$inst/hklm.reg"
export LEDGARA_HKLM="$inst/hklm.reg"
export XDG_RUNTIME_DIR="$work"
chmod 700 "$work"
tool_db="$inst/datos/01/ledgara.fdb"
isql_db="$work/isql/ledgara.fdb"

# make_db FILE RECEIPTS: the demo schema with RECEIPTS receipts dated today.
# Writes are left to the operating system (gfix -write async) on both sides
# alike, so the pairs compare the work done, not the disk's flushes.
make_db() {
  local file="$1" receipts="$2"
  printf "create database '%s' user 'SYSDBA' password '%s' page_size 8192 default character set NONE;\n" \
    "$file" "$password" | isql-fb -q -b >/dev/null
  isql-fb -q -b -user SYSDBA -password "$password" -i "$here/db/schema.sql" "$file" >/dev/null
  sed "s/@RECIBOS@/$receipts/" "$here/bench/tool/bench_db.sql" > "$work/seed.sql"
  isql-fb -q -b -user SYSDBA -password "$password" -i "$work/seed.sql" "$file" >/dev/null
  gfix -write async -user SYSDBA -password "$password" "$file"
}

log "preparing databases in $work"
make_db "$work/pristine/big.fdb" 100000
make_db "$work/pristine/small.fdb" 1000

today="$(date +%Y/%m/%d)"
printf "select * from recibos_sin_contabilidad('%s','%s','');\ncommit;\n" "$today" "$today" > "$work/post.sql"
fetch_rows=1000000
fetch_sql="select * from bench_filas($fetch_rows)"
printf '%s;\ncommit;\n' "$fetch_sql" > "$work/fetch.sql"

# timed NAME COMMAND...: runs the command under bench_run and appends
# "seconds maxrss_kib" to $work/NAME.
timed() {
  local name="$1"
  shift
  if ! "$bench_run" --limit 300 -- "$@" >> "$work/$name" 2>> "$work/$name.err"; then
    cat "$work/$name.err" >&2
    exit 1
  fi
}

# Medians of column COL (1: seconds, 2: KiB) of a results file.
median() {
  sort -g -k"$2,$2" "$work/$1" | awk -v c="$2" '{ v[NR] = $c } END {
    if (NR == 0) { print "nan"; exit }
    if (NR % 2) print v[(NR + 1) / 2]; else print (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

run_tool_post() {
  cp "$1" "$tool_db"
  timed "$2" "$tool" "$inst" SYSDBA "$password" 01 N
}
run_isql_post() {
  cp "$1" "$isql_db"
  timed "$2" isql-fb -q -b -user SYSDBA -password "$password" -i "$work/post.sql" "$isql_db"
}

# posting_pair PRISTINE REPS PREFIX: tool and isql-fb posting the same
# receipts, each on its own fresh copy, the order swapped every repetition.
posting_pair() {
  local pristine="$1" reps="$2" prefix="$3" i
  for ((i = 0; i < reps; i++)); do
    if ((i % 2 == 0)); then
      run_tool_post "$pristine" "$prefix.tool"; run_isql_post "$pristine" "$prefix.isql"
    else
      run_isql_post "$pristine" "$prefix.isql"; run_tool_post "$pristine" "$prefix.tool"
    fi
  done
}

# The posting must really happen: every receipt comes back posted, and the
# database afterwards holds a voucher for each.
check_posting() {
  local pristine="$1" receipts="$2" posted vouchers
  cp "$pristine" "$tool_db"
  "$tool" "$inst" SYSDBA "$password" 01 N > "$work/check.out"
  posted="$(grep -c CONTABILIZADO "$work/check.out" || true)"
  vouchers="$(printf 'set heading off;\nselect count(*) from comprobante;\n' |
    isql-fb -q -b -user SYSDBA -password "$password" "$tool_db" | tr -d ' \n')"
  if [ "$posted" != "$receipts" ] || [ "$vouchers" != "$receipts" ]; then
    log "the tool posted $posted rows / $vouchers vouchers, expected $receipts"
    exit 1
  fi
}

log "checking that the tool posts"
check_posting "$work/pristine/small.fdb" 1000

log "posting 100,000 receipts: $reps_big x 2 runs"
posting_pair "$work/pristine/big.fdb" "$reps_big" big
log "posting 1,000 receipts: $reps_small x 2 runs"
posting_pair "$work/pristine/small.fdb" "$reps_small" small

# Fetching only: nothing is posted, so one copy serves every run.
cp "$work/pristine/small.fdb" "$tool_db"
cp "$work/pristine/small.fdb" "$isql_db"
log "fetching $fetch_rows rows: $reps_fetch x 2 runs, and $reps_fetch runs holding none"
for ((i = 0; i < reps_fetch; i++)); do
  if ((i % 2 == 0)); then
    timed fetch.tool "$fetch_bench" "$tool_db" SYSDBA "$password" "$fetch_sql"
    timed fetch.isql isql-fb -q -b -user SYSDBA -password "$password" -i "$work/fetch.sql" "$isql_db"
  else
    timed fetch.isql isql-fb -q -b -user SYSDBA -password "$password" -i "$work/fetch.sql" "$isql_db"
    timed fetch.tool "$fetch_bench" "$tool_db" SYSDBA "$password" "$fetch_sql"
  fi
  timed fetch.none "$fetch_bench" "$tool_db" SYSDBA "$password" "select * from bench_filas(0)"
done
"$fetch_bench" "$tool_db" SYSDBA "$password" "$fetch_sql" 2> "$work/fetch.report"

# What the fixed costs are made of: an embedded attach with nothing else to
# do, and a headless run of the tool with no receipts to post.
printf 'select 1 from rdb$database;\ncommit;\n' > "$work/attach.sql"
log "fixed costs: $reps_small runs each"
for ((i = 0; i < reps_small; i++)); do
  timed attach.isql isql-fb -q -b -user SYSDBA -password "$password" -i "$work/attach.sql" "$isql_db"
done

log "start-up: $reps_start x 2 runs"
for ((i = 0; i < reps_start; i++)); do
  if ((i % 2 == 0)); then
    QT_QPA_PLATFORM=offscreen timed start.tool "$build/bench/tool/startup_probe"
    QT_QPA_PLATFORM=offscreen timed start.bare "$build/bench/tool/startup_bare"
  else
    QT_QPA_PLATFORM=offscreen timed start.bare "$build/bench/tool/startup_bare"
    QT_QPA_PLATFORM=offscreen timed start.tool "$build/bench/tool/startup_probe"
  fi
done

log "grid: grid_bench --reps $reps_grid"
QT_QPA_PLATFORM=offscreen "$grid_bench" --reps "$reps_grid" > "$work/grid.out" 2>/dev/null

# ---- the table ----------------------------------------------------------
# row LABEL A B UNIT TARGET: medians A (tool) and B (reference), their ratio
# against the target (ratio <= target).
row() {
  awk -v l="$1" -v a="$2" -v b="$3" -v u="$4" -v t="$5" 'BEGIN {
    r = (b > 0) ? a / b : 0
    printf "%-44s %12s %12s %7.3f %7s  %s\n", l, sprintf("%.4g %s", a, u), sprintf("%.4g %s", b, u),
      r, "<= " t, (r <= t ? "met" : "MISSED") }'
}

echo
echo "contardc benchmarks, $(date '+%Y-%m-%d %H:%M'), $(nproc) cores, medians"
printf '%-44s %12s %12s %7s %7s  %s\n' "pair (tool vs reference)" "tool" "reference" "ratio" "target" "result"
row "post 100,000 receipts vs isql-fb" "$(median big.tool 1)" "$(median big.isql 1)" s 1.05
row "post 1,000 receipts vs isql-fb" "$(median small.tool 1)" "$(median small.isql 1)" s 1.3
row "fetch 1,000,000 rows (no posting) vs isql-fb" "$(median fetch.tool 1)" "$(median fetch.isql 1)" s 0.8
row "start-up to FormActivate vs bare Qt window" "$(median start.tool 1)" "$(median start.bare 1)" s 1.3
held="$(median fetch.tool 2)"
none="$(median fetch.none 2)"
awk -v h="$held" -v n="$none" -v rows="$fetch_rows" 'BEGIN {
  r = (h - n) * 1024 / (rows * 42)
  printf "%-44s %12s %12s %7.3f %7s  %s\n", "peak RSS per row / 42 raw bytes", sprintf("%d KiB", h),
    sprintf("%d KiB", n), r, "<= 2.0", (r <= 2.0 ? "met" : "MISSED") }'
# grid_bench prints milliseconds for 10 rows and for 1,000,000 rows per line.
grid_line() {
  grep -F "$1" "$work/grid.out" | head -1 | awk '{ print $(NF-2), $(NF-1) }'
}
read -r g10 gbig < <(grid_line "grid taking up an open set + repaint")
row "grid: take up open set + repaint, 1M vs 10" "$gbig" "$g10" ms 1.1
read -r g10 gbig < <(grid_line "grid's part: reaction + repaint")
row "grid: reaction + first repaint, 1M vs 10" "$gbig" "$g10" ms 1.1
read -r g10 gbig < <(grid_line "open + repaint")
awk -v a="$gbig" -v b="$g10" 'BEGIN {
  printf "%-44s %12s %12s %7.1f %7s  %s\n", "grid: set fetch + open + repaint, 1M vs 10", sprintf("%.4g ms", a),
    sprintf("%.4g ms", b), (b > 0 ? a / b : 0), "-", "(the set reads every row; see docs)" }'
echo
echo "context: isql-fb attach + select 1 + commit: $(median attach.isql 1) s;" \
  "bare Qt window start-up (offscreen): $(median start.bare 1) s"
echo "held rows: $(cat "$work/fetch.report")"
echo "runs: posting 100k x$reps_big, 1k x$reps_small, fetch x$reps_fetch, start-up x$reps_start, grid x$reps_grid (alternating)"
