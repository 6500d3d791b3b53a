#!/usr/bin/env bash
# The server list reader on files far beyond any installation's: 100 MB of
# short lines, 100 MB of lines of the longest length allowed (the most memory
# the kept entries can take) and a single line of 300 MB. Each file is read REPS times by
# bench/server_list/server_list_bench, the tool's own reader, under
# /usr/bin/time -v; prints the wall time and peak resident memory of each run
# and their medians. Targets: under 1 s and under 50 MB for either file.
#
#   bench/server_list_bench.sh [REPS]      (default 5)
#
# Environment: BENCH_BUILD_DIR, the release build to use (default build-bench).
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
build="${BENCH_BUILD_DIR:-$here/build-bench}"
reps="${1:-5}"
case "$reps" in
  ''|*[!0-9]*|0) echo "usage: $0 [REPS]" >&2; exit 2 ;;
esac

source "$here/scripts/deps.sh"
contardc_install_packages time

echo "building server_list_bench (Release) in $build" >&2
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --parallel 2 --target server_list_bench >/dev/null
bench="$build/bench/server_list/server_list_bench"

# Files in memory when there is a tmpfs: the disk is not what is measured.
base="${TMPDIR:-/tmp}"
[ -d /dev/shm ] && [ -w /dev/shm ] && base=/dev/shm
work="$(mktemp -d "$base/contardc-servers.XXXXXX")"
trap 'rm -rf "$work"' EXIT

# 100 MiB of 5-byte lines ("srv1" LF), about 21 million of them.
# (yes ends on the broken pipe when head has enough.)
{ yes srv1 || true; } | head -c $((100 * 1024 * 1024)) > "$work/short_lines.cfg"
# 100 MiB of 255-byte lines ended by CR LF.
line=$(head -c 255 /dev/zero | tr '\0' 's')
{ yes "$line"$'\r' || true; } | head -c $((100 * 1024 * 1024)) > "$work/long_lines.cfg"
# 300 MiB without a line end.
head -c $((300 * 1024 * 1024)) /dev/zero | tr '\0' 'x' > "$work/one_line.cfg"

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

printf '%-34s %8s %10s  %s\n' "file" "wall s" "peak KiB" "result"
for name in short_lines long_lines one_line; do
  file="$work/$name.cfg"
  size_mib=$(( $(stat -c %s "$file") / 1024 / 1024 ))
  : > "$work/times"
  : > "$work/rss"
  for _ in $(seq "$reps"); do
    result=$(/usr/bin/time -v -o "$work/time.txt" "$bench" "$file")
    wall=$(sed -n 's/^\s*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$work/time.txt" |
           awk -F: '{ s = 0; for (i = 1; i <= NF; i++) s = s * 60 + $i; printf "%.2f\n", s }')
    rss=$(sed -n 's/^\s*Maximum resident set size (kbytes): //p' "$work/time.txt")
    echo "$wall" >> "$work/times"
    echo "$rss" >> "$work/rss"
    printf '%-34s %8s %10s  %s\n' "$name ($size_mib MiB)" "$wall" "$rss" "$result"
  done
  printf '%-34s %8s %10s\n' "$name median of $reps" "$(median < "$work/times")" "$(median < "$work/rss")"
done
