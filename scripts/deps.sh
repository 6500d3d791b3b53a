#!/usr/bin/env bash
# Installs the Debian packages the build, the tool and the tests need, when missing.
# Sourced by run.sh, test.sh and the scripts of tests/ and bench/. Only root
# installs; for anyone else (or with CONTARDC_NO_INSTALL set) a missing
# package is a failure with one line that names the command to run.
#
# Firebird: the server package for /usr/sbin/firebird, the server that the
# tests start on ports of their own (tests/posting/fbserver_start.sh); the
# engine itself, embedded use included, is in -server-core; isql-fb, gfix and
# fbsvcmgr in -utils. xvfb, xauth, openbox and xdotool: the window's tests
# under a real X server with a window manager.
contardc_packages=(
  cmake g++ make qt6-base-dev fonts-liberation xvfb xauth openbox xdotool imagemagick
  firebird3.0-server-core firebird3.0-server firebird3.0-utils firebird-dev libfbclient2
)
# clang with libFuzzer and its sanitizer runtimes, for tests/fuzz/run_fuzzers.sh.
contardc_fuzz_packages=(clang libclang-rt-14-dev)
# The MinGW-w64 cross-compiler and Wine, for tests/win/run_under_wine.sh (the
# Windows build of config/ and posting/ and its console tests). Only the
# 64-bit Wine is needed: the tests are 64-bit programs.
contardc_windows_packages=(g++-mingw-w64-x86-64 wine64 wine)

# The packages of the list that are not installed, one a line.
contardc_missing_packages() {
  local p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || echo "$p"
  done
}

# Installing firebird3.0-server would start its system service (port 3050)
# on the spot; the tests never use it. So that nothing starts, a policy-rc.d
# that refuses every start (exit 101, which invoke-rc.d and
# deb-systemd-invoke obey) stands while apt-get runs, and is removed
# afterwards. One the machine already has (a container's, say) is left as it
# is. Where the machine boots with systemd the service is still enabled, and
# starts at the next boot.
contardc_policy_rc=/usr/sbin/policy-rc.d
contardc_apt_install() {
  local status=0
  if [ -e "$contardc_policy_rc" ]; then
    DEBIAN_FRONTEND=noninteractive apt-get update -qq >/dev/null &&
      DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$@" >/dev/null
    return
  fi
  (
    # Also when apt-get is interrupted: left behind, it would keep every
    # service of the machine from starting.
    trap 'rm -f "$contardc_policy_rc"' EXIT
    printf '#!/bin/sh\n# scripts/deps.sh of contardc: no service starts while it installs packages.\nexit 101\n' \
      > "$contardc_policy_rc"
    chmod 755 "$contardc_policy_rc"
    DEBIAN_FRONTEND=noninteractive apt-get update -qq >/dev/null &&
      DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "$@" >/dev/null
  ) || status=$?
  return "$status"
}

