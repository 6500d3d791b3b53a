#!/usr/bin/env bash
# Installs what is missing, builds, and runs every test through CTest: the
# tests start what they need themselves (Firebird servers on free ports, a
# Wine prefix, the fuzzers). The suite runs twice: a normal build, then one
# under AddressSanitizer and UndefinedBehaviorSanitizer
# (CONTARDC_SANITIZE_PASS=0 skips that second pass). Arguments go to ctest
# (./test.sh -R posting).
#
# Only root can install packages. For anyone else a missing required package
# stops the run with the command that installs it; an optional area whose
# packages are missing (the fuzzers, the Windows code under Wine, the real
# window, the .deb, the metrics file's checker) is reported
# in a SKIPPED line and its tests are left out. The Windows program is built
# and tested under Wine when Qt for Windows of the current inputs is in the
# cache, Qt built first when CONTARDC_WINDOWS=1 (about 42 minutes); otherwise
# one SKIPPED line that says whether it is missing or stale. Ends
# with a summary; the exit status is 0 only when every pass that ran passed.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/scripts/deps.sh"
started=$SECONDS

if ! contardc_try_install "${contardc_packages[@]}"; then
  echo "Cannot build or test: $contardc_install_problem" >&2
  exit 1
fi

# optional_area NAME TESTS PACKAGE...: TESTS (CTest names, "|"-separated) are
# left out when the packages are missing and cannot be installed.
skipped=()
left_out=()
optional_area() {
  local name="$1" tests="$2"
  shift 2
  if ! contardc_try_install "$@"; then
    skipped+=("SKIPPED $name: $contardc_install_problem; left out: ${tests//|/, }")
    echo "${skipped[-1]}" >&2
    left_out+=("$tests")
  fi
}
optional_area fuzzers fuzz_short "${contardc_fuzz_packages[@]}"
optional_area windows wine_tests "${contardc_windows_packages[@]}"
# The program's window on a real X display under a window manager.
optional_area "real window" real_window "${contardc_real_window_packages[@]}"
# The metrics file read by Prometheus's own checker.
optional_area metrics metrics_promtool "${contardc_metrics_packages[@]}"
# The window read through the desktop's accessibility bus.
optional_area accessibility accessibility "${contardc_accessibility_packages[@]}"
# The .deb: built, checked with lintian, installed with apt-get, run and
# removed again (the test itself skips when it is not run as root).
optional_area "debian package" deb_package "${contardc_deb_test_packages[@]}"

# The Windows program itself (build-windows/contardc, tested under Wine by
# windows_program and windows_posting) needs Qt for Windows, built once into
# the cache: about 42 minutes on 2 cores. CONTARDC_WINDOWS=1 builds it when it
# is missing or stale (built from other inputs); otherwise the program is
# built and tested only when Qt of the current inputs is already there, and a
# missing or stale one is one SKIPPED line, never a rebuild by surprise. The
# program and its Firebird client are built here, before the tests, so that
# they take the current source.
windows_program_tests="windows_program|windows_posting|windows_msi"
windows_build=
qt_state=
if [ "${CONTARDC_WINDOWS:-0}" != 1 ] && ! qt_state="$("$here/scripts/build-windows.sh" --qt-status)"; then
  skipped+=("SKIPPED windows program: Qt for Windows $qt_state (CONTARDC_WINDOWS=1 builds it, about 42 minutes); left out: ${windows_program_tests//|/, }")
  echo "${skipped[-1]}" >&2
  left_out+=("$windows_program_tests")
elif ! contardc_try_install "${contardc_windows_qt_packages[@]}" "${contardc_fbclient_windows_packages[@]}"; then
  skipped+=("SKIPPED windows program: $contardc_install_problem; left out: ${windows_program_tests//|/, }")
  echo "${skipped[-1]}" >&2
  left_out+=("$windows_program_tests")
else
  echo "== Windows program (scripts/build-windows.sh)" >&2
  windows_started=$SECONDS
  if "$here/scripts/build-windows.sh" -- -DCONTARDC_WERROR=ON; then
    windows_build="Windows program: built in $(((SECONDS - windows_started) / 60)) min $(((SECONDS - windows_started) % 60)) s"
  else
    windows_build="Windows program: BUILD FAILED"
    left_out+=("$windows_program_tests")
  fi
fi
# Everything that could be installed is: the scripts the tests run only look
# for their tools from here on.
export CONTARDC_NO_INSTALL=1

