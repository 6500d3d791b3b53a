#!/usr/bin/env bash
# Benchmark suite: the tool against the least that could do its work (the
# database's own client isql-fb, a bare loop over the client library's calls,
# a bare Qt window), in pairs of runs, A B A B, on freshly copied databases.
# Each figure is the median of the per-pair ratios A/B with their spread
# (min-max); absolute times on a shared machine are noise, a pair's two runs
# share most of it.
#
#   bench/run.sh                 the whole suite (about ten minutes)
#   BENCH_QUICK=1 bench/run.sh   a few pairs, for trying the script out
#   BENCH_ONLY="window" bench/run.sh   only the pairs named (blank-separated:
#                                posting, fail, fetch, window, grid); the
#                                table has only their rows
#
# Environment: BENCH_BUILD_DIR, the release build to use (default build-bench).
# Needs isql-fb and gfix (firebird3.0-utils), the embedded engine, and Xvfb
# with openbox and xprop for the window's start (installed through
# scripts/deps.sh).
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BENCH_BUILD_DIR:-$here/build-bench}"
password="benchpw"

source "$here/scripts/deps.sh"
# x11-utils: xprop, to see that the window manager is up.
contardc_install_deps x11-utils

if [ -n "${BENCH_QUICK:-}" ]; then
  pairs_big=1; pairs_small=3; pairs_fail=3; pairs_fetch=2; pairs_start=3; reps_grid=3
else
  pairs_big=11; pairs_small=41; pairs_fail=61; pairs_fetch=11; pairs_start=61; reps_grid=7
fi

log() { printf '%s\n' "$*" >&2; }
die() { log "bench: $*"; exit 1; }

only="${BENCH_ONLY:-}"
for name in $only; do
  case "$name" in posting | fail | fetch | window | grid) ;; *) die "BENCH_ONLY: no pair named $name" ;; esac
done
# wants NAME: whether the pairs of NAME are run (all of them unless BENCH_ONLY names some).
wants() { [ -z "$only" ] || [[ " $only " == *" $1 "* ]]; }

log "building (Release) in $build"
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --parallel 2 --target contardc contardc_window grid_bench bench_run fetch_bench fetch_bare \
  startup_probe startup_bare >/dev/null

tool="$build/contardc"
bench_run="$build/bench/tool/bench_run"
fetch_bench="$build/bench/tool/fetch_bench"
fetch_bare="$build/bench/tool/fetch_bare"
startup_probe="$build/bench/tool/libstartup_probe.so"
startup_bare="$build/bench/tool/startup_bare"
grid_bench="$build/bench/grid/grid_bench"

# The tool runs without a window unless a display is given to it on purpose
# (the start-up pair gives its own).
unset DISPLAY WAYLAND_DISPLAY QT_QPA_PLATFORM

# Databases in memory when the machine has a tmpfs at hand: a disk's whims
# would only add the same noise to both sides of every pair.
base="${TMPDIR:-/tmp}"
[ -d /dev/shm ] && [ -w /dev/shm ] && base=/dev/shm
work="$(mktemp -d "$base/contardc-bench.XXXXXX")"
pids=()
cleanup() {
  local p
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null || true; done
  wait 2>/dev/null || true
  rm -rf "$work"
}
trap cleanup EXIT

# The embedded engine's lock files in a folder of the run's own, whoever ran
# the engine first on this machine.
export FIREBIRD_LOCK="$work/lock"
mkdir -p -m 700 "$FIREBIRD_LOCK"

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
# A company whose database does not exist: the failed connection.
missing_db="$inst/datos/99/ledgara.fdb"

# The run's date, taken once: the databases' receipts carry it, isql-fb posts
# it as a literal, and the tool posts its "today", which must still be it.
today="$(date +%Y/%m/%d)"
started="$(date '+%Y-%m-%d %H:%M')"
load_before="$(cut -d' ' -f1-3 /proc/loadavg)"
same_day() {
  [ "$(date +%Y/%m/%d)" = "$today" ] || die "the date changed during the run (it began on $today): run it again"
}

