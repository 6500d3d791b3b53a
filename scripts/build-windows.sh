#!/usr/bin/env bash
# Builds contardc for 64-bit Windows on Debian 12 and lays it out as a folder
# users can copy: build-windows/contardc/ and build-windows/contardc-windows-x64.zip.
#
# Qt for Windows is built once from Debian's own qt6-base source (the version
# of the installed host Qt, which provides moc, rcc and uic) with Debian's
# MinGW-w64, into a cache folder outside the work tree, and reused for as long
# as its inputs stay the same: the source package (its .dsc checksum), the
# configure flags, the toolchain file and the cross-compiler.
#
#   scripts/build-windows.sh [--check] [-- CMAKE-ARGS...]
#       Qt when needed, then the program, its folder and the zip; CMAKE-ARGS go
#       to the program's configure (e.g. -DCONTARDC_WERROR=ON). --check then
#       starts the folder's contardc.exe under Wine on a virtual display, in a
#       throw-away Wine prefix: the window "Contabilizar recibos" must appear
#       (screenshot: build-windows/check-window.png) and Esc must end the
#       program with exit code 0.
#   scripts/build-windows.sh --qt-only    only Qt (to warm the cache)
#
# Run as root on a machine without the packages: they are installed first.
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$repo/scripts/deps.sh"
source "$repo/scripts/debian_source.sh"

qt_only=0
check=0
extra_cmake_args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --qt-only) qt_only=1 ;;
    --check) check=1 ;;
    --) shift; extra_cmake_args=("$@"); break ;;
    -h|--help) sed -n '2,20p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "Unknown argument: $1 (try --help)" >&2; exit 2 ;;
  esac
  shift
done

say() { printf '[build-windows] %s\n' "$*" >&2; }
die() { say "error: $*"; exit 1; }
elapsed() { printf '%dm%02ds' $(($1 / 60)) $(($1 % 60)); }

contardc_install_windows_qt_deps

triplet=x86_64-w64-mingw32
cxx="$triplet-g++-posix"
toolchain_src="$repo/cmake/toolchain-mingw64-qt.cmake"
jobs="$(nproc)"

# ---------------------------------------------------------------- Qt for Windows

qt_version="$(dpkg-query -W -f='${Version}' qt6-base-dev)"   # e.g. 6.4.2+dfsg-10
qt_upstream="${qt_version#*:}"
qt_upstream="${qt_upstream%%[+-]*}"                          # e.g. 6.4.2
host_multiarch="$(dpkg-architecture -qDEB_HOST_MULTIARCH)"
cache_root="${XDG_CACHE_HOME:-$HOME/.cache}/contardc"
mkdir -p "$cache_root"

# One build of Qt at a time in this cache, whichever clone starts it.
exec 9>"$cache_root/qt.lock"
flock 9

