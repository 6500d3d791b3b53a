#!/usr/bin/env bash
# The .deb as an administrator gets it: built by scripts/build-deb.sh,
# checked by lintian, installed with apt-get (Debian's own packages for its
# dependencies), run from where it installed, and removed again.
#
# Checks: no lintian error; the program on PATH prints the version; the
# package holds the program, the window module in the library folder (and
# not beside the program), the manual page (man finds it and renders it
# without a warning), the menu entry (desktop-file-validate) and the icon;
# the systemd examples pass systemd-analyze; an unattended run of the demo
# company without a display posts every receipt and prints the rows; the
# window opens on an X display under a window manager and Esc ends it with
# exit code 0, with the module mapped from the library folder; remove and
# purge leave none of the files the package brought.
#
# Needs root (apt-get, dpkg). Exit 77 (skipped): not root, no apt-get or
# dpkg, or a contardc package already on the machine (it is never touched).
# A package of contardc_packages or contardc_deb_test_packages (scripts/deps.sh)
# that cannot be installed fails it. The package this test installs is
# purged on every way out.
set -uo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
skip() { echo "SKIPPED deb_package: $*"; exit 77; }

[ "$(id -u)" -eq 0 ] || skip "installing a package needs root"
for tool in apt-get dpkg dpkg-query dpkg-deb; do
  command -v "$tool" >/dev/null || skip "$tool is missing"
done
state="$(dpkg-query -W -f='${db:Status-Status}' contardc 2>/dev/null || true)"
[ -z "$state" ] || [ "$state" = not-installed ] ||
  skip "a contardc package is already on this machine (dpkg state: $state); it is left alone"

source "$here/scripts/deps.sh"
source "$here/scripts/version.sh"
source "$here/tests/desktop.sh"
source "$here/tests/demo_company.sh"
# As root, what is missing is installed: a package that cannot be is a
# machine that cannot run the test, not a case to leave out.
contardc_try_install "${contardc_packages[@]}" "${contardc_deb_test_packages[@]}" ||
  { echo "FAIL: $contardc_install_problem"; exit 1; }
version="$(contardc_version)"
arch="$(dpkg --print-architecture)"
multiarch="$(dpkg-architecture -qDEB_HOST_MULTIARCH)"

work="$(mktemp -d)"
pids=()
installed=
cleanup() {
  local p
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  desktop_stop
  wait 2>/dev/null
  if [ -n "$installed" ]; then
    state="$(dpkg-query -W -f='${db:Status-Status}' contardc 2>/dev/null || true)"
    if [ -n "$state" ] && [ "$state" != not-installed ]; then
      DEBIAN_FRONTEND=noninteractive apt-get purge -y -qq -o DPkg::Lock::Timeout=600 contardc >/dev/null 2>&1 ||
        dpkg --purge contardc >/dev/null 2>&1
    fi
  fi
  rm -rf "$work"
}
trap cleanup EXIT
fail() {
  echo "FAIL: $*"
  if [ -n "${DISPLAY:-}" ] && import -window root "$work/screen.png" 2>/dev/null; then
    cp "$work/screen.png" "${TMPDIR:-/tmp}/deb_package_failure.png" && echo "screen: ${TMPDIR:-/tmp}/deb_package_failure.png"
  fi
  exit 1
}
run_as_installed() { without_display env PATH=/usr/bin:/bin "$@"; }

# --- The package and its checksum file.
"$here/scripts/build-deb.sh" >"$work/build.log" 2>&1 || fail "scripts/build-deb.sh: $(tail -n 20 "$work/build.log")"
deb="$(tail -n 1 "$work/build.log")"
[ "$deb" = "$here/build-deb/contardc_${version}_${arch}.deb" ] || fail "build-deb.sh's last line is \"$deb\""
[ -f "$deb" ] || fail "no $deb"
(cd "$here/build-deb" && sha256sum --quiet -c "contardc-${version}-deb-SHA256SUMS") ||
  fail "contardc-${version}-deb-SHA256SUMS does not match the package"

# lintian's exit status: 0 checked, no error; 2 an error found (--fail-on);
# anything else, lintian itself failed, and then nothing was checked.
lintian_status=0
lintian --fail-on error --info --display-info "$deb" >"$work/lintian.log" 2>&1 || lintian_status=$?
cat "$work/lintian.log"
case "$lintian_status" in
  0) ! grep -q '^E:' "$work/lintian.log" || fail "lintian reports errors and exit status 0" ;;
  2) fail "lintian reports errors" ;;
  *) fail "lintian did not run through (exit $lintian_status)" ;;