# make_db FILE RECEIPTS: the demo schema with RECEIPTS receipts of the run's
# date. Writes are left to the operating system (gfix -write async) on both
# sides alike, so the pairs compare the work done, not the disk's flushes.
make_db() {
  local file="$1" receipts="$2"
  printf "create database '%s' user 'SYSDBA' password '%s' page_size 8192 default character set NONE;\n" \
    "$file" "$password" | isql-fb -q -b >/dev/null
  isql-fb -q -b -user SYSDBA -password "$password" -i "$here/db/schema.sql" "$file" >/dev/null
  sed -e "s/@RECIBOS@/$receipts/" -e "s|@FECHA@|${today//\//-}|" "$here/bench/tool/bench_db.sql" > "$work/seed.sql"
  isql-fb -q -b -user SYSDBA -password "$password" -i "$work/seed.sql" "$file" >/dev/null
  gfix -write async -user SYSDBA -password "$password" "$file"
}

if wants posting || wants fail || wants fetch; then
  log "preparing databases in $work"
  ! wants posting || make_db "$work/pristine/big.fdb" 100000
  make_db "$work/pristine/small.fdb" 1000
fi

printf "select * from recibos_sin_contabilidad('%s','%s','');\ncommit;\n" "$today" "$today" > "$work/post.sql"
fetch_rows=1000000
fetch_sql="select * from bench_filas($fetch_rows)"

# timed NAME [bench_run options] -- COMMAND...: runs the command under
# bench_run and appends "seconds maxrss_kib cpu_seconds" to $work/NAME.
timed() {
  local name="$1"
  shift
  if ! "$bench_run" --limit 300 "$@" >> "$work/$name" 2>> "$work/$name.err"; then
    tail -n 20 "$work/$name.err" >&2
    die "a timed run of $name failed"
  fi
}

query() {
  printf 'set heading off;\n%s;\n' "$2" | isql-fb -q -b -user SYSDBA -password "$password" "$1" | tr -d ' \n'
}

# Every timed posting must really post: afterwards the copy holds a voucher
# for each receipt and no receipt of the day is left unposted.
check_posted() {
  local file="$1" receipts="$2" side="$3" vouchers
  vouchers="$(query "$file" "select count(*) from comprobante")"
  [ "$vouchers" = "$receipts" ] || die "$side left $vouchers vouchers, expected $receipts"
}

run_tool_post() {
  cp "$1" "$tool_db"
  timed "$2" -- "$tool" "$inst" SYSDBA "$password" 01 N
  check_posted "$tool_db" "$3" "the tool"
}
run_isql_post() {
  cp "$1" "$isql_db"
  timed "$2" -- isql-fb -q -b -user SYSDBA -password "$password" -i "$work/post.sql" "$isql_db"
  check_posted "$isql_db" "$3" "isql-fb"
}

# posting_pairs PRISTINE RECEIPTS PAIRS PREFIX: tool then isql-fb, each on its
# own fresh copy, after one run of each that is not kept.
posting_pairs() {
  local pristine="$1" receipts="$2" pairs="$3" prefix="$4" i
  same_day
  run_tool_post "$pristine" warmup "$receipts"
  run_isql_post "$pristine" warmup "$receipts"
  for ((i = 0; i < pairs; i++)); do
    same_day
    run_tool_post "$pristine" "$prefix.tool" "$receipts"
    run_isql_post "$pristine" "$prefix.isql" "$receipts"
  done
}

if wants posting; then
  # The tool's rows, as it prints them, are every receipt posted.
  log "checking that the tool posts"
  cp "$work/pristine/small.fdb" "$tool_db"
  "$tool" "$inst" SYSDBA "$password" 01 N > "$work/check.out"
  [ "$(grep -c CONTABILIZADO "$work/check.out" || true)" = 1000 ] || die "the tool did not list 1000 posted receipts"

  log "posting 100,000 receipts: $pairs_big pairs"
  posting_pairs "$work/pristine/big.fdb" 100000 "$pairs_big" big
  log "posting 1,000 receipts: $pairs_small pairs"
  posting_pairs "$work/pristine/small.fdb" 1000 "$pairs_small" small
fi

