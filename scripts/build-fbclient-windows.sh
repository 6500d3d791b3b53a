#!/usr/bin/env bash
# Builds a 64-bit Windows fbclient.dll (remote access only: TCP/IP, named
# pipes and local XNET) from Debian's firebird3.0 source with Debian's
# MinGW-w64, and prints its path as the last line of standard output.
#
#   scripts/build-fbclient-windows.sh [work folder]
#
# The library is the client part of the Windows build (the yvalve, common and
# remote projects) with the Srp, Legacy_Auth and Win_Sspi authentication
# clients and Arc4 wire encryption inside it, so it needs no plugin DLL and
# no firebird.conf; it links libtommath and the C++ runtime statically and
# needs only system DLLs. No zlib (no wire compression); ICU is loaded only
# when a character set needs it.
#
# The result is cached beside the other Windows builds, under
#   ${XDG_CACHE_HOME:-$HOME/.cache}/contardc/fbclient-3.0.11-mingw64-<key>/fbclient.dll
# keyed on the source packages, this script and its support files, and the
# compiler, with the licence texts of the two sources beside it
# (firebird3.0.copyright, libtommath.copyright, as Debian gives them) and
# their versions (sources). It is written only after a complete build; a
# second run with the same key prints the cached path at once, and entries of
# other keys are removed. One build at a time per cache. The work folder (default: a fresh
# one under /tmp) is removed after a good build and kept after a failed one.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
support="$here/fbclient-windows"

# The source packages, pinned: a different source is a different library.
# Debian's archive keeps only the current version of a release; when it moves
# on, set these to the new version and the sha256 of its .dsc.
fb_version="${CONTARDC_FB_SOURCE_VERSION:-3.0.11.33637.ds4-2+deb12u1}"
fb_dsc_sha256="${CONTARDC_FB_SOURCE_DSC_SHA256:-dfda1d292f57c3145959235b6cf58453590b3a536d1a70b3a2052c3e401ad47f}"
tm_version="${CONTARDC_TOMMATH_SOURCE_VERSION:-1.2.0-6+deb12u1}"
tm_dsc_sha256="${CONTARDC_TOMMATH_SOURCE_DSC_SHA256:-d2220e395dc98c08f1413e71a90cc7f40f3094d3a796c8f84477bb21dc7ee261}"

log() { echo "== $*" >&2; }
die() {
  echo "build-fbclient-windows: $*" >&2
  exit 1
}

# shellcheck source=deps.sh
source "$here/deps.sh"
# shellcheck source=debian_source.sh
source "$here/debian_source.sh"
contardc_install_fbclient_windows_deps || die "the packages above are needed"

cxx=x86_64-w64-mingw32-g++-posix
cc=x86_64-w64-mingw32-gcc-posix
command -v "$cxx" >/dev/null || die "$cxx missing (Debian package g++-mingw-w64-x86-64-posix)"

# The interface header, gpre and the ICU headers come from installed
# packages; they take part in the key, and the first two must be of the
# source's own Firebird version.
installed() { dpkg-query -W -f='${Version}' "$1" 2>/dev/null; }
fb_upstream="${fb_version%%.ds*}"
for p in firebird-dev firebird3.0-utils; do
  case "$(installed "$p")" in
  "$fb_upstream"*) ;;
  *) die "$p $(installed "$p") is not Firebird $fb_upstream, the source's version" ;;
  esac
done

key="$({
  echo "firebird3.0 $fb_version $fb_dsc_sha256"
  echo "libtommath $tm_version $tm_dsc_sha256"
  for p in firebird-dev firebird3.0-utils libicu-dev; do echo "$p $(installed "$p")"; done
  "$cxx" --version | head -n1
  "$cxx" -dumpmachine
  sha256sum <"$here/build-fbclient-windows.sh"
  (cd "$support" && find . -type f | LC_ALL=C sort | xargs sha256sum)
} | sha256sum | cut -c1-16)"
cache_root="${XDG_CACHE_HOME:-$HOME/.cache}/contardc"
cache="$cache_root/fbclient-${fb_upstream%.*}-mingw64-$key"
mkdir -p "$cache_root"
exec 9>"$cache_root/fbclient.lock"
flock 9
prune() { # entries of other keys
  local old
  for old in "$cache_root"/fbclient-*-mingw64-*; do
    [ -e "$old" ] && [ "$old" != "$cache" ] && rm -rf "$old"
  done
  return 0
}
if [ -f "$cache/fbclient.dll" ] && [ -f "$cache/sources" ]; then
  prune
  log "cached: $cache/fbclient.dll"
  echo "$cache/fbclient.dll"
  exit 0
fi

work="${1:-}"
if [ -z "$work" ]; then
  work="$(mktemp -d "${TMPDIR:-/tmp}/contardc-fbclient.XXXXXX")"
else
  mkdir -p "$work"
  work="$(cd "$work" && pwd)"
fi
log "building in $work"
started=$SECONDS
# Objects of an earlier attempt would look newer than the sources fetched
# again below: every build starts clean.
rm -rf "$work/out" "$work/gen" "$work/include-wrap" "$work/icu"

