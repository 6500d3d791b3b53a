#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test through CTest: the
# tests start what they need themselves (a Firebird server on a port of their
# own, a Wine prefix, the fuzzers). The suite runs twice: a normal build, then
# one under AddressSanitizer and UndefinedBehaviorSanitizer
# (CONTARDC_SANITIZE_PASS=0 skips that second pass).
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/scripts/deps.sh"
contardc_install_deps
contardc_install_fuzz_deps
contardc_install_windows_deps
jobs="$(nproc)"
unset DISPLAY WAYLAND_DISPLAY
export QT_QPA_PLATFORM=offscreen

echo "== build and tests" >&2
cmake -S "$here" -B "$here/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCONTARDC_WERROR=ON >/dev/null
cmake --build "$here/build" --parallel "$jobs"
(cd "$here/build" && ctest --output-on-failure --timeout 900 "$@")

if [ "${CONTARDC_SANITIZE_PASS:-1}" != 0 ]; then
  echo "== build and tests under AddressSanitizer and UndefinedBehaviorSanitizer" >&2
  cmake -S "$here" -B "$here/build-asan" -DCMAKE_BUILD_TYPE=Debug -DCONTARDC_WERROR=ON -DCONTARDC_SANITIZE=ON >/dev/null
  cmake --build "$here/build-asan" --parallel "$jobs"
  # Qt and fontconfig keep caches for the life of the process; leaks are not what this pass looks for.
  # The fuzzers and the Windows build have run in the first pass.
  (cd "$here/build-asan" && ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
     ctest --output-on-failure --timeout 900 -E '^(fuzz_short|wine_tests)$' "$@")
fi