if wants fail; then
  # The same statement against a database that is not there: both must fail on
  # the missing file (exit code 1), the tool after reading its settings.
  log "failed connection: $pairs_fail pairs"
  "$tool" "$inst" SYSDBA "$password" 99 N > /dev/null 2> "$work/fail.tool.check" && die "the tool connected to $missing_db"
  isql-fb -q -b -user SYSDBA -password "$password" -i "$work/post.sql" "$missing_db" > /dev/null 2> "$work/fail.isql.check" \
    && die "isql-fb connected to $missing_db"
  grep -q "No such file or directory" "$work/fail.tool.check" || die "the tool failed otherwise: $(cat "$work/fail.tool.check")"
  grep -q "No such file or directory" "$work/fail.isql.check" || die "isql-fb failed otherwise: $(cat "$work/fail.isql.check")"
  for ((i = 0; i < pairs_fail; i++)); do
    timed fail.tool --status 1 -- "$tool" "$inst" SYSDBA "$password" 99 N
    timed fail.isql --status 1 -- isql-fb -q -b -user SYSDBA -password "$password" -i "$work/post.sql" "$missing_db"
  done
fi

if wants fetch; then
  # Fetching only: nothing is posted, so one copy serves every run. Both sides
  # must hold every row; a run holding none gives the memory baseline.
  cp "$work/pristine/small.fdb" "$tool_db"
  log "fetching $fetch_rows rows: $pairs_fetch pairs, and as many runs holding none"
  "$fetch_bench" "$tool_db" SYSDBA "$password" "$fetch_sql" 2> "$work/fetch.report"
  "$fetch_bare" "$tool_db" SYSDBA "$password" "$fetch_sql" 2> "$work/fetch.bare.report"
  grep -q "^rows $fetch_rows " "$work/fetch.report" || die "fetch_bench: $(cat "$work/fetch.report")"
  grep -q "^rows $fetch_rows " "$work/fetch.bare.report" || die "fetch_bare: $(cat "$work/fetch.bare.report")"
  for ((i = 0; i < pairs_fetch; i++)); do
    timed fetch.tool -- "$fetch_bench" "$tool_db" SYSDBA "$password" "$fetch_sql"
    timed fetch.bare -- "$fetch_bare" "$tool_db" SYSDBA "$password" "$fetch_sql"
    timed fetch.none -- "$fetch_bench" "$tool_db" SYSDBA "$password" "select * from bench_filas(0)"
  done
fi

if wants posting || wants fail; then
  # What the fixed costs are made of: an embedded attach with nothing else to do.
  cp "$work/pristine/small.fdb" "$isql_db"
  printf 'select 1 from rdb$database;\ncommit;\n' > "$work/attach.sql"
  log "fixed costs: $pairs_small runs"
  for ((i = 0; i < pairs_small; i++)); do
    timed attach.isql -- isql-fb -q -b -user SYSDBA -password "$password" -i "$work/attach.sql" "$isql_db"
  done
fi

# The window's start on a real X display with a window manager (activation
# is the desktop's), the real program against one empty Qt window, both ended
# by the same probe once the first activation has been handled.
start_display() {
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3> "$work/display" 2> "$work/xvfb.log" &
  pids+=($!)
  for _ in $(seq 1 100); do [ -s "$work/display" ] && break; sleep 0.1; done
  [ -s "$work/display" ] || die "Xvfb did not start: $(cat "$work/xvfb.log")"
  display=":$(head -n1 "$work/display")"
  DISPLAY="$display" openbox --sm-disable > "$work/openbox.log" 2>&1 &
  pids+=($!)
  for _ in $(seq 1 100); do
    DISPLAY="$display" xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && return 0
    sleep 0.1
  done
  die "openbox did not start: $(cat "$work/openbox.log")"
}
if wants window; then
  log "window start: $pairs_start pairs"
  start_display
  probe=(--env "DISPLAY=$display" --env "LD_PRELOAD=$startup_probe" --)
  timed warmup "${probe[@]}" "$tool"
  timed warmup "${probe[@]}" "$startup_bare"
  for ((i = 0; i < pairs_start; i++)); do
    timed start.tool "${probe[@]}" "$tool"
    timed start.bare "${probe[@]}" "$startup_bare"
  done
fi

