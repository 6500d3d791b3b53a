#!/usr/bin/env bash
# The registry export reader on files far beyond any export of the ERP's key
# (a few hundred bytes), 300 MiB each:
#   tiny_lines    the header, then 3-byte comment lines (";x" LF), the ERP's key
#                 and its value at the very end: every line is read and parsed;
#   utf16_lines   the same text as UTF-16LE with its byte-order mark;
#   one_line      a single line without a line end;
#   giant_string  the ERP's key, its "Directorio" a string of 300 MiB;
#   giant_hex     the ERP's key with one hex value carried over 80-column
#                 continuation lines, as the registry editor writes binary data;
#   largest_kept  the ERP's key, its "Directorio" as long as the key's bound
#                 allows, then comment lines: the most an accepted file holds.
# Each file is read REPS times by bench/reg_file/reg_file_bench, which looks
# the installation directory up with the tool's own reader, under
# /usr/bin/time -v; prints the wall time and peak resident memory of each run
# and their medians. Targets: under 2 s and under 50 MB for any of them.
#
#   bench/reg_file_bench.sh [REPS]      (default 5)
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

echo "building reg_file_bench (Release) in $build" >&2
cmake -S "$here" -B "$build" -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" --parallel 2 --target reg_file_bench >/dev/null
bench="$build/bench/reg_file/reg_file_bench"

# Files in memory when there is a tmpfs: the disk is not what is measured.
# One file at a time, so that no more than 300 MiB of it is held.
base="${TMPDIR:-/tmp}"
[ -d /dev/shm ] && [ -w /dev/shm ] && base=/dev/shm
work="$(mktemp -d "$base/contardc-regfile.XXXXXX")"
trap 'rm -rf "$work"' EXIT

size=$((300 * 1024 * 1024))
# Whole 3-byte lines, so that the key after them starts a line of its own.
lines_bytes=$(( (size - 150) / 3 * 3 ))
header=$'Windows Registry Editor Version 5.00\r\n\r\n'
key=$'[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantel\\LedgaraERP2026]\r\n'
value=$'"Directorio"="C:\\\\LedgaraERP"\r\n'

# Writes the file NAME into $work (yes ends on the broken pipe when head has enough).
make_file() {
  local file="$work/$1.reg"
  case "$1" in
    tiny_lines)
      { printf '%s' "$header"; { yes ';x' || true; } | head -c "$lines_bytes"; printf '%s%s' "$key" "$value"; } > "$file" ;;
    utf16_lines)
      { printf '\xff\xfe'
        { printf '%s' "$header"; { yes ';x' || true; } | head -c $((lines_bytes / 6 * 3)); printf '%s%s' "$key" "$value"; } |
          iconv -f latin1 -t utf-16le; } > "$file" ;;
    one_line)
      head -c "$size" /dev/zero | tr '\0' 'x' > "$file" ;;
    giant_string)
      { printf '%s%s"Directorio"="' "$header" "$key"; head -c "$size" /dev/zero | tr '\0' 'd'; printf '"\r\n'; } > "$file" ;;
    giant_hex)
      local row="  01,02,03,04,05,06,07,08,09,0a,0b,0c,0d,0e,0f,10,11,12,13,14,15,16,17,18,19,\\"
      { printf '%s%s"Blob"=hex:00,\\\r\n' "$header" "$key"
        { yes "$row"$'\r' || true; } | head -n $((size / (${#row} + 2)))
        printf '  00\r\n%s' "$value"; } > "$file" ;;
    largest_kept)
      # The bound counts 128 bytes for the value, the 10 of its name and its
      # data with the NUL after it: 12 MiB in all.
      local text=$((12 * 1024 * 1024 - 128 - 10 - 1))
      { printf '%s%s"Directorio"="' "$header" "$key"; head -c "$text" /dev/zero | tr '\0' 'd'; printf '"\r\n'
        { yes ';x' || true; } | head -c $(( (size - text - 200) / 3 * 3 )); } > "$file" ;;
  esac
}

median() { sort -g | awk '{ v[NR] = $1 } END { print v[int((NR + 1) / 2)] }'; }

printf '%-34s %8s %10s  %s\n' "file" "wall s" "peak KiB" "result"
for name in tiny_lines utf16_lines one_line giant_string giant_hex largest_kept; do
  make_file "$name"
  file="$work/$name.reg"
  size_mib=$(( $(stat -c %s "$file") / 1024 / 1024 ))
  : > "$work/times"
  : > "$work/rss"
  for _ in $(seq "$reps"); do
    result=$(/usr/bin/time -v -o "$work/time.txt" "$bench" "$file" | iconv -f latin1 -t utf-8)
    wall=$(sed -n 's/^\s*Elapsed (wall clock) time (h:mm:ss or m:ss): //p' "$work/time.txt" |
           awk -F: '{ s = 0; for (i = 1; i <= NF; i++) s = s * 60 + $i; printf "%.2f\n", s }')
    rss=$(sed -n 's/^\s*Maximum resident set size (kbytes): //p' "$work/time.txt")
    echo "$wall" >> "$work/times"
    echo "$rss" >> "$work/rss"
    printf '%-34s %8s %10s  %s\n' "$name ($size_mib MiB)" "$wall" "$rss" "$result"
  done
  printf '%-34s %8s %10s\n' "$name median of $reps" "$(median < "$work/times")" "$(median < "$work/rss")"
  rm -f "$file"
done