# The caller's own -E joins the tests a pass leaves out.
ctest_args=()
user_exclude=
while [ $# -gt 0 ]; do
  case "$1" in
    -E | --exclude-regex) user_exclude="${2:-}"; shift 2 || shift ;;
    *) ctest_args+=("$1"); shift ;;
  esac
done
exclude_regex() {
  local IFS='|' names=("${left_out[@]}" "$@")
  local regex=
  [ ${#names[@]} -eq 0 ] || regex="^(${names[*]})\$"
  if [ -n "$user_exclude" ]; then
    regex="${regex:+$regex|}($user_exclude)"
  fi
  echo "$regex"
}

jobs="$(nproc)"
unset DISPLAY WAYLAND_DISPLAY
export QT_QPA_PLATFORM=offscreen

# run_pass NAME BUILD_DIR "CMAKE ARGS" EXCLUDE_REGEX: builds and runs the
# tests; adds a line for the summary to pass_results; returns 1 on a failure.
pass_results=()
run_pass() {
  local name="$1" build="$2" cmake_args="$3" exclude="$4" log status=0 counts failed notrun
  local args=("${ctest_args[@]}")
  [ -z "$exclude" ] || args+=(-E "$exclude")
  log="$build/test-pass.log"
  echo "== $name" >&2
  # shellcheck disable=SC2086
  if ! cmake -S "$here" -B "$build" $cmake_args -DCONTARDC_WERROR=ON >/dev/null ||
     ! cmake --build "$build" --parallel "$jobs"; then
    pass_results+=("$name: BUILD FAILED")
    return 1
  fi
  (cd "$build" && ctest --output-on-failure --timeout 900 "${args[@]}") 2>&1 | tee "$log" || status=$?
  counts="$(grep -E '^[0-9]+% tests passed' "$log" | tail -n 1 || true)"
  failed="$(sed -n '/^The following tests FAILED:/,/^Errors while running CTest/p' "$log" |
            sed -n 's/^[[:space:]]*[0-9]* - \(.*\)$/\1/p' | paste -sd ',' | sed 's/,/, /g')"
  notrun="$(sed -n '/^The following tests did not run:/,/^$/p' "$log" |
            sed -n 's/^[[:space:]]*[0-9]* - \(.*\)$/\1/p' | paste -sd ',' | sed 's/,/, /g')"
  if [ "$status" -eq 0 ]; then
    pass_results+=("$name: passed (${counts:-no test ran})${notrun:+; did not run: $notrun}")
  else
    pass_results+=("$name: FAILED (${counts:-ctest exit $status})${failed:+; failed: $failed}${notrun:+; did not run: $notrun}")
  fi
  [ "$status" -eq 0 ]
}

overall=0
if [ -n "$windows_build" ]; then
  pass_results+=("$windows_build")
  [ "$windows_build" != "Windows program: BUILD FAILED" ] || overall=1
fi
run_pass "build and tests" "$here/build" "-DCMAKE_BUILD_TYPE=RelWithDebInfo" "$(exclude_regex)" || overall=1

if [ "${CONTARDC_SANITIZE_PASS:-1}" != 0 ]; then
  # Qt and fontconfig keep caches for the life of the process; leaks are not
  # what this pass looks for. The fuzzers, the Windows build and the .deb
  # have run in the first pass.
  ASAN_OPTIONS=detect_leaks=0 UBSAN_OPTIONS=print_stacktrace=1 \
    run_pass "build and tests under AddressSanitizer and UndefinedBehaviorSanitizer" "$here/build-asan" \
      "-DCMAKE_BUILD_TYPE=Debug -DCONTARDC_SANITIZE=ON" "$(exclude_regex fuzz_short wine_tests deb_package "$windows_program_tests")" || overall=1
else
  pass_results+=("sanitizer pass: not run (CONTARDC_SANITIZE_PASS=0)")
fi

elapsed=$((SECONDS - started))
{
  echo
  echo "== summary ($((elapsed / 60)) min $((elapsed % 60)) s)"
  printf '%s\n' "${pass_results[@]}"
  [ ${#skipped[@]} -eq 0 ] || printf '%s\n' "${skipped[@]}"
  if [ "$overall" -eq 0 ]; then echo "RESULT: PASSED"; else echo "RESULT: FAILED"; fi
} >&2
exit "$overall"
