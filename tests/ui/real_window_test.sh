#!/usr/bin/env bash
# The program as a person uses it: a real X display with a window manager
# (activation, focus and key delivery are the desktop's, not the test
# platform's), the demo installation, and keys typed with xdotool. Checks the
# keyboard flow end to end: the first focus in the server list, Tab through the
# fields, leaving the company box connects, one F2 posts every receipt once
# and ends the program with exit code 0; and Esc before anything else ends it
# with 0 as well. Before the window manager starts: five arguments post and
# end the program on a display that no window manager serves, and the
# toolkit's own options among the arguments are left to the program.
# Usage: real_window_test.sh PROGRAM     (exit 77: skipped, a tool is missing)
set -uo pipefail
program="$1"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
for tool in Xvfb openbox xdotool xprop isql-fb; do
  command -v "$tool" >/dev/null || { echo "SKIPPED real_window: $tool is not installed"; exit 77; }
done

work="$(mktemp -d)"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  wait 2>/dev/null
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; [ -n "${DISPLAY:-}" ] && import -window root "$work/screen.png" 2>/dev/null \
  && cp "$work/screen.png" "${TMPDIR:-/tmp}/real_window_failure.png" && echo "screen: ${TMPDIR:-/tmp}/real_window_failure.png"; exit 1; }

# A display of its own: Xvfb picks a free number and writes it to fd 3.
Xvfb -displayfd 3 -screen 0 1024x768x24 -nolisten tcp 3>"$work/display" 2>"$work/xvfb.log" &
pids+=($!)
for _ in $(seq 1 100); do [ -s "$work/display" ] && break; sleep 0.1; done
[ -s "$work/display" ] || fail "Xvfb did not start: $(cat "$work/xvfb.log")"
export DISPLAY=":$(head -n1 "$work/display")"
unset WAYLAND_DISPLAY QT_QPA_PLATFORM
export XDG_RUNTIME_DIR="$work/runtime"
mkdir -m 700 "$XDG_RUNTIME_DIR"
# The demo installation, every point of sale with its accounts: one run posts
# all of today's receipts, so a second call of the procedure would find none
# and say "No hay recibos por contabilizar." in a box that waits.
export FIREBIRD_LOCK="$work/lock"
mkdir -p "$FIREBIRD_LOCK"
source "$here/db/make_demo.sh"
contardc_make_demo "$work/demo" >/dev/null || fail "demo installation"
db="$work/demo/datos/01/ledgara.fdb"
isql-fb -q -b -user SYSDBA -password tallowbin -i "$here/tests/app/all_accounts.sql" "$db" >/dev/null \
  || fail "accounts for the demo company"
unposted() {
  echo "set heading off; select count(*) from RECIBO_CAJA where RECI_FECHA = current_date and COMP_ID is null;" \
    | isql-fb -q -b -user SYSDBA -password tallowbin "$db" | tr -d ' \n'
}
[ "$(unposted)" != 0 ] || fail "the demo has no receipts to post"

start() {
  "$program" >"$work/out.log" 2>&1 &
  app=$!
  pids+=("$app")
  # xdotool's search gives up on an X error while other windows come and go: ask again.
  win=""
  for _ in $(seq 1 100); do
    win="$(xdotool search --onlyvisible --name '^Contabilizar recibos$' 2>/dev/null | head -n1)"
    [ -n "$win" ] && break
    sleep 0.2
  done
  [ -n "$win" ] || fail "the window did not appear"
  for _ in $(seq 1 50); do [ "$(xdotool getactivewindow 2>/dev/null)" = "$win" ] && break; sleep 0.1; done
  [ "$(xdotool getactivewindow)" = "$win" ] || fail "the window was not activated"
}
ends_with() {
  local want="$1" code
  for _ in $(seq 1 300); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$app" 2>/dev/null && fail "the program did not end ($2)"
  wait "$app"; code=$?
  [ "$code" = "$want" ] || fail "exit code $code, expected $want ($2): $(cat "$work/out.log")"
}