# The source is kept (unpacked, Debian's patches applied) so that a later run
# can check its .dsc without going to the archive again.
src_dir="$cache_root/src/qt6-base_${qt_version//:/_}"
if [ ! -f "$src_dir/.complete" ]; then
  say "Fetching Debian's qt6-base $qt_version source"
  rm -rf "$src_dir"
  tree="$(contardc_fetch_debian_source qt6-base "$qt_version" "$src_dir")" \
    || die "could not fetch qt6-base $qt_version; the machine needs its Debian archive"
  if [ -z "$tree" ] || [ ! -f "$tree/CMakeLists.txt" ]; then die "qt6-base source did not unpack"; fi
  # Only the unpacked tree and the .dsc are needed from here on.
  rm -rf "$src_dir/.apt" "$src_dir"/*.tar.*
  basename "$tree" > "$src_dir/.complete"
fi
qt_src="$src_dir/$(cat "$src_dir/.complete")"
dsc="$(find "$src_dir" -maxdepth 1 -name '*.dsc' | head -n1)"
[ -n "$dsc" ] || die "no .dsc in $src_dir"
dsc_sha256="$(sha256sum "$dsc" | cut -d' ' -f1)"

# What Qt's configure is told. Only what the program uses is built: Core, Gui,
# Widgets, Test and the qwindows platform plugin. Direct2D itself stays on
# (without it qwindows.dll does not link); tablet events are off because
# Debian's source drops wintab.h; OpenGL is off as an input, since turning off
# only the feature leaves the dynamic OpenGL loader in.
qt_flags=(
  -DCMAKE_BUILD_TYPE=Release
  -DBUILD_SHARED_LIBS=ON
  -DQT_HOST_PATH=/usr
  "-DQT_HOST_PATH_CMAKE_DIR=/usr/lib/$host_multiarch/cmake"
  -DQT_BUILD_EXAMPLES=OFF
  -DQT_BUILD_TESTS=OFF
  -DFEATURE_dbus=OFF
  -DFEATURE_sql=OFF
  -DFEATURE_network=OFF
  -DFEATURE_printsupport=OFF
  -DFEATURE_concurrent=OFF
  -DFEATURE_xml=OFF
  -DINPUT_opengl=no
  -DFEATURE_vulkan=OFF
  -DFEATURE_direct2d1_1=OFF
  -DFEATURE_tabletevent=OFF
  -DFEATURE_pkg_config=OFF
  -DFEATURE_system_zlib=OFF
  -DFEATURE_zstd=OFF
  -DFEATURE_jpeg=OFF
  -DFEATURE_androiddeployqt=OFF
)

compiler_id="$("$cxx" -dumpfullversion) $(dpkg-query -W -f='${Package}=${Version} ' \
  g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64)"
key_text="$(
  printf 'qt6-base %s\ndsc-sha256 %s\n' "$qt_version" "$dsc_sha256"
  printf 'flag %s\n' "${qt_flags[@]}"
  printf 'toolchain-sha256 %s\n' "$(sha256sum "$toolchain_src" | cut -d' ' -f1)"
  printf 'compiler %s\n' "$compiler_id"
)"
key="$(printf '%s\n' "$key_text" | sha256sum | cut -c1-16)"
qt_prefix="$cache_root/qt-$qt_upstream-mingw64-$key"
qt_build="$qt_prefix.build"
qt_log="$qt_prefix.build.log"
qt_stamp="$qt_prefix/contardc-qt.key"

if [ -f "$qt_stamp" ] && [ "$(cat "$qt_stamp")" = "$key_text" ]; then
  say "Reusing Qt $qt_upstream for Windows in $qt_prefix"
else
  say "Building Qt $qt_upstream for Windows into $qt_prefix (30-60 minutes; log: $qt_log)"
  qt_started=$SECONDS
  mkdir -p "$qt_prefix/lib/cmake" "$qt_build"
  # Qt's installed qt.toolchain.cmake refers to the toolchain file by path:
  # a copy inside the prefix keeps the cached Qt usable from any clone.
  qt_toolchain="$qt_prefix/lib/cmake/contardc-toolchain-mingw64-qt.cmake"
  cp "$toolchain_src" "$qt_toolchain"
  {
    printf '%s\n' "$key_text"
    if [ ! -f "$qt_build/build.ninja" ]; then
      nice -n 19 cmake -G Ninja -S "$qt_src" -B "$qt_build" \
        "-DCMAKE_TOOLCHAIN_FILE=$qt_toolchain" "-DCMAKE_INSTALL_PREFIX=$qt_prefix" "${qt_flags[@]}"
    fi
    # Low priority: the machine is usually shared with other work.
    nice -n 19 cmake --build "$qt_build" --parallel "$jobs"
    nice -n 19 cmake --install "$qt_build" --strip
  } >>"$qt_log" 2>&1 || { tail -n 40 "$qt_log" >&2; die "Qt build failed; the full log is $qt_log"; }
  qt_seconds=$((SECONDS - qt_started))
  printf '%s\n' "$key_text" > "$qt_stamp.tmp" && mv "$qt_stamp.tmp" "$qt_stamp"
  printf 'qt-build-seconds %d\n' "$qt_seconds" > "$qt_prefix/contardc-qt.times"
  say "Qt built in $(elapsed "$qt_seconds") ($(du -sh "$qt_prefix" | cut -f1) installed)"
  rm -rf "$qt_build"
fi
flock -u 9

[ "$qt_only" -eq 1 ] && exit 0

# ---------------------------------------------------------------- the program

build="$repo/build-windows"
out="$build/contardc"
zip_file="$build/contardc-windows-x64.zip"
mkdir -p "$build/firebird-include"
# Only the client's C interface: a folder of its own, so that no other Linux
# header can be picked up by the Windows build.
ibase_h=""
for f in /usr/include/ibase.h /usr/include/firebird/ibase.h; do
  [ -f "$f" ] && { ibase_h="$f"; break; }
done
[ -n "$ibase_h" ] || die "ibase.h not found (Debian package firebird-dev)"
cp "$ibase_h" "$build/firebird-include/ibase.h"

# A build folder configured against another Qt (an older cache entry) starts
# afresh: CMake would otherwise keep the Qt its cache found first.
if [ "$(cat "$build/qt-prefix.txt" 2>/dev/null || true)" != "$qt_prefix" ]; then
  rm -rf "$build/CMakeCache.txt" "$build/CMakeFiles"
fi
printf '%s\n' "$qt_prefix" > "$build/qt-prefix.txt"

say "Building contardc.exe in $build"
prog_started=$SECONDS
"$qt_prefix/bin/qt-cmake" -G Ninja -S "$repo" -B "$build" --no-warn-unused-cli -DCMAKE_BUILD_TYPE=Release \
  "-DCONTARDC_IBASE_INCLUDE_DIR=$build/firebird-include" -DCONTARDC_WERROR=OFF \
  "${extra_cmake_args[@]}" >/dev/null
cmake --build "$build" --parallel "$jobs" --target contardc
prog_seconds=$((SECONDS - prog_started))

# The folder: the program and the modules it loads from beside it (the
# window is one, so that the run without a display needs no Qt), the Qt DLLs,
# the plugins Qt loads from beside it (the platform plugin is required, the
# style plugin gives the native look) and the compiler's runtime DLLs.
rm -rf "$out" "$zip_file"
mkdir -p "$out/platforms"
cp "$build/contardc.exe" "$out/"
find "$build" -maxdepth 1 -name '*.dll' -exec cp {} "$out/" \;
for m in Core Gui Widgets; do cp "$qt_prefix/bin/Qt6$m.dll" "$out/"; done
cp "$qt_prefix/plugins/platforms/qwindows.dll" "$out/platforms/"
if [ -f "$qt_prefix/plugins/styles/qwindowsvistastyle.dll" ]; then
  mkdir -p "$out/styles"
  cp "$qt_prefix/plugins/styles/qwindowsvistastyle.dll" "$out/styles/"
fi
for dll in libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll; do
  path="$("$cxx" -print-file-name="$dll")"
  [ -f "$path" ] || die "$dll not found beside the cross-compiler"
  cp "$path" "$out/"
done
find "$out" \( -name '*.exe' -o -name '*.dll' \) -exec "$triplet-strip" --strip-unneeded {} +

# Every DLL that the files import must be either in the folder or part of
# Windows; a missing one would only show on the user's machine.
missing=()
while read -r dll; do
  [ -n "$dll" ] || continue
  if [ -z "$(find "$out" -maxdepth 1 -iname "$dll" | head -n1)" ]; then
    case "${dll,,}" in
      kernel32.dll|user32.dll|gdi32.dll|advapi32.dll|shell32.dll|ole32.dll|oleaut32.dll|comdlg32.dll|\
      ws2_32.dll|winmm.dll|version.dll|imm32.dll|dwmapi.dll|uxtheme.dll|shlwapi.dll|setupapi.dll|\
      wtsapi32.dll|netapi32.dll|userenv.dll|mpr.dll|authz.dll|d3d9.dll|d3d11.dll|dxgi.dll|d2d1.dll|\
      dwrite.dll|msvcrt.dll|shcore.dll|secur32.dll|crypt32.dll|bcrypt.dll|comctl32.dll|rpcrt4.dll|\
      api-ms-win-*) ;;
      *) missing+=("$dll") ;;
    esac
  fi
done < <(find "$out" \( -name '*.exe' -o -name '*.dll' \) -exec "$triplet-objdump" -p {} + \
           | sed -n 's/^[[:space:]]*DLL Name: //p' | sort -u)
[ ${#missing[@]} -eq 0 ] || die "imported but neither in the folder nor part of Windows: ${missing[*]}"

# Windows' own editors expect CR LF.
sed 's/\r$//; s/$/\r/' "$repo/packaging/windows/LEEME.txt" > "$out/LEEME.txt"
(cd "$build" && zip -q -r -X -9 "$(basename "$zip_file")" contardc)

folder_kib="$(du -sk "$out" | cut -f1)"
zip_kib="$(( ($(stat -c %s "$zip_file") + 1023) / 1024 ))"
qt_seconds_cached="$(sed -n 's/^qt-build-seconds //p' "$qt_prefix/contardc-qt.times" 2>/dev/null || true)"
{
  printf 'qt-build-seconds %s\n' "${qt_seconds_cached:-unknown}"
  printf 'program-build-seconds %d\n' "$prog_seconds"
  printf 'folder-kib %d\n' "$folder_kib"
  printf 'zip-kib %d\n' "$zip_kib"
} > "$build/build-figures.txt"
say "contardc.exe built in $(elapsed "$prog_seconds"); Qt ${qt_seconds_cached:+took $(elapsed "$qt_seconds_cached") when it was built}"
say "Folder: $out ($((folder_kib / 1024)) MiB), zip: $zip_file ($((zip_kib / 1024)) MiB); whole run $(elapsed "$SECONDS")"

[ "$check" -eq 1 ] || exit 0

# ---------------------------------------------------------------- the check under Wine

say "Checking the folder under Wine"
work="$(mktemp -d "${TMPDIR:-/tmp}/contardc-check.XXXXXX")"
export WINEPREFIX="$work/wine" WINEARCH=win64 WINEDEBUG=-all
# No Mono or Gecko installers: the program needs neither.
export WINEDLLOVERRIDES="mscoree,mshtml="
unset WAYLAND_DISPLAY QT_QPA_PLATFORM LEDGARA_FBCLIENT LEDGARA_HKLM
xvfb_pid="" openbox_pid=""
check_cleanup() {
  wineserver -k >/dev/null 2>&1 || true
  wineserver -w >/dev/null 2>&1 || true
  [ -z "$openbox_pid" ] || kill "$openbox_pid" 2>/dev/null || true
  [ -z "$xvfb_pid" ] || kill "$xvfb_pid" 2>/dev/null || true
  rm -rf "$work"
}
trap check_cleanup EXIT

# A display number of its own, chosen by the X server.
Xvfb -displayfd 7 -screen 0 1024x768x24 -nolisten tcp 7>"$work/display" >/dev/null 2>&1 &
xvfb_pid=$!
for _ in $(seq 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || die "Xvfb did not start"
DISPLAY=":$(cat "$work/display")"
export DISPLAY
openbox >/dev/null 2>&1 &
openbox_pid=$!

wineboot -i >"$work/wineboot.log" 2>&1 || { cat "$work/wineboot.log" >&2; die "wineboot could not make the Wine prefix"; }
# The ERP's key, in the 32-bit view where the 32-bit ERP writes it, and its
# server list, so that the window opens without the missing-key message.
mkdir -p "$WINEPREFIX/drive_c/Ledgara"
printf 'localhost:C:\\Ledgara\r\n' > "$WINEPREFIX/drive_c/Ledgara/SERVIDORES.cfg"
wine reg add 'HKLM\Software\Vantel\LedgaraERP2026' /v Directorio /t REG_SZ /d 'C:\Ledgara' /reg:32 /f \
  >"$work/reg.log" 2>&1 || { cat "$work/reg.log" >&2; die "could not write the ERP's registry value"; }

wine "$out/contardc.exe" >"$work/wine.log" 2>&1 &
app_pid=$!
window=""
for _ in $(seq 120); do
  window="$(xdotool search --name '^Contabilizar recibos$' 2>/dev/null | head -n1 || true)"
  [ -n "$window" ] && break
  kill -0 "$app_pid" 2>/dev/null || break
  sleep 1
done
if [ -z "$window" ]; then
  cat "$work/wine.log" >&2
  die "the window \"Contabilizar recibos\" did not appear"
fi
sleep 2   # let it paint before the screenshot
import -window root "$build/check-window.png"
say "Window \"Contabilizar recibos\" shown ($(xdotool getwindowgeometry "$window" | sed -n 's/^ *Geometry: //p')); screenshot: $build/check-window.png"
# A real key press (XTEST) to the focused window: Wine ignores synthetic events.
xdotool windowactivate --sync "$window" >/dev/null 2>&1 || true
xdotool key Escape
status=0
for _ in $(seq 60); do kill -0 "$app_pid" 2>/dev/null || break; sleep 1; done
if kill -0 "$app_pid" 2>/dev/null; then
  die "Esc did not end the program"
fi
wait "$app_pid" || status=$?
[ "$status" -eq 0 ] || { cat "$work/wine.log" >&2; die "the program ended with exit code $status after Esc"; }
say "Esc ended the program with exit code 0"
