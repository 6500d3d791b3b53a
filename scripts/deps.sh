#!/usr/bin/env bash
# Installs the Debian packages the build, the tool and the tests need, when missing.
# Sourced by run.sh, test.sh and the scripts of tests/ and bench/. When not root,
# prints the one line to run and fails.
contardc_packages=(
  cmake g++ make qt6-base-dev fonts-liberation xvfb xauth xdotool imagemagick
  firebird3.0-server-core firebird3.0-server firebird3.0-utils firebird-dev libfbclient2
)
# clang with libFuzzer and its sanitizer runtimes, for tests/fuzz/run_fuzzers.sh.
contardc_fuzz_packages=(clang libclang-rt-14-dev)
# The MinGW-w64 cross-compiler and Wine, for tests/win/run_under_wine.sh (the
# Windows build of config/ and posting/ and its console tests). Only the
# 64-bit Wine is needed: the tests are 64-bit programs.
contardc_windows_packages=(g++-mingw-w64-x86-64 wine64 wine)

contardc_install_packages() {
  local missing=() p
  for p in "$@"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages. Run: sudo apt-get install -y --no-install-recommends ${missing[*]}" >&2
    return 1
  fi
  echo "Installing: ${missing[*]}" >&2
  # policy-rc.d keeps the server package from starting a system service where
  # the machine has one; the tests start servers of their own.
  DEBIAN_FRONTEND=noninteractive apt-get update -qq >/dev/null \
    && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}
contardc_install_deps() { contardc_install_packages "${contardc_packages[@]}" "$@"; }
contardc_install_fuzz_deps() { contardc_install_packages "${contardc_fuzz_packages[@]}"; }
contardc_install_windows_deps() { contardc_install_packages "${contardc_windows_packages[@]}"; }
# Qt for Windows from Debian's qt6-base source, the Windows build of the whole
# program and its check under Wine on a virtual display (scripts/build-windows.sh).
contardc_windows_qt_packages=(
  cmake ninja-build qt6-base-dev firebird-dev dpkg-dev zip xz-utils
  gcc-mingw-w64-x86-64-posix g++-mingw-w64-x86-64-posix binutils-mingw-w64-x86-64 mingw-w64-x86-64-dev
  wine wine64 xvfb xauth openbox xdotool imagemagick
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
