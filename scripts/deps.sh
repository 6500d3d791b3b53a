#!/usr/bin/env bash
# Installs the Debian packages the build, the tool and the tests need, when missing.
# Sourced by run.sh and test.sh. When not root, prints the one line to run and fails.
contardc_packages=(
  cmake g++ make qt6-base-dev fonts-liberation xvfb xauth xdotool
  firebird3.0-server-core firebird3.0-server firebird3.0-utils firebird-dev libfbclient2
)
contardc_install_deps() {
  local extra=("$@") missing=() p
  for p in "${contardc_packages[@]}" "${extra[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages. Run: sudo apt-get install -y --no-install-recommends ${missing[*]}" >&2
    return 1
  fi
  echo "Installing: ${missing[*]}" >&2
  export DEBIAN_FRONTEND=noninteractive
  # The server package would start a system service; the tests start their own.
  apt-get update -qq >/dev/null && apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}
# clang with libFuzzer and its sanitizer runtimes, for tests/fuzz/run_fuzzers.sh.
contardc_install_fuzz_deps() {
  local missing=() p
  for p in clang libclang-rt-14-dev; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages. Run: sudo apt-get install -y --no-install-recommends ${missing[*]}" >&2
    return 1
  fi
  echo "Installing: ${missing[*]}" >&2
  DEBIAN_FRONTEND=noninteractive apt-get update -qq >/dev/null \
    && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}
# The MinGW-w64 cross-compiler and Wine, for tests/win/run_under_wine.sh (the
# Windows build of config/ and posting/ and its console tests). Only the
# 64-bit Wine is needed: the tests are 64-bit programs.
contardc_windows_packages=(g++-mingw-w64-x86-64 wine64 wine)
contardc_install_windows_deps() {
  local missing=() p
  for p in "${contardc_windows_packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q 'install ok installed' || missing+=("$p")
  done
  [ ${#missing[@]} -eq 0 ] && return 0
  if [ "$(id -u)" -ne 0 ]; then
    echo "Missing packages. Run: sudo apt-get install -y --no-install-recommends ${missing[*]}" >&2
    return 1
  fi
  echo "Installing: ${missing[*]}" >&2
  DEBIAN_FRONTEND=noninteractive apt-get update -qq >/dev/null \
    && DEBIAN_FRONTEND=noninteractive apt-get install -y -qq --no-install-recommends "${missing[@]}" >/dev/null
}
