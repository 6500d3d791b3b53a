#!/usr/bin/env bash
# Runs every parser's fuzz target for a longer time than the test command
# does, keeping the grown corpora between runs (outside the repository's
# seed corpora), and prints what each run covered and found.
#
#   bench/fuzz_long.sh [SECONDS_PER_TARGET] [TARGET...]      (default 600 s)
#
# The corpora and any finding stay in $CONTARDC_FUZZ_WORK, by default
# build-fuzz-long/work; the targets are built in build-fuzz-long. When a long
# run reaches edges that the test command's 2 s do not, the inputs that reach
# them go into tests/fuzz/corpus/TARGET/grown/ (see tests/fuzz/run_fuzzers.sh),
# so that the test command replays them.
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
seconds="${1:-600}"
shift || true
export CONTARDC_FUZZ_BUILD="${CONTARDC_FUZZ_BUILD:-$root/build-fuzz-long}"
export CONTARDC_FUZZ_WORK="${CONTARDC_FUZZ_WORK:-$CONTARDC_FUZZ_BUILD/work}"
started=$(date +%s)
status=0
"$root/tests/fuzz/run_fuzzers.sh" "$seconds" "$@" || status=$?
echo "fuzz_long: ${seconds} s per target, $(( $(date +%s) - started )) s in all, exit $status;" \
     "corpora and findings in $CONTARDC_FUZZ_WORK"
exit $status