# contardc_try_install PACKAGE...: installs those of the packages that are
# missing. Returns 0 when all are installed; otherwise 1, and
# contardc_install_problem says in one line what is missing and how to
# install it.
contardc_install_problem=
contardc_try_install() {
  local missing=()
  mapfile -t missing < <(contardc_missing_packages "$@")
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ] || [ -n "${CONTARDC_NO_INSTALL:-}" ]; then
    contardc_install_problem="${missing[*]} not installed (run: sudo apt-get install -y --no-install-recommends ${missing[*]})"
    return 1
  fi
  echo "Installing: ${missing[*]}" >&2
  contardc_apt_install "${missing[@]}" || true
  mapfile -t missing < <(contardc_missing_packages "$@")
  [ ${#missing[@]} -eq 0 ] && return 0
  contardc_install_problem="${missing[*]} could not be installed (apt-get install -y --no-install-recommends ${missing[*]} failed)"
  return 1
}

# contardc_install_packages PACKAGE...: the same, and the problem printed as
# one line on standard error.
contardc_install_packages() {
  contardc_try_install "$@" && return 0
  echo "Missing packages: $contardc_install_problem" >&2
  return 1
}
contardc_install_deps() { contardc_install_packages "${contardc_packages[@]}" "$@"; }
contardc_install_fuzz_deps() { contardc_install_packages "${contardc_fuzz_packages[@]}"; }
contardc_install_windows_deps() { contardc_install_packages "${contardc_windows_packages[@]}"; }
# Qt for Windows from Debian's qt6-base source, the Windows build of the whole
# program (binutils-mingw-w64-x86-64 with windres and windmc, which compile the
# program's resources and its event log message table) and its check under Wine
# on a virtual display (scripts/build-windows.sh),
# and its tests there (tests/win/program_under_wine.sh: xwininfo and xprop from
# x11-utils, Wine's own Windows fonts from fonts-wine, faces Wine draws whole from
# fonts-liberation2 and fonts-urw-base35 (tests/win/wine_desktop.sh), localedef from
# locales for a Cyrillic code page).
contardc_windows_qt_packages=(
  cmake ninja-build qt6-base-dev firebird-dev dpkg-dev zip unzip xz-utils
  gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
  wine wine64 xvfb xauth openbox xdotool imagemagick x11-utils fonts-wine fonts-liberation2 fonts-urw-base35 locales
)
contardc_install_windows_qt_deps() { contardc_install_packages "${contardc_windows_qt_packages[@]}"; }

# The MinGW-w64 compiler (POSIX threads) and what build-fbclient-windows.sh
# takes from the build machine: gpre and isql-fb (firebird3.0-utils) with the
# embedded engine for the empty database gpre reads, the client's interface
# header (firebird-dev), the ICU headers, and dpkg-source with patch to unpack
# Debian's source packages.
contardc_fbclient_windows_packages=(
  g++-mingw-w64-x86-64-posix gcc-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 make gcc patch dpkg-dev
  firebird-dev firebird3.0-utils firebird3.0-server-core libicu-dev
)
contardc_install_fbclient_windows_deps() { contardc_install_packages "${contardc_fbclient_windows_packages[@]}"; }

# What tests/ui/accessibility_test.sh reads the window with: the desktop's
# accessibility bus and its registry (at-spi2-core), the D-Bus session bus
# they run on (dbus-daemon, with dbus-run-session), and the AT-SPI client
# library for Debian's Python (gir1.2-atspi-2.0, python3-gi). Xvfb, openbox,
# xdotool and isql-fb come with the main list.
contardc_accessibility_packages=(at-spi2-core dbus-daemon gir1.2-atspi-2.0 python3-gi)

# The MSI (scripts/build-windows.sh): wixl makes it, msiinfo (msitools) reads
# its tables back in the tests.
contardc_msi_packages=(wixl msitools)

# The .deb (scripts/build-deb.sh): dpkg-deb and dpkg-shlibdeps (dpkg-dev)
# build it, lintian checks it; the installed menu entry, manual page and
# systemd examples are checked with desktop-file-validate (desktop-file-utils),
# man (man-db) and systemd-analyze (systemd).
contardc_deb_packages=(dpkg-dev lintian desktop-file-utils man-db systemd)
# Its test (tests/deb/deb_package_test.sh) besides: the demo company made with
# isql-fb (firebird3.0-utils); the installed window opened on Xvfb (xvfb,
# xauth) under openbox, seen taking the screen with xprop (x11-utils), found
# and typed into with xdotool; the screen taken with ImageMagick's import on a
# failure.
contardc_deb_test_packages=(
  "${contardc_deb_packages[@]}" firebird3.0-utils xvfb xauth openbox xdotool x11-utils imagemagick
)

# The metrics file's test (tests/app/metrics_promtool.sh): promtool, the
# exposition format's own checker, comes with Debian's prometheus package
# (whose service deps.sh keeps from starting while it installs).
contardc_metrics_packages=(prometheus)

# The real window's test (tests/ui/real_window_test.sh): Xvfb, openbox
# (seen taking the screen with xprop, of x11-utils), xdotool for the keys,
# ImageMagick's import for the screen on a failure, a Firebird server of the
# test's own and isql-fb for the demo company and the server's monitoring.
contardc_real_window_packages=(
  xvfb xauth openbox xdotool x11-utils imagemagick firebird3.0-server firebird3.0-utils
)