esac

# Which of the package's paths the machine has before: those may stay after
# the purge (/usr/bin, /usr/share/man/man1, ...), no other may.
dpkg-deb --fsys-tarfile "$deb" | tar -t | sed -e 's|^\./|/|' -e 's|/$||' -e '/^$/d' >"$work/content"
: >"$work/existed"
while IFS= read -r path; do
  [ -e "$path" ] && echo "$path" >>"$work/existed"
done <"$work/content"

# --- Install, as an administrator does.
installed=1
(cd "$(dirname "$deb")" &&
  DEBIAN_FRONTEND=noninteractive apt-get install -y -o DPkg::Lock::Timeout=600 "./$(basename "$deb")") \
  >"$work/install.log" 2>&1 || fail "apt-get install: $(tail -n 20 "$work/install.log")"
dpkg -L contardc >"$work/listed" || fail "dpkg -L contardc"

[ "$(run_as_installed sh -c 'command -v contardc')" = /usr/bin/contardc ] || fail "contardc on PATH is not /usr/bin/contardc"
got="$(run_as_installed contardc --version)" || fail "contardc --version: exit $?"
[ "$got" = "contardc $version" ] || fail "contardc --version printed \"$got\", not \"contardc $version\""

module="/usr/lib/$multiarch/contardc/libcontardc_window.so"
for path in /usr/bin/contardc "$module" /usr/share/man/man1/contardc.1.gz /usr/share/applications/contardc.desktop \
            /usr/share/icons/hicolor/48x48/apps/contardc.png /usr/share/doc/contardc/copyright \
            /usr/share/doc/contardc/examples/contardc.service /usr/share/doc/contardc/examples/contardc.timer; do
  grep -qxF "$path" "$work/listed" || fail "dpkg -L contardc lacks $path"
  [ -f "$path" ] || fail "$path is listed but not installed"
done
grep -q '^/usr/bin/.*\.so' "$work/listed" && fail "a library beside the program: $(grep '^/usr/bin/.*\.so' "$work/listed")"

[ "$(man -w contardc 2>&1)" = /usr/share/man/man1/contardc.1.gz ] || fail "man -w contardc: $(man -w contardc 2>&1)"
warnings="$(LC_ALL=C.UTF-8 MANWIDTH=80 man --warnings -E UTF-8 -l /usr/share/man/man1/contardc.1.gz 2>&1 >/dev/null)"
[ -z "$warnings" ] || fail "the manual page renders with warnings: $warnings"
problems="$(desktop-file-validate /usr/share/applications/contardc.desktop 2>&1)" ||
  fail "desktop-file-validate: $problems"
[ -z "$problems" ] || fail "desktop-file-validate: $problems"
# With the program and the manual page installed, the examples name both.
problems="$(systemd-analyze verify /usr/share/doc/contardc/examples/contardc.service \
            /usr/share/doc/contardc/examples/contardc.timer 2>&1)" || fail "systemd-analyze verify: $problems"
[ -z "$problems" ] || fail "systemd-analyze verify: $problems"

# --- The demo company, every point of sale with its accounts, so that one
# run posts every receipt of today.
export FIREBIRD_LOCK="$work/lock"
mkdir -p -m 700 "$FIREBIRD_LOCK"
demo_company "$work/demo" 2>"$work/demo.log" || fail "the demo company: $(cat "$work/demo.log")"
before="$(unposted)" || fail "the demo's receipts"
[ "$before" -gt 0 ] || fail "the demo has no receipts to post"

# --- Unattended, as the systemd example runs it: no display, the password
# on standard input, a deadline and a run log of its own.
printf 'tallowbin\n' >"$work/password"
run_as_installed contardc "$work/demo" SYSDBA - 01 N --timeout 600 --log "$work/run.log" \
  <"$work/password" >"$work/out" 2>"$work/err"
