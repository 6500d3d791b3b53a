#!/usr/bin/env bash
# The metrics file as Prometheus itself reads it: promtool check metrics (the
# parser and the linter of the exposition format that node_exporter's textfile
# collector uses) on the file of each way a run ends: a posting, a run that
# found nothing to post, a dry run, a failed run that carries the earlier
# success over, and a run that the deadline ended while it waited for its
# password. Each file must parse with no problem reported, and its figures
# must say what happened.
#
# Usage: metrics_promtool.sh PROGRAM
# Needs the packages of contardc_metrics_packages (scripts/deps.sh), which
# ./test.sh installs; without one the test fails, saying which.
set -uo pipefail
program="$1"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
for tool in promtool:prometheus isql-fb:firebird3.0-utils; do
  command -v "${tool%%:*}" >/dev/null ||
    { echo "FAIL: ${tool%%:*} is not installed (Debian package ${tool#*:}; scripts/deps.sh installs it)"; exit 1; }
done
source "$here/tests/demo_company.sh"

work="$(mktemp -d)"
trap 'rm -rf "$work"' EXIT
fail() { echo "FAIL: $*"; exit 1; }

export FIREBIRD_LOCK="$work/lock"
mkdir -p "$FIREBIRD_LOCK"
demo_company "$work/demo" || fail "the demo company"
due="$(unposted)" || fail "the demo's receipts"
[ "$due" -gt 0 ] || fail "the demo has no receipts to post"
unset DISPLAY WAYLAND_DISPLAY
export QT_QPA_PLATFORM=offscreen

# run NAME EXPECTED_EXIT [ARGS...]: one run of the demo company's plain
# ledger writing its figures to $work/NAME.prom, then promtool on the file.
run() {
  local name="$1" expected="$2" status=0
  shift 2
  "$program" "$work/demo" SYSDBA "$demo_password" 01 N --metrics "$work/contardc.prom" "$@" \
    >"$work/$name.out" 2>"$work/$name.err" </dev/null || status=$?
  [ "$status" -eq "$expected" ] ||
    fail "$name: exit code $status, expected $expected; standard error: $(cat "$work/$name.err")"
  check "$name"
}

# check NAME: promtool on the current file, kept as $work/NAME.prom.
check() {
  local name="$1" report
  [ -f "$work/contardc.prom" ] || fail "$1: no metrics file was written"
  cp "$work/contardc.prom" "$work/$name.prom"
  if ! report="$(promtool check metrics <"$work/$name.prom" 2>&1)" || [ -n "$report" ]; then
    fail "$name: promtool check metrics says: $report
the file:
$(cat "$work/$name.prom")"
  fi
}

# value NAME SERIES: the value of the series (its name with labels, as
# written) in $work/NAME.prom.
value() {
  awk -v s="$2" '$1 == s { print $2; found = 1 } END { exit !found }' "$work/$1.prom" ||
    fail "$1: no series $2 in the file: $(cat "$work/$1.prom")"
}

labels='{company="01",ledger="plain"}'

run dry 0 --dry-run
[ "$(value dry "contardc_dry_run$labels")" = 1 ] || fail "dry run: contardc_dry_run is not 1"
[ "$(unposted)" = "$due" ] || fail "dry run: the receipts were posted"

run posting 0
[ "$(value posting "contardc_exit_code$labels")" = 0 ] || fail "posting: the exit code is not 0"
[ "$(value posting "contardc_dry_run$labels")" = 0 ] || fail "posting: contardc_dry_run is not 0"
success="$(value posting "contardc_last_success_timestamp_seconds$labels")"
[ "$success" = "$(value posting "contardc_last_run_timestamp_seconds$labels")" ] ||
  fail "posting: the last success is not this run's end"
[ "$(unposted)" = 0 ] || fail "posting: receipts are left to post"

run nothing 0
[ "$(value nothing "contardc_exit_code$labels")" = 0 ] || fail "nothing to post: the exit code is not 0"

# A company code with no database under datos: configuration, 78.
mv "$work/demo/datos/01" "$work/demo/datos/01.away"
run failed 78
mv "$work/demo/datos/01.away" "$work/demo/datos/01"
[ "$(value failed "contardc_exit_code$labels")" = 78 ] || fail "failed run: the exit code is not 78"
[ "$(value failed "contardc_last_success_timestamp_seconds$labels")" = "$(value nothing "contardc_last_success_timestamp_seconds$labels")" ] ||
  fail "failed run: the last success was not carried over"

# The deadline while the run waits for the password on a standard input that
# stays open and gives no line: the file is written by the deadline's end.
mkfifo "$work/stdin"
exec 3<>"$work/stdin"
status=0
"$program" "$work/demo" SYSDBA - 01 N --metrics "$work/contardc.prom" --timeout 1 \
  <&3 >"$work/deadline.out" 2>"$work/deadline.err" || status=$?
exec 3>&-
[ "$status" -eq 75 ] || fail "deadline: exit code $status, expected 75; standard error: $(cat "$work/deadline.err")"
check deadline
[ "$(value deadline "contardc_exit_code$labels")" = 75 ] || fail "deadline: the exit code is not 75"
[ "$(value deadline "contardc_last_success_timestamp_seconds$labels")" = "$(value nothing "contardc_last_success_timestamp_seconds$labels")" ] ||
  fail "deadline: the last success was not carried over"

echo "PASS: promtool reads every run's file (dry run, posting, nothing to post, failure, deadline)"
