#!/usr/bin/env bash
# Builds the parsers' fuzz targets with clang (libFuzzer under AddressSanitizer
# and UndefinedBehaviorSanitizer). For each target it first replays every
# input of the repository's corpus once, then fuzzes for SECONDS on a scratch
# copy of that corpus; the repository's corpus is never written to.
#
#   tests/fuzz/run_fuzzers.sh [SECONDS] [TARGET...]      (default 2 s)
#
# The test command fuzzes 2 s a target: with the corpus as it is, the edge
# coverage of every target after 2 s equals that after 20 s, so longer runs
# belong in bench/fuzz_long.sh. A corpus holds hand-written seeds and, under
# grown/, inputs that longer runs found to reach further edges, picked with
#   fuzz_TARGET -merge=1 -use_counters=0 NEW_FOLDER corpus/TARGET GROWN_CORPUS
# (NEW_FOLDER empty: the files it receives go to grown/).
#
# Targets: command_line server_list reg_file reg_file_values error_text (default: all).
# Environment:
#   CONTARDC_FUZZ_BUILD  build directory of the targets (default: build-fuzz in the repository)
#   CONTARDC_FUZZ_WORK   directory that keeps the grown corpora and the findings
#                        between runs (default: a temporary one, removed at the end)
# Exit status: 0 all ran clean, 1 a crash, a hang or a broken property
# (the input is kept under the work directory's findings/), 77 no clang.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
seconds="${1:-2}"
shift || true
targets=("$@")
[ ${#targets[@]} -gt 0 ] || targets=(command_line server_list reg_file reg_file_values error_text)
case "$seconds" in
  ''|*[!0-9]*) echo "usage: $0 SECONDS [TARGET...]" >&2; exit 2 ;;
esac

source "$root/scripts/deps.sh"
if ! contardc_install_fuzz_deps || ! command -v clang++ >/dev/null 2>&1; then
  echo "clang with libFuzzer is not available: fuzzing skipped" >&2
  exit 77
fi

build="${CONTARDC_FUZZ_BUILD:-$root/build-fuzz}"
CC=clang CXX=clang++ cmake -S "$here/targets" -B "$build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$build" --parallel 2 >/dev/null

if [ -n "${CONTARDC_FUZZ_WORK:-}" ]; then
  work="$CONTARDC_FUZZ_WORK"
  mkdir -p "$work"
else
  work="$(mktemp -d "${TMPDIR:-/tmp}/contardc-fuzz.XXXXXX")"
  trap 'rm -rf "$work"' EXIT
fi

# Leaks are errors too; a property that breaks aborts with its own message.
export ASAN_OPTIONS="${ASAN_OPTIONS:+$ASAN_OPTIONS:}abort_on_error=0:detect_leaks=1"
export UBSAN_OPTIONS="${UBSAN_OPTIONS:+$UBSAN_OPTIONS:}print_stacktrace=1"

status=0
for target in "${targets[@]}"; do
  binary="$build/fuzz_$target"
  if [ ! -x "$binary" ]; then
    echo "unknown fuzz target: $target" >&2
    status=1
    continue
  fi
  corpus="$work/corpus/$target"
  findings="$work/findings/$target"
  mkdir -p "$corpus" "$findings"
  cp -R "$here/corpus/$target/." "$corpus/"
  log="$work/$target.log"

  # Every input of the corpus once, whatever time the fuzzing gets after.
  mapfile -t seeds < <(find "$here/corpus/$target" -type f | sort)
  # (Without a file argument the binary would fuzz on, with no time limit.)
  if [ ${#seeds[@]} -gt 0 ] && ! "$binary" -timeout=10 -rss_limit_mb=2048 "${seeds[@]}" >"$log.replay" 2>&1; then
    status=1
    echo "fuzz_$target: FAILED replaying its corpus (${#seeds[@]} inputs)" >&2
    grep -E 'Running:|property broken|ERROR: |SUMMARY|runtime error' "$log.replay" | tail -n 20 >&2 || true
    continue
  fi

  options=(-max_total_time="$seconds" -timeout=10 -rss_limit_mb=2048 -print_final_stats=1
           -artifact_prefix="$findings/")
  [ -f "$here/dict/$target.dict" ] && options+=(-dict="$here/dict/$target.dict")
  started=$(date +%s)
  if "$binary" "${options[@]}" "$corpus" >"$log" 2>&1; then
    runs=$(sed -n 's/^stat::number_of_executed_units: *//p' "$log" | tail -n 1)
    cov=$(grep -o 'cov: [0-9]*' "$log" | tail -n 1)
    echo "fuzz_$target: clean, ${#seeds[@]} corpus inputs replayed, ${runs:-?} inputs in $(( $(date +%s) - started )) s, $cov"
  else
    status=1
    echo "fuzz_$target: FAILED after $(( $(date +%s) - started )) s; inputs kept in $findings" >&2
    grep -E 'property broken|ERROR: |SUMMARY|runtime error' "$log" | head -n 20 >&2 || true
    tail -n 40 "$log" >&2
    # A temporary work directory goes at exit: keep what broke next to the build.
    if [ -z "${CONTARDC_FUZZ_WORK:-}" ]; then
      mkdir -p "$build/findings/$target"
      cp -R "$findings/." "$build/findings/$target/"
      echo "copied to $build/findings/$target" >&2
    fi
  fi
done
exit $status
