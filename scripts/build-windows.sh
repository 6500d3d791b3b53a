#!/usr/bin/env bash
# Builds contardc for 64-bit Windows on Debian 12, lays it out as a folder
# users can copy, and packs it: in build-windows/, the folder contardc/, its
# zip contardc-<version>-windows-x64.zip, the installer contardc-<version>-x64.msi
# (wixl, from packaging/windows/contardc.wxs) and contardc-<version>-SHA256SUMS
# with the sums of both (sha256sum -c in that folder checks them). <version>
# is project()'s in CMakeLists.txt (scripts/version.sh).
#
# Qt for Windows is built once from Debian's own qt6-base source (the version
# of the installed host Qt, which provides moc, rcc and uic) with Debian's
# MinGW-w64, into a cache folder outside the work tree, and reused for as long
# as its inputs stay the same: the source package (its .dsc checksum), the
# configure flags, the toolchain file and the cross-compiler.
#
#   scripts/build-windows.sh [--check] [-- CMAKE-ARGS...]
#       Qt when needed, then the program, its folder, the zip and the MSI;
#       CMAKE-ARGS go to the program's configure (e.g. -DCONTARDC_WERROR=ON,
#       -DCONTARDC_PUBLISHER=NAME for the version resource's CompanyName and
#       the MSI's Manufacturer). --check then
#       starts the folder's contardc.exe under Wine on a virtual display, in a
#       throw-away Wine prefix: the window "Contabilizar recibos" must appear
#       (screenshot: build-windows/check-window.png) and Esc must end the
#       program with exit code 0.
#   scripts/build-windows.sh --qt-only    only Qt (to warm the cache)
#   scripts/build-windows.sh --qt-status  one line: whether Qt of the current
#       inputs is cached (exit 0) or not built / stale (exit 1); installs,
#       fetches and builds nothing
#
# The folder carries its own Firebird client, fbclient.dll, built by
# scripts/build-fbclient-windows.sh (cached the same way), the licence texts
# of everything it ships in licencias/, and a qt.conf that keeps Qt's plugin
# search inside the folder.
#
# The program's PE files are linked without a time stamp, every PE file's
# header and the zip's entries carry the commit's time (SOURCE_DATE_EPOCH
# when set), the entries in a fixed order: one commit builds the same zip. The MSI is new every build (its
# product and package codes are).
#
# Run as root on a machine without the packages: they are installed first.
set -euo pipefail

repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$repo/scripts/deps.sh"
source "$repo/scripts/debian_source.sh"
source "$repo/scripts/version.sh"

qt_only=0
qt_status=0
check=0
extra_cmake_args=()
while [ $# -gt 0 ]; do
  case "$1" in
    --qt-only) qt_only=1 ;;
    --qt-status) qt_status=1 ;;
    --check) check=1 ;;
    --) shift; extra_cmake_args=("$@"); break ;;
    -h|--help) sed -n '2,39p' "${BASH_SOURCE[0]}" | sed 's/^# \{0,1\}//'; exit 0 ;;
    *) echo "Unknown argument: $1 (try --help)" >&2; exit 2 ;;
  esac
  shift
done

say() { printf '[build-windows] %s\n' "$*" >&2; }
die() { say "error: $*"; exit 1; }
elapsed() { printf '%dm%02ds' $(($1 / 60)) $(($1 % 60)); }

triplet=x86_64-w64-mingw32
cxx="$triplet-g++-posix"
toolchain_src="$repo/cmake/toolchain-mingw64-qt.cmake"
jobs="$(nproc)"

# ---------------------------------------------------------------- Qt for Windows

# The source, pinned: Debian's archive keeps only the current version of a
# release, and a different source is a different Qt. When the archive moves
# on, set these to the version it serves and the sha256 of that .dsc
# (apt-get source --print-uris qt6-base shows both). The host's Qt, whose
# moc, rcc and uic the build uses, must be of the same upstream version.
qt_version="${CONTARDC_QT_SOURCE_VERSION:-6.4.2+dfsg-10}"
qt_dsc_sha256="${CONTARDC_QT_SOURCE_DSC_SHA256:-1b4b5c8610a553d4211fa81e268b1a3b0a6339ae5444fdb7e60d7616da651970}"
qt_upstream="${qt_version#*:}"
qt_upstream="${qt_upstream%%[+-]*}"                          # e.g. 6.4.2
cache_root="${XDG_CACHE_HOME:-$HOME/.cache}/contardc"