# Sources, Debian's patches applied. A folder left by an earlier attempt is
# fetched again: a half-patched tree must not be built.
fetch() { # PACKAGE VERSION DSC_SHA256 FOLDER
  rm -rf "$work/$4"
  local tree
  tree="$(contardc_fetch_debian_source "$1" "$2" "$work/$4")" && [ -n "$tree" ] || die "could not fetch the $1 $2 source"
  local dsc
  dsc="$(find "$work/$4" -maxdepth 1 -name "${1}_*.dsc" | head -n1)"
  [ "$(sha256sum "$dsc" | cut -d' ' -f1)" = "$3" ] || die "$dsc: not the pinned source (sha256 differs)"
  echo "$tree"
}
log "fetching the sources"
fb="$(fetch firebird3.0 "$fb_version" "$fb_dsc_sha256" src-firebird)"
tm="$(fetch libtommath "$tm_version" "$tm_dsc_sha256" src-tommath)"

# Debian's server start-up patch signals fbguard from code that the client
# compiles too.
patch -d "$fb" -p1 -s <"$support/inet-startup-signal-posix-only.patch"

run() { nice -n 19 "$@"; }

# include/gen/autoconfig.h: the MSVC one, told about MinGW's x86-64 and the
# missing zlib, without MSVC's pragmas.
sed -e '/^#pragma warning/d' \
    -e 's/^#elif defined(_M_AMD64)$/#elif defined(_M_AMD64) || defined(__x86_64__)/' \
    -e 's/^#define HAVE_ZLIB_H$/#undef HAVE_ZLIB_H/' \
    "$fb/src/include/gen/autoconfig_msvc.h" >"$fb/src/include/gen/autoconfig.h"
grep -q '__x86_64__' "$fb/src/include/gen/autoconfig.h" || die "autoconfig_msvc.h: its target section has changed"

# include/firebird/IdlFbInterfaces.h: generated by cloop in a full build;
# firebird-dev ships the same version's.
cp /usr/include/firebird/IdlFbInterfaces.h "$fb/src/include/firebird/"

# include/gen/parse.h (keyword codes) with the bundled btyacc, built for this
# machine, as Firebird's own build does.
log "parser header"
run make -s -C "$fb/extern/btyacc" CC=gcc >/dev/null
gen="$work/gen"
mkdir -p "$gen"
sed -n '/%type .*/p' <"$fb/src/dsql/parse.y" >"$gen/types.y"
sed 's/%type .*//' <"$fb/src/dsql/parse.y" >"$gen/y.y"
(cd "$gen" && run "$fb/extern/btyacc/btyacc" -l -d -S "$fb/src/dsql/btyacc_fb.ske" y.y)
cp "$gen/y_tab.h" "$fb/src/include/gen/parse.h"

# gen/yvalve/{array,blob}.cpp from their embedded-SQL sources with Debian's
# gpre, which wants the (empty) database the sources name.
log "preprocessing array.epp and blob.epp"
mkdir -p "$gen/lock" "$fb/gen/yvalve"
echo "create database '$gen/yachts.lnk';" | FIREBIRD_LOCK="$gen/lock" isql-fb -q -b
for f in array blob; do
  (cd "$gen" && FIREBIRD_LOCK="$gen/lock" run gpre -n -m -z "$fb/src/yvalve/$f.epp" "$fb/gen/yvalve/$f.cpp" >/dev/null)
  [ -s "$fb/gen/yvalve/$f.cpp" ] || die "gpre made no $f.cpp"
done

# Firebird's Windows sources name system headers in mixed case; MinGW's are
# lower case.
wrap="$work/include-wrap"
mkdir -p "$wrap"
for h in Windows WinSock2 Winsock2 Ws2tcpip Wspiapi Security; do
  lower="$(echo "$h" | tr '[:upper:]' '[:lower:]')"
  printf '#include <%s.h>\n' "$lower" >"$wrap/$h.h"
done

# ICU: the headers only (the client loads ICU's libraries at run time when a
# character set needs them), without the rest of the build machine's
# /usr/include.
mkdir -p "$work/icu"
cp -r /usr/include/unicode "$work/icu/"

log "libtommath"
run make -s -C "$tm" -f makefile.mingw CC="$cc" AR=x86_64-w64-mingw32-ar RANLIB=x86_64-w64-mingw32-ranlib \
  CFLAGS="-O2" libtommath.a >/dev/null

log "fbclient.dll"
build_started=$SECONDS
run make -s -f "$support/Makefile" -j2 FB="$fb" TOMMATH="$tm" ICU="$work/icu" WRAP="$wrap" OUT="$work/out"
log "compiled and linked in $((SECONDS - build_started)) s ($((SECONDS - started)) s in all)"

dll="$work/out/fbclient.dll"
[ -s "$dll" ] || die "no fbclient.dll was made"
rm -rf "$cache.partial"
mkdir -p "$cache.partial"
cp "$dll" "$cache.partial/fbclient.dll"
cp "$fb/debian/copyright" "$cache.partial/firebird3.0.copyright"
cp "$tm/debian/copyright" "$cache.partial/libtommath.copyright"
printf 'firebird3.0 %s\nlibtommath %s\n' "$fb_version" "$tm_version" >"$cache.partial/sources"
rm -rf "$cache"
mv "$cache.partial" "$cache"
prune
if [ -z "${1:-}" ]; then
  rm -rf "$work"
fi
log "$(stat -c %s "$cache/fbclient.dll") bytes: $cache/fbclient.dll"
echo "$cache/fbclient.dll"