code=$?
[ "$code" = 0 ] || fail "unattended run: exit $code: $(cat "$work/err")"
[ ! -s "$work/err" ] || fail "unattended run wrote on standard error: $(cat "$work/err")"
left="$(unposted)" || fail "the receipts left after the unattended run"
[ "$left" = 0 ] || fail "unattended run left $left of $before receipts unposted"
[ "$(head -n 1 "$work/out")" = "PREF  NUMERO  ESTADO" ] || fail "unattended run's report: $(cat "$work/out")"
rows="$(tail -n +2 "$work/out" | grep -c ' CONTABILIZADO$')"
[ "$rows" = "$before" ] && [ "$(wc -l <"$work/out")" = $((before + 1)) ] ||
  fail "$before receipts posted, but the report has: $(cat "$work/out")"
[ "$(wc -l <"$work/run.log")" = 1 ] && grep -qP "\t$work/demo\t01\tplain\t$before CONTABILIZADO\t0\t" "$work/run.log" ||
  fail "the run log: $(cat "$work/run.log" 2>/dev/null)"

# --- The window, on an X display of its own under a window manager.
desktop_start_display "$work/x" 2>"$work/x.log" || fail "the X display: $(cat "$work/x.log")"
desktop_start_wm "$work/x" 2>"$work/x.log" || fail "the window manager: $(cat "$work/x.log")"
env PATH=/usr/bin:/bin contardc >"$work/window.log" 2>&1 &
app=$!
pids+=("$app")
win=""
for _ in $(seq 1 150); do
  # xdotool's search gives up on an X error while other windows come and go: ask again.
  win="$(xdotool search --onlyvisible --pid "$app" --name '^Contabilizar recibos$' 2>/dev/null | head -n 1)"
  [ -n "$win" ] && break
  kill -0 "$app" 2>/dev/null || { wait "$app"; fail "the window program ended (exit $?) before its window appeared: $(cat "$work/window.log")"; }
  sleep 0.2
done
[ -n "$win" ] || fail "the window \"Contabilizar recibos\" did not appear: $(cat "$work/window.log")"
grep -q " $module\$" "/proc/$app/maps" || fail "the window process has not mapped $module"
# The key goes where the keyboard focus is: a key typed before the window
# manager has given the window the focus is lost.
for _ in $(seq 1 50); do [ "$(xdotool getwindowfocus 2>/dev/null)" = "$win" ] && break; sleep 0.1; done
[ "$(xdotool getwindowfocus 2>/dev/null)" = "$win" ] || fail "the window did not get the keyboard focus"
xdotool key Escape
for _ in $(seq 1 300); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
kill -0 "$app" 2>/dev/null && fail "Esc did not end the window program"
wait "$app"
code=$?
[ "$code" = 0 ] || fail "the window program ended with exit $code after Esc: $(cat "$work/window.log")"
desktop_stop
unset DISPLAY

# --- Remove, then purge: nothing of the package stays.
leftovers() {
  local path
  while IFS= read -r path; do
    [ "$path" = /. ] && continue
    grep -qxF "$path" "$work/existed" && continue
    [ -e "$path" ] || [ -L "$path" ] && echo "$path"
  done <"$work/listed"
}
DEBIAN_FRONTEND=noninteractive apt-get remove -y -o DPkg::Lock::Timeout=600 contardc >"$work/remove.log" 2>&1 ||
  fail "apt-get remove: $(tail -n 20 "$work/remove.log")"
left="$(leftovers)"
[ -z "$left" ] || fail "left after apt-get remove: $left"
# A package without configuration files is purged by its removal already,
# and apt-get no longer knows it then; one that kept any is purged here.
state="$(dpkg-query -W -f='${db:Status-Status}' contardc 2>/dev/null || true)"
if [ -n "$state" ] && [ "$state" != not-installed ]; then
  DEBIAN_FRONTEND=noninteractive apt-get purge -y -o DPkg::Lock::Timeout=600 contardc >"$work/purge.log" 2>&1 ||
    fail "apt-get purge: $(tail -n 20 "$work/purge.log")"
  state="$(dpkg-query -W -f='${db:Status-Status}' contardc 2>/dev/null || true)"
fi
[ -z "$state" ] || [ "$state" = not-installed ] || fail "after the purge dpkg still knows contardc ($state)"
left="$(leftovers)"
[ -z "$left" ] || fail "left after apt-get purge: $left"
installed=

echo "deb_package: contardc_${version}_${arch}.deb lintian without errors; installed with apt-get: --version, files, man page, menu entry, systemd examples; $before receipts posted unattended; window opened and closed with Esc from $module; removed and purged without leftovers"