# What Qt's configure is told. Only what the program uses is built: Core, Gui,
# Widgets, Test and the qwindows platform plugin. Direct2D itself stays on
# (without it qwindows.dll does not link); tablet events are off because
# Debian's source drops wintab.h; OpenGL is off as an input, since turning off
# only the feature leaves the dynamic OpenGL loader in.
qt_flags=(
  -DCMAKE_BUILD_TYPE=Release
  -DBUILD_SHARED_LIBS=ON
  -DQT_HOST_PATH=/usr
  "-DQT_HOST_PATH_CMAKE_DIR=/usr/lib/$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null || echo x86_64-linux-gnu)/cmake"
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

# The cache key: everything that makes one Qt differ from another, all known
# before any source is fetched. Prints nothing and fails when the
# cross-compiler is not installed.
qt_key_text() {
  local compiler_id
  compiler_id="$("$cxx" -dumpfullversion 2>/dev/null)" || return 1
  compiler_id="$compiler_id $(dpkg-query -W -f='${Package}=${Version} ' \
    g++-mingw-w64-x86-64-posix mingw-w64-x86-64-dev binutils-mingw-w64-x86-64 2>/dev/null)" || return 1
  printf 'qt6-base %s\ndsc-sha256 %s\n' "$qt_version" "$qt_dsc_sha256"
  printf 'flag %s\n' "${qt_flags[@]}"
  printf 'toolchain-sha256 %s\n' "$(sha256sum "$toolchain_src" | cut -d' ' -f1)"
  printf 'compiler %s\n' "$compiler_id"
}

if [ "$qt_status" -eq 1 ]; then
  # Whether Qt for Windows of the current key is in the cache: one line,
  # exit 0 when it is. Installs and fetches nothing.
  if ! key_text="$(qt_key_text)"; then
    echo "cannot be looked up: the MinGW-w64 cross-compiler is not installed"; exit 1
  fi
  key="$(printf '%s\n' "$key_text" | sha256sum | cut -c1-16)"
  stamp="$cache_root/qt-$qt_upstream-mingw64-$key/contardc-qt.key"
  if [ -f "$stamp" ] && [ "$(cat "$stamp")" = "$key_text" ]; then
    echo "is cached in $(dirname "$stamp")"; exit 0
  elif compgen -G "$cache_root/qt-*-mingw64-*/contardc-qt.key" >/dev/null; then
    echo "is stale: $cache_root holds one built from other inputs (source, configure flags, toolchain or cross-compiler)"; exit 1
  else
    echo "is not in $cache_root"; exit 1
  fi
fi

contardc_install_windows_qt_deps
contardc_install_packages "${contardc_msi_packages[@]}"
host_qt="$(dpkg-query -W -f='${Version}' qt6-base-dev)"
host_upstream="${host_qt#*:}"
host_upstream="${host_upstream%%[+-]*}"
[ "$host_upstream" = "$qt_upstream" ] ||
  die "the host's Qt is $host_qt, the pinned Windows source qt6-base $qt_version: their upstream versions must match (moc, rcc and uic come from the host)"

mkdir -p "$cache_root"
key_text="$(qt_key_text)" || die "cannot read the cross-compiler's version ($cxx)"
key="$(printf '%s\n' "$key_text" | sha256sum | cut -c1-16)"
qt_prefix="$cache_root/qt-$qt_upstream-mingw64-$key"
qt_build="$qt_prefix.build"
qt_log="$qt_prefix.build.log"
qt_stamp="$qt_prefix/contardc-qt.key"

# One build of Qt at a time in this cache, whichever clone starts it; a
# program build holds the lock shared for as long as it uses the Qt, so that
# pruning never takes a Qt from under it.
exec 9>"$cache_root/qt.lock"
flock 9

if [ -f "$qt_stamp" ] && [ "$(cat "$qt_stamp")" = "$key_text" ]; then
  say "Reusing Qt $qt_upstream for Windows in $qt_prefix"
else
  # The source, unpacked with Debian's patches applied; kept until Qt is
  # installed, so that an interrupted build resumes without fetching again.
  src_dir="$cache_root/src/qt6-base_${qt_version//:/_}"
  if [ -f "$src_dir/.complete" ]; then
    dsc="$(find "$src_dir" -maxdepth 1 -name 'qt6-base_*.dsc' | head -n1)"
    if [ -z "$dsc" ] || [ "$(sha256sum "$dsc" | cut -d' ' -f1)" != "$qt_dsc_sha256" ]; then
      rm -f "$src_dir/.complete"
    fi
  fi
  if [ ! -f "$src_dir/.complete" ]; then
    say "Fetching Debian's qt6-base $qt_version source"
    rm -rf "$src_dir"
    if ! tree="$(contardc_fetch_debian_source qt6-base "$qt_version" "$src_dir" 2>"$cache_root/qt-fetch.log")"; then
      cat "$cache_root/qt-fetch.log" >&2
      die "apt could not fetch the pinned source qt6-base $qt_version (its messages above). When the Debian archive has moved past it, set CONTARDC_QT_SOURCE_VERSION and CONTARDC_QT_SOURCE_DSC_SHA256 to the version it serves (apt-get source --print-uris qt6-base shows both)"
    fi
    if [ -z "$tree" ] || [ ! -f "$tree/CMakeLists.txt" ]; then die "qt6-base source did not unpack"; fi
    dsc="$(find "$src_dir" -maxdepth 1 -name 'qt6-base_*.dsc' | head -n1)"
    [ -n "$dsc" ] && [ "$(sha256sum "$dsc" | cut -d' ' -f1)" = "$qt_dsc_sha256" ] ||
      die "$src_dir: not the pinned source (the .dsc's sha256 is not $qt_dsc_sha256)"
    # Only the unpacked tree and the .dsc are needed from here on.
    rm -rf "$src_dir/.apt" "$src_dir"/*.tar.*
    basename "$tree" > "$src_dir/.complete"
  fi
  qt_src="$src_dir/$(cat "$src_dir/.complete")"

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
  # The licence of what the folder ships from this source (Qt and the
  # third-party code inside it), as Debian gives it.
  mkdir -p "$qt_prefix/contardc-licence"
  cp "$qt_src/debian/copyright" "$qt_prefix/contardc-licence/qt6-base.copyright"
  printf 'qt6-base %s\n' "$qt_version" > "$qt_prefix/contardc-licence/source"
  printf 'qt-build-seconds %d\n' "$qt_seconds" > "$qt_prefix/contardc-qt.times"
  printf '%s\n' "$key_text" > "$qt_stamp.tmp" && mv "$qt_stamp.tmp" "$qt_stamp"
  say "Qt built in $(elapsed "$qt_seconds") ($(du -sh "$qt_prefix" | cut -f1) installed)"
  rm -rf "$qt_build" "$src_dir"
fi

# Older entries (another source, flags or compiler) go: each is some 65 MB
# installed, and an interrupted build's folder several GB.
for old in "$cache_root"/qt-*-mingw64-* "$cache_root"/src/qt6-base_*; do
  [ -e "$old" ] || continue
  case "$old" in
    "$qt_prefix" | "$qt_prefix".build | "$qt_prefix".build.log) ;;
    "$cache_root/src/qt6-base_${qt_version//:/_}") ;;
    *) say "Removing an old cache entry: $old"; rm -rf "$old" ;;
  esac
done
flock -s 9

[ "$qt_only" -eq 1 ] && exit 0

# ---------------------------------------------------------------- the program

build="$repo/build-windows"
out="$build/contardc"
app_version="$(contardc_version)" || die "no version in $repo/CMakeLists.txt"
zip_file="$build/contardc-$app_version-windows-x64.zip"
msi_file="$build/contardc-$app_version-x64.msi"
sums_file="$build/contardc-$app_version-SHA256SUMS"
mkdir -p "$build/firebird-include"
# Two builds of the program in one clone take turns.
exec 8>"$build/.build.lock"
flock 8
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

# The Firebird client the folder ships (cached after its first build).
say "The Firebird client (scripts/build-fbclient-windows.sh)"
fbclient="$("$repo/scripts/build-fbclient-windows.sh" | tail -n1)" || die "the Firebird client did not build"
[ -f "$fbclient" ] || die "scripts/build-fbclient-windows.sh gave no library"

# The folder: the program and the modules it loads from beside it (the
# window is one, so that the run without a display needs no Qt), the Qt DLLs,
# the plugins Qt loads from beside it (the platform plugin, without which no
# window opens, and the style plugin that gives the native look), the
# compiler's runtime DLLs and the Firebird client.
# Earlier versions' artefacts (and the zip's unversioned name of before) go
# too: beside the new ones they would pass for current.
rm -rf "$out" "$build/msi"
rm -f "$build"/contardc-*windows-x64.zip "$build"/contardc-*-x64.msi "$build"/contardc-*-SHA256SUMS
mkdir -p "$out/platforms" "$out/styles"
cp "$build/contardc.exe" "$out/"
find "$build" -maxdepth 1 -name '*.dll' -exec cp {} "$out/" \;
for m in Core Gui Widgets; do cp "$qt_prefix/bin/Qt6$m.dll" "$out/"; done
for plugin in platforms/qwindows.dll styles/qwindowsvistastyle.dll; do
  [ -f "$qt_prefix/plugins/$plugin" ] || die "Qt for Windows in $qt_prefix has no plugins/$plugin"
  cp "$qt_prefix/plugins/$plugin" "$out/$plugin"
done
runtime=(libstdc++-6.dll libgcc_s_seh-1.dll libwinpthread-1.dll)
runtime_paths=()
for dll in "${runtime[@]}"; do
  path="$(readlink -f "$("$cxx" -print-file-name="$dll")")"
  [ -f "$path" ] || die "$dll not found beside the cross-compiler"
  cp "$path" "$out/$dll"
  runtime_paths+=("$path")
done
cp "$fbclient" "$out/fbclient.dll"
# Qt's plugins from the folder only: without this file Qt also looks in the
# folder above the program's (C:\plugins for C:\Contardc), which any user
# may be able to create.
printf '[Paths]\r\nPrefix = .\r\nPlugins = .\r\n' > "$out/qt.conf"
# strip writes a PE file anew, with the time it runs at in the header
# unless SOURCE_DATE_EPOCH says otherwise: every PE file of the folder, the
# cached Qt and runtime DLLs too, gets the commit's time.
epoch="${SOURCE_DATE_EPOCH:-$(git -C "$repo" log -1 --format=%ct 2>/dev/null || true)}"
[ -n "$epoch" ] || die "no time for the files' PE headers and the zip's entries: set SOURCE_DATE_EPOCH (this is not a git checkout)"
find "$out" \( -name '*.exe' -o -name '*.dll' \) -exec env SOURCE_DATE_EPOCH="$epoch" "$triplet-strip" --strip-unneeded {} +

# The licence texts of what the folder ships, as Debian's copyright files of
# their sources give them, and the source package versions they were built
# from.
lic="$out/licencias"
mkdir -p "$lic"
crlf() { sed 's/\r$//; s/$/\r/' "$1" > "$2"; }
fb_dir="$(dirname "$fbclient")"
sources=()
for f in "$fb_dir"/*.copyright "$qt_prefix"/contardc-licence/*.copyright; do
  [ -f "$f" ] || die "a licence text is missing: $f (rebuild that cache entry)"
  name="$(basename "$f" .copyright)"
  crlf "$f" "$lic/$name.txt"
done
while read -r pkg version; do sources+=("$pkg $version"); done < <(cat "$fb_dir/sources" "$qt_prefix/contardc-licence/source")
# The compiler's runtime: the packages that hold the DLLs name their sources.
made_from=(
  "fbclient.dll: firebird3.0, libtommath"
  "Qt6Core.dll, Qt6Gui.dll, Qt6Widgets.dll, platforms\\qwindows.dll, styles\\qwindowsvistastyle.dll: qt6-base"
)
for i in "${!runtime[@]}"; do
  path="${runtime_paths[$i]}"
  pkg="$(dpkg -S "$path" 2>/dev/null | head -n1 | cut -d: -f1)"
  [ -n "$pkg" ] || die "no installed package holds $path"
  src="$(dpkg-query -W -f='${source:Package} ${source:Version}' "$pkg")"
  copyright="/usr/share/doc/$pkg/copyright"
  [ -f "$copyright" ] || die "$pkg has no copyright file ($copyright)"
  if [ ! -f "$lic/${src%% *}.txt" ]; then
    crlf "$copyright" "$lic/${src%% *}.txt"
    sources+=("$src")
  fi
  made_from+=("${runtime[$i]}: ${src%% *}")
done
{
  echo "contardc $(git -C "$repo" describe --always --dirty 2>/dev/null || echo unknown)"
  echo
  echo "Lo que trae esta carpeta se compilo de estos paquetes fuente de Debian."
  echo "El texto de la licencia de cada uno esta en el archivo de su nombre."
  echo
  printf '  %s\n' "${sources[@]}"
  echo
  printf '  %s\n' "${made_from[@]}"
} > "$lic/FUENTES.txt.lf"
crlf "$lic/FUENTES.txt.lf" "$lic/FUENTES.txt" && rm "$lic/FUENTES.txt.lf"

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
sed 's/\r$//; s/$/\r/; s/@VERSION@/'"$app_version"'/g' "$repo/packaging/windows/LEEME.txt" > "$out/LEEME.txt"
! grep -q '@[A-Z_]*@' "$out/LEEME.txt" || die "LEEME.txt names a placeholder other than @VERSION@: $(grep -o '@[A-Z_]*@' "$out/LEEME.txt" | head -n1)"

# The zip: the same bytes from the same commit. Every entry carries the
# commit's time (zip stores local time: UTC here, whatever the machine's
# zone), the same permissions whatever the umask, no extra fields with
# owners or Unix times (-X), and the names in byte order.
find "$out" -type d -exec chmod 755 {} + -o -type f -exec chmod 644 {} +
find "$out" -exec touch -h -d "@$epoch" {} +
(cd "$build" && find contardc -print | LC_ALL=C sort | TZ=UTC zip -q -X -9 -D -@ "$(basename "$zip_file")")

# The installer: the folder's files as components of their own, listed from
# the folder as it is now, and the product around them from the project's
# .wxs. The publisher is the one the version resource got (CMake's cache).
msi_started=$SECONDS
publisher="$(sed -n 's/^CONTARDC_PUBLISHER:STRING=//p' "$build/CMakeCache.txt")"
[ -n "$publisher" ] || die "no CONTARDC_PUBLISHER in $build/CMakeCache.txt"
IFS=. read -r v_major v_minor v_build _ <<<"$app_version"
next_build="${v_major}.${v_minor:-0}.$(( ${v_build:-0} + 1 ))"
xml_text() { sed 's/&/\&amp;/g; s/</\&lt;/g; s/>/\&gt;/g; s/"/\&quot;/g' <<<"$1"; }
msi_components=()
# msi_dir REL INDENT: the components of the files in contardc/REL and its
# subfolders. Ids from a hash of the path: stable, and valid whatever the
# names hold.
msi_dir() {
  local rel="$1" indent="$2" entry path name id
  while IFS= read -r -d '' entry; do
    name="${entry##*/}"
    path="${rel:+$rel/}$name"
    id="$(printf '%s' "$path" | md5sum | cut -c1-24)"
    if [ -d "$entry" ]; then
      printf '%s<Directory Id="d%s" Name="%s">\n' "$indent" "$id" "$(xml_text "$name")"
      msi_dir "$path" "$indent  "
      printf '%s</Directory>\n' "$indent"
    else
      msi_components+=("c$id")
      printf '%s<Component Id="c%s" Guid="*" Win64="yes">\n' "$indent" "$id"
      printf '%s  <File Id="f%s" Name="%s" Source="$(var.SourceDir)/%s" KeyPath="yes"/>\n' \
        "$indent" "$id" "$(xml_text "$name")" "$(xml_text "$path")"
      printf '%s</Component>\n' "$indent"
    fi
  done < <(find "$out${rel:+/$rel}" -mindepth 1 -maxdepth 1 \( -type f -o -type d \) -print0 | LC_ALL=C sort -z)
}
empty_dir="$(find "$out" -mindepth 1 -type d -empty | head -n1)"
[ -z "$empty_dir" ] || die "$empty_dir is empty: the MSI would not make it"
mkdir -p "$build/msi"
cp "$repo/packaging/icon/contardc.ico" "$build/msi/contardc.ico"
{
  printf '<?xml version="1.0" encoding="utf-8"?>\n'
  printf '<!-- Written by scripts/build-windows.sh from build-windows/contardc. -->\n'
  printf '<Wix xmlns="http://schemas.microsoft.com/wix/2006/wi">\n  <Fragment>\n    <DirectoryRef Id="INSTALLDIR">\n'
  msi_dir "" "      "
  printf '    </DirectoryRef>\n  </Fragment>\n  <Fragment>\n    <ComponentGroup Id="ProgramFiles">\n'
  printf '      <ComponentRef Id="%s"/>\n' "${msi_components[@]}"
  printf '    </ComponentGroup>\n  </Fragment>\n</Wix>\n'
} > "$build/msi/files.wxs"
# wixl takes the files by paths relative to the folder it runs in.
(cd "$build" && wixl -a x64 -D "Version=$app_version" -D "NextBuild=$next_build" -D "Publisher=$publisher" \
   -D SourceDir=contardc -D Icon=msi/contardc.ico -o "$msi_file" \
   "$repo/packaging/windows/contardc.wxs" msi/files.wxs) >"$build/msi/wixl.log" 2>&1 ||
  { cat "$build/msi/wixl.log" >&2; die "wixl could not make $msi_file"; }
