#!/usr/bin/env bash
# Cross-builds the Windows console tests with MinGW-w64 and runs them under
# Wine, in a Wine prefix of their own that is created for the run and removed
# afterwards, with the registry keys the tests expect.
#
#   tests/win/run_under_wine.sh [build folder]    (default: <source>/build-win64)
#
# Exits with the tests' result, or 77 after "SKIPPED: ..." when Wine or the
# cross-compiler is not installed.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="${1:-$root/build-win64}"

skip() {
  echo "SKIPPED: $*"
  exit 77
}

command -v x86_64-w64-mingw32-g++-posix >/dev/null || command -v x86_64-w64-mingw32-g++ >/dev/null ||
  skip "the MinGW-w64 cross-compiler is not installed (Debian package g++-mingw-w64-x86-64)"
if [ -x /usr/lib/wine/wine64 ]; then
  wine=/usr/lib/wine/wine64
elif command -v wine64 >/dev/null; then
  wine="$(command -v wine64)"
elif command -v wine >/dev/null; then
  wine="$(command -v wine)"
else
  skip "Wine is not installed (Debian packages wine64 and wine)"
fi
if [ -x /usr/lib/wine/wineserver64 ]; then
  wineserver=/usr/lib/wine/wineserver64
elif command -v wineserver >/dev/null; then
  wineserver="$(command -v wineserver)"
else
  skip "wineserver is not installed (Debian package wine64)"
fi

echo "== cross-building into $build"
cmake -S "$here" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DCONTARDC_WERROR=ON >/dev/null
cmake --build "$build" --parallel 2 --target wintests

prefix="$(mktemp -d "${TMPDIR:-/tmp}/contardc-wine.XXXXXX")"
export WINEPREFIX="$prefix" WINEARCH=win64 WINEDEBUG=-all
# No Mono or Gecko installers, no windows: the tests are console-only.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY
# The C locale gives Wine the ANSI code page 1252, the one of the ERP's
# Spanish installations.
export LC_ALL=C.UTF-8
unset LEDGARA_FBCLIENT LEDGARA_HKLM

cleanup() {
  "$wineserver" -k >/dev/null 2>&1 || true
  "$wineserver" -w >/dev/null 2>&1 || true
  rm -rf "$prefix"
}
trap cleanup EXIT

echo "== creating the Wine prefix $prefix"
"$wine" wineboot -i >/dev/null 2>&1

reg() { "$wine" reg "$@" >/dev/null; }
erp='HKLM\Software\Vantel\LedgaraERP2026'
types='HKLM\Software\Vantel\ContardcWinTests'
echo "== writing the registry keys"
# The ERP is a 32-bit program: its key lives in the 32-bit view.
reg add "$erp" /v Directorio /t REG_SZ /d 'C:\ERP\Ledgara' /reg:32 /f
reg add "$erp" /v Directorio /t REG_SZ /d 'C:\Wrong64' /reg:64 /f
reg add 'HKLM\Software\Vantel\ContardcSolo64' /v Directorio /t REG_SZ /d 'C:\Solo64' /reg:64 /f
reg add "$types" /v Cadena /t REG_SZ /d 'C:\ERP\' /reg:32 /f
reg add "$types" /v Expandible /t REG_EXPAND_SZ /d '%ProgramFiles%\ERP' /reg:32 /f
reg add "$types" /v Numero /t REG_DWORD /d 42 /reg:32 /f
reg add "$types" /v Binario /t REG_BINARY /d 433a00 /reg:32 /f
reg add "$types" /v BinarioVacio /t REG_BINARY /reg:32 /f
reg add "$types" /v Vacia /t REG_SZ /d '' /reg:32 /f
reg add "$types" /v Multi /t REG_MULTI_SZ /d 'a\0b' /reg:32 /f

echo "== running wintests.exe"
status=0
(cd "$build" && "$wine" "$build/wintests.exe") || status=$?
exit "$status"