if wants grid; then
  log "grid: grid_bench --reps $reps_grid"
  QT_QPA_PLATFORM=offscreen "$grid_bench" --reps "$reps_grid" > "$work/grid.out" 2>/dev/null
  # The grid's work itself, apart from the state a big fetch leaves the
  # machine in: instructions of its reaction to the opening and of its first
  # repaint, which do not depend on caches or on the machine's load.
  if command -v valgrind >/dev/null; then
    for n in 10 1000000; do
      log "grid: instructions with $n rows (callgrind)"
      QT_QPA_PLATFORM=offscreen valgrind --tool=callgrind --callgrind-out-file="$work/grid.$n.cg" \
        --collect-atstart=no --toggle-collect='TGridDataLink::activeChanged()' --toggle-collect='QWidget::grab*' \
        "$grid_bench" --png "$work/grid.$n.png" --rows "$n" >/dev/null 2>"$work/grid.$n.log" || true
      sed -n 's/^summary: *\([0-9]*\).*/\1/p' "$work/grid.$n.cg" > "$work/grid.$n.ir" 2>/dev/null || true
    done
  fi
fi

# ---- the table ----------------------------------------------------------
# A figure that is missing or not a positive number makes its row "missed".

# stats: "median min max" of the numbers on standard input, "nan nan nan"
# when there are none or any is not a number.
stats() {
  sort -g | awk '
    $1 !~ /^[0-9]+([.][0-9]+)?([eE][-+]?[0-9]+)?$/ { bad = 1 }
    { v[NR] = $1 }
    END {
      if (NR == 0 || bad) { print "nan nan nan"; exit }
      m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
      print m, v[1], v[NR] }'
}
# column FILE COL: column COL of a results file, one a line.
column() { [ -f "$work/$1" ] && awk -v c="$2" '{ print $c }' "$work/$1" || true; }
# pair_ratios A B [COL]: A's figure over B's, run by run, column COL (1:
# wall seconds, the default; 3: processor seconds); a missing run on either
# side is a missing ratio.
pair_ratios() {
  [ -f "$work/$1" ] && [ -f "$work/$2" ] || { echo nan; return; }
  paste -d' ' "$work/$1" "$work/$2" | awk -v c="${3:-1}" '{
    if (NF == 6 && $(c + 3) > 0) print $c / $(c + 3); else print "nan" }'
}
# row LABEL A_MEDIAN B_MEDIAN UNIT "MEDIAN MIN MAX" TARGET
row() {
  awk -v l="$1" -v a="$2" -v b="$3" -v u="$4" -v s="$5" -v t="$6" 'BEGIN {
    split(s, r, " ")
    num = "^[0-9]+([.][0-9]+)?([eE][-+]?[0-9]+)?$"
    ok = (r[1] ~ num && r[1] > 0)
    spread = (ok && r[2] ~ num && r[3] ~ num) ? sprintf("%.3f-%.3f", r[2], r[3]) : "-"
    f = (u == "KiB") ? "%d %s" : "%.4g %s"
    printf "%-44s %11s %11s %7s %15s %7s  %s\n", l, (a ~ num) ? sprintf(f, a, u) : "-",
      (b ~ num) ? sprintf(f, b, u) : "-", ok ? sprintf("%.3f", r[1]) : "-",
      spread, "<= " t, (ok && r[1] <= t) ? "met" : "missed" }'
}
pair_row() {
  row "$1" "$(column "$2" 1 | stats | cut -d' ' -f1)" "$(column "$3" 1 | stats | cut -d' ' -f1)" s \
    "$(pair_ratios "$2" "$3" | stats)" "$4"
}

echo
echo "contardc benchmarks, $started, $(nproc) cores, load average $load_before at the start," \
  "$(cut -d' ' -f1-3 /proc/loadavg) at the end"
printf '%-44s %11s %11s %7s %15s %7s  %s\n' "pair A / B" "A median" "B median" "ratio" "min-max" "target" "result"
if wants posting; then
  pair_row "post 100,000 receipts: headless / isql-fb" big.tool big.isql 1.02
  pair_row "post 1,000 receipts: headless / isql-fb" small.tool small.isql 1.1