[ -s "$msi_file" ] || { cat "$build/msi/wixl.log" >&2; die "wixl made no $msi_file"; }
(cd "$build" && sha256sum "$(basename "$zip_file")" "$(basename "$msi_file")") > "$sums_file"
msi_seconds=$((SECONDS - msi_started))

folder_kib="$(du -sk "$out" | cut -f1)"
zip_kib="$(( ($(stat -c %s "$zip_file") + 1023) / 1024 ))"
msi_kib="$(( ($(stat -c %s "$msi_file") + 1023) / 1024 ))"
qt_seconds_cached="$(sed -n 's/^qt-build-seconds //p' "$qt_prefix/contardc-qt.times" 2>/dev/null || true)"
{
  printf 'qt-build-seconds %s\n' "${qt_seconds_cached:-unknown}"
  printf 'program-build-seconds %d\n' "$prog_seconds"
  printf 'folder-kib %d\n' "$folder_kib"
  printf 'zip-kib %d\n' "$zip_kib"
  printf 'msi-kib %d\n' "$msi_kib"
  printf 'msi-seconds %d\n' "$msi_seconds"
} > "$build/build-figures.txt"
say "contardc.exe built in $(elapsed "$prog_seconds"); Qt ${qt_seconds_cached:+took $(elapsed "$qt_seconds_cached") when it was built}"
say "Folder: $out ($((folder_kib / 1024)) MiB), zip: $zip_file ($((zip_kib / 1024)) MiB)"
say "MSI: $msi_file ($((msi_kib / 1024)) MiB), sums: $sums_file; MSI in ${msi_seconds}s; whole run $(elapsed "$SECONDS")"

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
Xvfb -displayfd 7 -screen 0 1024x768x24 -nolisten tcp -noreset 7>"$work/display" >/dev/null 2>&1 &
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
