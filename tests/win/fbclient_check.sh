#!/usr/bin/env bash
# Checks a Windows fbclient.dll against a real Firebird server: starts a
# server of its own on 127.0.0.1 (a free port), makes a database on it,
# cross-builds fbclient_check.exe and runs it under Wine, in a Wine prefix of
# its own, with LEDGARA_FBCLIENT naming the library. Stops the server and
# removes the prefix afterwards.
#
#   tests/win/fbclient_check.sh [build folder] [fbclient.dll]
#
# Build folder default: <source>/build-fbclient-check. Without a library,
# scripts/build-fbclient-windows.sh builds one (or takes its cached one).
# Exits with the check's result, or 77 after "SKIPPED: ..." when Wine or the
# cross-compiler is not installed.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
build="${1:-$root/build-fbclient-check}"
dll="${2:-}"

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

if [ -z "$dll" ]; then
  echo "== the client library"
  dll="$("$root/scripts/build-fbclient-windows.sh" | tail -n1)"
fi
[ -f "$dll" ] || { echo "no library at $dll" >&2; exit 1; }
dll="$(cd "$(dirname "$dll")" && pwd)/$(basename "$dll")"

echo "== cross-building into $build"
cmake -S "$here" -B "$build" -DCMAKE_TOOLCHAIN_FILE="$root/cmake/toolchain-mingw64.cmake" \
  -DCMAKE_BUILD_TYPE=Release -DCONTARDC_WERROR=ON >/dev/null
cmake --build "$build" --parallel 2 --target fbclient_check

# The library in a folder of its own, so that only LEDGARA_FBCLIENT finds it.
mkdir -p "$build/client-under-test"
cp "$dll" "$build/client-under-test/fbclient.dll"

server="$(mktemp -d "${TMPDIR:-/tmp}/contardc-fbcheck.XXXXXX")"
prefix="$server/wine"
password="chk-$RANDOM$RANDOM"
export WINEPREFIX="$prefix" WINEARCH=win64 WINEDEBUG=-all
export WINEDLLOVERRIDES="mscoree,mshtml="
unset DISPLAY WAYLAND_DISPLAY LEDGARA_HKLM
export LC_ALL=C.UTF-8

cleanup() {
  "$root/tests/posting/fbserver_stop.sh" "$server/fb" || true
  "$wineserver" -k >/dev/null 2>&1 || true
  "$wineserver" -w >/dev/null 2>&1 || true
  rm -rf "$server"
}
trap cleanup EXIT

echo "== starting a Firebird server"
# On a free port of its choosing (fbserver_start.sh picks it, and picks
# again when another program takes it first).
"$root/tests/posting/fbserver_start.sh" "$server/fb" 0 "$password"
address="$(cat "$server/fb/address")"
folder="$server/fb/data"
# Made by the machine's own client over TCP, so it belongs to SYSDBA.
echo "create database '$address:$folder/check.fdb' user 'SYSDBA' password '$password';" | isql-fb -q -b

echo "== creating the Wine prefix $prefix"
"$wine" wineboot -i >/dev/null 2>&1

echo "== running fbclient_check.exe with $dll"
export LEDGARA_FBCLIENT="Z:${build//\//\\}\\client-under-test\\fbclient.dll"
status=0
(cd "$build" && "$wine" "$build/fbclient_check.exe" "$address" "$folder" "$password") || status=$?
exit "$status"
