#!/usr/bin/env bash
# The window as a screen reader reads it: through the desktop's accessibility
# bus (AT-SPI) on a real X display with a window manager and a D-Bus session
# of the test's own, against the test Firebird server (fixture fbserver). The
# reading itself is accessibility_test.py; this script makes the desktop and
# the company databases it reads them over.
#
# Usage: accessibility_test.sh PROBE   (the window program of the test,
# accessible_window_probe). Exit 77: skipped, because packages are missing
# and only root installs them (test.sh does). Once they are installed, a
# desktop, bus or server that does not work is a failure, not a skip.
set -uo pipefail
probe="$1"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
source "$here/scripts/deps.sh"

missing="$(contardc_missing_packages "${contardc_accessibility_packages[@]}" xvfb openbox xdotool firebird3.0-utils | paste -sd ' ')"
if [ -n "$missing" ]; then
  if [ "$(id -u)" -ne 0 ]; then
    echo "SKIPPED accessibility: $missing not installed (run: sudo apt-get install -y --no-install-recommends $missing)"
    exit 77
  fi
  echo "FAIL: $missing not installed (test.sh installs them)"
  exit 1
fi

work="$(mktemp -d)"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; exit 1; }

[ -s "${CONTARDC_FB_DIR:-}/address" ] || fail "the test server is not running (fixture fbserver, CONTARDC_FB_DIR)"
address="$(cat "$CONTARDC_FB_DIR/address")"

# A display of its own with a window manager: Xvfb picks a free number and
# writes it to fd 3. Openbox has been seen failing to open the display Xvfb
# named, while an X server left running by an earlier run (its lock file
# gone) answered on that number; the two are then started again.
unset WAYLAND_DISPLAY QT_QPA_PLATFORM
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
desktop=""
for attempt in 1 2 3; do
  rm -f "$work/display"
  Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp -noreset 3>"$work/display" 2>"$work/xvfb.log" &
  xvfb=$!
  pids+=($xvfb)
  for _ in $(seq 1 100); do [ -s "$work/display" ] && break; sleep 0.1; done
  export DISPLAY=":$(head -n1 "$work/display" 2>/dev/null)"
  openbox --sm-disable >"$work/openbox.log" 2>&1 &
  openbox=$!
  pids+=($openbox)
  for _ in $(seq 1 100); do
    xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && { desktop=ready; break; }
    kill -0 "$openbox" 2>/dev/null || break
    sleep 0.1
  done
  [ -n "$desktop" ] && break
  echo "display $DISPLAY (attempt $attempt): Xvfb $(kill -0 "$xvfb" 2>/dev/null && echo running || echo ended): $(cat "$work/xvfb.log"); openbox: $(cat "$work/openbox.log")"
  kill "$openbox" "$xvfb" 2>/dev/null
done
[ -n "$desktop" ] || fail "no display with a window manager"

# The databases are made by the embedded engine before the server opens
# them, and from then on reached through the server only. Company 01 is the
# demo with the hold of the connection step added (hold_connection.sql);
# company 02 has the schema and nothing to post.
source "$here/db/make_demo.sh"
demo="$work/demo"
contardc_make_demo "$demo" >/dev/null || fail "the demo company"
isql-fb -q -b -user SYSDBA -password tallowbin -i "$here/tests/ui/hold_connection.sql" "$demo/datos/01/ledgara.fdb" \
  >"$work/hold.log" 2>&1 || fail "the hold of the connection step: $(cat "$work/hold.log")"
mkdir -p "$demo/datos/02"
printf "create database '%s' user 'SYSDBA' password 'tallowbin' page_size 8192 default character set NONE;\n" \
  "$demo/datos/02/ledgara.fdb" | isql-fb -q -b >/dev/null || fail "company 02"
isql-fb -q -b -user SYSDBA -password tallowbin -i "$here/db/schema.sql" "$demo/datos/02/ledgara.fdb" >/dev/null \
  || fail "the schema of company 02"
# The server list holds the test server alone, so that it is the entry the
# window selects.
printf '%s\r\n' "$address:$demo" >"$demo/erp/SERVIDORES.cfg"

export CONTARDC_A11Y_PROBE="$probe" CONTARDC_A11Y_SERVER="$address:$demo" CONTARDC_A11Y_DEMO="$demo"
export QT_LINUX_ACCESSIBILITY_ALWAYS_ON=1
# A session bus of the test's own; the accessibility bus and its registry are
# started from it on first use, and end with it.
dbus-run-session -- /usr/bin/python3 "$here/tests/ui/accessibility_test.py"