# Without a window manager (a bare X display that a scheduler points DISPLAY
# at) nothing activates a new window; the unattended run starts all the same,
# posts and ends the program. The arguments are the program's alone: the
# toolkit's options written as the password, followed by the company 01, are
# a password (which the embedded engine does not check) and a company.
cp "$db" "$work/pristine.fdb"
fresh_demo() { cp "$work/pristine.fdb" "$db"; }
unattended() {
  local label="$1"
  shift
  fresh_demo
  "$program" "$@" >"$work/out.log" 2>&1 &
  app=$!
  pids+=("$app")
  ends_with 0 "$label"
  [ "$(unposted)" = 0 ] || fail "$label: $(unposted) receipts left unposted"
  [ -s "$work/out.log" ] && fail "$label: unexpected output: $(cat "$work/out.log")"
}
unattended "five arguments, no window manager" "$work/demo" SYSDBA tallowbin 01 N
for option in -platform -display -style; do
  unattended "password $option, no window manager" "$work/demo" SYSDBA "$option" 01 N
done
fresh_demo

openbox --sm-disable >"$work/openbox.log" 2>&1 &
pids+=($!)
for _ in $(seq 1 100); do xprop -root _NET_SUPPORTING_WM_CHECK 2>/dev/null | grep -q 'window id' && break; sleep 0.1; done
xprop -root _NET_SUPPORTING_WM_CHECK | grep -q 'window id' || fail "openbox did not start"

# Esc straight away.
start
xdotool key --window "$win" Escape
ends_with 0 "Esc"

# The whole flow: the server list has the focus and its first entry (the
# demo's embedded database); Tab, user, Tab, password, Tab, company, Tab.
start
xdotool key Tab
xdotool type --delay 30 SYSDBA && xdotool key Tab
xdotool type --delay 30 tallowbin && xdotool key Tab
xdotool type --delay 30 01 && xdotool key Tab
sleep 2
kill -0 "$app" 2>/dev/null || { wait "$app"; fail "the program ended (exit $?) before F2, $(unposted) receipts unposted: $(cat "$work/out.log")"; }
import -window "$win" "$work/connected.png" 2>/dev/null
xdotool key F2
ends_with 0 "one F2 after the connection step"
[ "$(unposted)" = 0 ] || fail "receipts left unposted: $(unposted)"
[ -s "$work/out.log" ] && fail "unexpected output: $(cat "$work/out.log")"
# A stop request (SIGTERM: a logout, kill, a session manager) ends the
# program with exit code 1: once connected and idle, and in the middle of a
# posting, which is then not committed.
connect_demo() {
  start
  xdotool key Tab
  xdotool type --delay 30 SYSDBA && xdotool key Tab
  xdotool type --delay 30 tallowbin && xdotool key Tab
  xdotool type --delay 30 01 && xdotool key Tab
  # Connected once the client library has taken SIGTERM (bit 15 of the caught set).
  for _ in $(seq 1 100); do
    (( 0x$(awk '/^SigCgt/ {print $2}' "/proc/$app/status" 2>/dev/null || echo 0) & 0x4000 )) && break
    sleep 0.1
  done
  sleep 0.5
  kill -0 "$app" 2>/dev/null || fail "the program ended before the stop request"
}
connect_demo
kill -TERM "$app"
ends_with 1 "SIGTERM to a connected window"

isql-fb -q -b -user SYSDBA -password tallowbin "$db" >/dev/null <<'SQL' || fail "receipts for the stopped run"
set term ^;
execute block as declare i integer = 0; declare id integer; begin
  select coalesce(max(RECI_ID), 0) from RECIBO_CAJA into :id;
  while (i < 100000) do begin
    i = i + 1; id = id + 1;
    insert into RECIBO_CAJA (RECI_ID, PTVT_ID, RECI_PREF, RECI_NUM, RECI_FECHA, RECI_VALOR, RECI_FORMA_PAGO, TERC_NIT)
    values (:id, 1 + mod(:id, 2), 'S' || mod(:id, 2), lpad(:id, 6, '0'), current_date, 1000, 'EFECTIVO', '800');
  end
end^
set term ;^
commit;
SQL
before="$(unposted)"
connect_demo
xdotool key F2
sleep 0.3
kill -0 "$app" 2>/dev/null || fail "the posting of 100,000 receipts ended before the stop request"
kill -TERM "$app"
ends_with 1 "SIGTERM while posting"
[ "$(unposted)" = "$before" ] || fail "a stopped run posted: $before unposted before, $(unposted) after"
echo "real window: five arguments without a window manager, toolkit options as arguments, Esc, and Tab/type/F2 posting every receipt once, both exit 0; SIGTERM connected and while posting, exit 1, nothing posted"
