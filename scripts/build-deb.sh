#!/usr/bin/env bash
# Builds the Debian package of contardc:
#   build-deb/contardc_<version>_<arch>.deb
#   build-deb/contardc-<version>-deb-SHA256SUMS   (sha256sum -c, relative names)
# and prints the .deb's path on its last line.
#
# build-deb/ is the package's own build folder (Release, prefix /usr, the
# window module's folder compiled in as the package installs it): only the
# program and its window module are built, installed with `cmake --install`
# into build-deb/root, and packed with dpkg-deb and the control file of
# packaging/debian/control.in, its Depends computed by dpkg-shlibdeps.
# Installs what is missing (scripts/deps.sh); runs as root or not: the files
# are owned by root in the package either way (dpkg-deb --root-owner-group).
#
# Reproducible: file times, the archive's times and the compression depend
# only on SOURCE_DATE_EPOCH (by default the time of the last commit), so two
# builds of the same tree give the same bytes.
# Usage: scripts/build-deb.sh
set -euo pipefail
root="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
source "$root/scripts/deps.sh"
source "$root/scripts/version.sh"
contardc_install_deps "${contardc_deb_packages[@]}"

fail() { echo "build-deb.sh: $*" >&2; exit 1; }

version="$(contardc_version)"
arch="$(dpkg --print-architecture)"
multiarch="$(dpkg-architecture -qDEB_HOST_MULTIARCH 2>/dev/null)"
debian="$root/packaging/debian"
out="$root/build-deb"
stage="$out/root"
deb="$out/contardc_${version}_${arch}.deb"
sums="$out/contardc-${version}-deb-SHA256SUMS"

# The package's changelog names the version it ships: a new version in
# CMakeLists.txt needs its entry there first.
changelog_version="$(dpkg-parsechangelog -l "$debian/changelog" -S Version)"
[ "$changelog_version" = "$version" ] ||
  fail "packaging/debian/changelog's latest entry is $changelog_version, but the version is $version (CMakeLists.txt): add an entry for $version"

if [ -z "${SOURCE_DATE_EPOCH:-}" ]; then
  SOURCE_DATE_EPOCH="$(git -C "$root" log -1 --format=%ct 2>/dev/null || true)"
  # Outside a git checkout: the changelog's date.
  [ -n "$SOURCE_DATE_EPOCH" ] || SOURCE_DATE_EPOCH="$(dpkg-parsechangelog -l "$debian/changelog" -S Timestamp)"
fi
export SOURCE_DATE_EPOCH

# Debian's compiler and linker flags, hardening included (stack protector,
# _FORTIFY_SOURCE, read-only relocations bound at start), with the source
# folder mapped to "." so that where the tree lies is not in the binaries.
flags() { (cd "$root" && DEB_BUILD_MAINT_OPTIONS=hardening=+all dpkg-buildflags --get "$1"); }
cxxflags="$(flags CPPFLAGS) $(flags CXXFLAGS)"
ldflags="$(flags LDFLAGS)"

# The program looks for its window module in <libdir>/contardc, relative to
# /usr/bin (cmake/Install.cmake checks that the two agree).
nice cmake -S "$root" -B "$out" -DCMAKE_BUILD_TYPE=Release -DCMAKE_INSTALL_PREFIX=/usr \
  -DCMAKE_INSTALL_LIBDIR="lib/$multiarch" -DCONTARDC_WINDOW_MODULE_DIR="../lib/$multiarch/contardc" \
  -DCMAKE_CXX_FLAGS="$cxxflags" -DCMAKE_EXE_LINKER_FLAGS="$ldflags" \
  -DCMAKE_MODULE_LINKER_FLAGS="$ldflags" -DCMAKE_SHARED_LINKER_FLAGS="$ldflags" >/dev/null
nice cmake --build "$out" --parallel "$(nproc)" --target contardc contardc_window >/dev/null

rm -rf "$stage"
DESTDIR="$stage" cmake --install "$out" >/dev/null
# Stripped as dh_strip does: no symbols beyond the dynamic ones, and no
# compiler notes (.comment, .note).
strip --remove-section=.comment --remove-section=.note "$stage/usr/bin/contardc"
strip --remove-section=.comment --remove-section=.note --strip-unneeded \
  "$stage/usr/lib/$multiarch/contardc/libcontardc_window.so"
[ -x "$stage/usr/bin/contardc" ] || fail "the install left no $stage/usr/bin/contardc"
[ -f "$stage/usr/lib/$multiarch/contardc/libcontardc_window.so" ] ||
  fail "the install left no window module in $stage/usr/lib/$multiarch/contardc"
got="$("$stage/usr/bin/contardc" --version)"
[ "$got" = "contardc $version" ] || fail "the program says \"$got\", not \"contardc $version\""

# What Debian adds: compressed manual page, the copyright file, and the
# changelog under the name of a native package's (the version has no
# Debian revision).
doc="$stage/usr/share/doc/contardc"
gzip -9n "$stage/usr/share/man/man1/contardc.1"
install -m 644 "$debian/copyright" "$doc/copyright"
gzip -9n <"$debian/changelog" >"$doc/changelog.gz"

# Owner-writable, everyone-readable; only the program is executable.
find "$stage" -type d -exec chmod 755 {} +
find "$stage" -type f -exec chmod 644 {} +
chmod 755 "$stage/usr/bin/contardc"

# Depends: the libraries the program and the module link to, as Debian's
# own packages declare them (dpkg-shlibdeps wants a debian/control to run
# beside; the Firebird client is loaded at run time, so it is named in
# control.in).
mkdir -p "$stage/DEBIAN"
shlibs_dir="$out/shlibdeps"
rm -rf "$shlibs_dir" && mkdir -p "$shlibs_dir/debian"
printf 'Source: contardc\n\nPackage: contardc\nArchitecture: any\n' >"$shlibs_dir/debian/control"
shlibs="$(cd "$shlibs_dir" && dpkg-shlibdeps -O -e"$stage/usr/bin/contardc" \
           -e"$stage/usr/lib/$multiarch/contardc/libcontardc_window.so")"
shlibs="${shlibs#shlibs:Depends=}"
[ -n "$shlibs" ] || fail "dpkg-shlibdeps found no libraries"

# Installed-Size as dpkg-gencontrol counts it: KiB per file, rounded up,
# and one for each directory.
installed_size="$(find "$stage" -mindepth 1 -path "$stage/DEBIAN" -prune -o -printf '%y %s\n' |
                  awk '{ n += ($1 == "f") ? int(($2 + 1023) / 1024) : 1 } END { print n }')"

sed -e '/^#/d' -e "s/@VERSION@/$version/" -e "s/@ARCH@/$arch/" -e "s/@INSTALLED_SIZE@/$installed_size/" \
    -e "s/@SHLIBS_DEPENDS@/$shlibs/" "$debian/control.in" >"$stage/DEBIAN/control"
(cd "$stage" && find usr -type f | LC_ALL=C sort | xargs md5sum) >"$stage/DEBIAN/md5sums"
chmod 644 "$stage/DEBIAN/control" "$stage/DEBIAN/md5sums"
find "$stage" -exec touch -h -d "@$SOURCE_DATE_EPOCH" {} +

rm -f "$deb" "$sums"
dpkg-deb --root-owner-group -Zxz --build "$stage" "$deb" >/dev/null
(cd "$out" && sha256sum "$(basename "$deb")" >"$(basename "$sums")")
echo "$deb"