fi
! wants fail || pair_row "failed connect: headless / isql-fb" fail.tool fail.isql 1.2
! wants fetch || pair_row "fetch 1,000,000 rows: ClientDataSet / bare" fetch.tool fetch.bare 1.1
! wants window || pair_row "window start to activation / bare Qt window" start.tool start.bare 1.3
# Memory: the peak of a run holding the rows less the peak of the run holding
# none next to it, over 42 bytes a row.
memory_ratios() {
  [ -f "$work/fetch.tool" ] && [ -f "$work/fetch.none" ] || { echo nan; return; }
  paste -d' ' "$work/fetch.tool" "$work/fetch.none" | awk -v rows="$fetch_rows" '{
    if (NF == 6) print ($2 - $5) * 1024 / (rows * 42); else print "nan" }'
}
! wants fetch || row "peak memory per held row / 42 raw bytes" "$(column fetch.tool 2 | stats | cut -d' ' -f1)" \
  "$(column fetch.none 2 | stats | cut -d' ' -f1)" KiB "$(memory_ratios | stats)" 2.0

# grid_bench prints milliseconds for 10 rows and for 1,000,000 rows a line,
# each a median of its repetitions: no pairs, so no spread.
grid_line() {
  grep -F "$1" "$work/grid.out" | head -1 | awk '{ print $(NF-2), $(NF-1) }'
}
grid_row() {
  local g10 gbig
  read -r g10 gbig < <(grid_line "$2") || true
  row "$1" "${gbig:-}" "${g10:-}" ms "$(awk -v a="${gbig:-}" -v b="${g10:-}" 'BEGIN {
    if (a > 0 && b > 0) print a / b; else print "nan" }')" "$3"
}
if wants grid; then
  grid_row "grid: take up open set + repaint, 1M / 10" "grid taking up an open set + repaint" 1.1
  grid_row "grid: reaction + first repaint, 1M / 10" "grid's part: reaction + repaint" 1.1
  ir10="$(cat "$work/grid.10.ir" 2>/dev/null || true)"
  irbig="$(cat "$work/grid.1000000.ir" 2>/dev/null || true)"
  row "grid: the same, instructions, 1M / 10" "${irbig:-}" "${ir10:-}" Ir \
    "$(awk -v a="${irbig:-}" -v b="${ir10:-}" 'BEGIN { if (a > 0 && b > 0) print a / b; else print "nan" }')" 1.1
  read -r g10 gbig < <(grid_line "open + repaint") || true
  awk -v a="${gbig:-}" -v b="${g10:-}" 'BEGIN {
    printf "%-44s %11s %11s %7.1f %15s %7s  %s\n", "grid: set fetch + open + repaint, 1M / 10", sprintf("%.4g ms", a),
      sprintf("%.4g ms", b), (b > 0 ? a / b : 0), "", "-", "(the set reads every row; see docs)" }'
fi
echo
# The same pairs by processor time (user + system, every thread): what each
# side computed, without the waits a busy machine adds to either.
echo "processor time, A / B: median of per-pair ratios (min-max), medians A and B"
cpu_row() {
  local a b
  a="$(column "$2" 3 | stats | cut -d' ' -f1)"
  b="$(column "$3" 3 | stats | cut -d' ' -f1)"
  awk -v l="$1" -v s="$(pair_ratios "$2" "$3" 3 | stats)" -v a="$a" -v b="$b" 'BEGIN {
    split(s, r, " ")
    if (r[1] + 0 > 0) printf "  %-44s %7.3f %15s %11s %11s\n", l, r[1], sprintf("%.3f-%.3f", r[2], r[3]),
      sprintf("%.4g s", a), sprintf("%.4g s", b)
    else printf "  %-44s %7s\n", l, "-" }'
}
if wants posting; then
  cpu_row "post 100,000 receipts" big.tool big.isql
  cpu_row "post 1,000 receipts" small.tool small.isql
fi
! wants fail || cpu_row "failed connect" fail.tool fail.isql
! wants fetch || cpu_row "fetch 1,000,000 rows" fetch.tool fetch.bare
! wants window || cpu_row "window start to activation" start.tool start.bare
echo
! wants posting && ! wants fail ||
  echo "context: isql-fb attach + select 1 + commit: $(column attach.isql 1 | stats | cut -d' ' -f1) s (median)"
! wants fetch || echo "held rows: ClientDataSet $(cat "$work/fetch.report"); bare vector $(cat "$work/fetch.bare.report")"
echo "pairs: posting 100k x$pairs_big, 1k x$pairs_small, failed connect x$pairs_fail, fetch x$pairs_fetch," \
  "window start x$pairs_start (A B A B, one unkept run of each first); grid medians of $reps_grid"
