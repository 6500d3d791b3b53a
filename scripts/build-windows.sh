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
#   scripts/build-windows.sh            Qt when needed, then the program and its folder
#   scripts/build-windows.sh --qt-only  only Qt (to warm the cache)
#
# Run as root on a machine without the packages: they are installed first.
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$repo/scripts/deps.sh"
source "$repo/scripts/debian_source.sh"

qt_only=0
for arg in "$@"; do
  case "$arg" in
    --qt-only) qt_only=1 ;;
    -h|--help) sed -n '2,14p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "Unknown argument: $arg (try --help)" >&2; exit 2 ;;
  esac
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
  [ -n "$tree" ] && [ -f "$tree/CMakeLists.txt" ] || die "qt6-base source did not unpack"
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
