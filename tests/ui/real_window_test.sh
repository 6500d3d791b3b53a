#!/usr/bin/env bash
# The program as a person uses it: a real X display with a window manager
# (activation, focus and key delivery are the desktop's, not the test
# platform's), the demo installation, and keys typed with xdotool. Checks the
# keyboard flow end to end: the first focus in the server list, Tab through the
# fields, leaving the company box connects, one F2 posts every receipt once
# and ends the program with exit code 0; and Esc before anything else ends it
# with 0 as well; an option it cannot take is refused in the error box, exit
# code 2. Before the window manager starts: five arguments post and
# end the program on a display that no window manager serves, and the
# toolkit's own options among the arguments are left to the program. Then a
# stop request (SIGTERM) once connected, and in the middle of a posting, each
# with its one line on standard error and exit code 1, nothing posted.
#
# The window's runs go to a Firebird server of the test's own, so that the
# server's monitoring shows when the program is connected and when its
# posting is at work: the stop request is sent then, not after a pause that
# a slow machine could outlast.
#
# Usage: real_window_test.sh PROGRAM
# Needs the packages of contardc_real_window_packages (scripts/deps.sh), which
# ./test.sh installs; without one the test fails, saying which.
set -uo pipefail
program="$1"
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/../.." && pwd)"
for tool in Xvfb:xvfb openbox:openbox xdotool:xdotool xprop:x11-utils import:imagemagick isql-fb:firebird3.0-utils \
            /usr/sbin/firebird:firebird3.0-server; do
  command -v "${tool%%:*}" >/dev/null ||
    { echo "FAIL: ${tool%%:*} is not installed (Debian package ${tool#*:}; scripts/deps.sh installs it)"; exit 1; }
done
source "$here/tests/desktop.sh"
source "$here/tests/demo_company.sh"

work="$(mktemp -d)"
pids=()
cleanup() {
  for p in "${pids[@]}"; do kill "$p" 2>/dev/null; done
  desktop_stop
  wait 2>/dev/null
  "$here/tests/posting/fbserver_stop.sh" "$work/fb" >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT
fail() { echo "FAIL: $*"; [ -n "${DISPLAY:-}" ] && import -window root "$work/screen.png" 2>/dev/null \
  && cp "$work/screen.png" "${TMPDIR:-/tmp}/real_window_failure.png" && echo "screen: ${TMPDIR:-/tmp}/real_window_failure.png"; exit 1; }

desktop_start_display "$work/x" || fail "the X display"
# The demo installation, every point of sale with its accounts: one run posts
# all of today's receipts, so a second call of the procedure would find none
# and say "No hay recibos por contabilizar." in a box that waits.
export FIREBIRD_LOCK="$work/lock"
mkdir -p "$FIREBIRD_LOCK"
demo_company "$work/demo" || fail "the demo company"
db="$demo_database"
due="$(unposted)" || fail "the demo's receipts"
[ "$due" -gt 0 ] || fail "the demo has no receipts to post"

# start [ARGS...]: the program in the background (app), its output in
# out.log and err.log.
start() {
  "$program" "$@" >"$work/out.log" 2>"$work/err.log" &
  app=$!
  pids+=("$app")
}
# active_window TITLE WHAT: until the program shows a window of that title
# and the window manager activates it (win), at most 20 s and 5 s.
active_window() {
  local title="$1" what="$2"
  # xdotool's search gives up on an X error while other windows come and go: ask again.
  win=""
  for _ in $(seq 1 100); do
    win="$(xdotool search --onlyvisible --pid "$app" --name "^$title\$" 2>/dev/null | head -n1)"
    [ -n "$win" ] && break
    kill -0 "$app" 2>/dev/null || { wait "$app"; fail "the program ended (exit $?) before $what appeared: $(cat "$work/err.log")"; }
    sleep 0.2
  done
  [ -n "$win" ] || fail "$what did not appear"
  for _ in $(seq 1 50); do [ "$(xdotool getactivewindow 2>/dev/null)" = "$win" ] && break; sleep 0.1; done
  [ "$(xdotool getactivewindow)" = "$win" ] || fail "$what was not activated"
}
start_window() { start; active_window "Contabilizar recibos" "the window"; }
ends_with() {
  local want="$1" code
  for _ in $(seq 1 300); do kill -0 "$app" 2>/dev/null || break; sleep 0.1; done
  kill -0 "$app" 2>/dev/null && fail "the program did not end ($2)"
  wait "$app"; code=$?
  [ "$code" = "$want" ] || fail "exit code $code, expected $want ($2): $(cat "$work/out.log" "$work/err.log")"
}
no_output() {
  [ -s "$work/out.log" ] && fail "$1: unexpected output: $(cat "$work/out.log")"
  [ -s "$work/err.log" ] && fail "$1: unexpected error output: $(cat "$work/err.log")"
  true
}

# Without a window manager (a bare X display that a scheduler points DISPLAY
# at) nothing activates a new window; the unattended run starts all the same,
# posts and ends the program. The arguments are the program's alone: the
# toolkit's options written as the password, followed by the company 01, are
# a password (which the embedded engine does not check) and a company.
cp "$db" "$work/pristine.fdb"
fresh_demo() { cp "$work/pristine.fdb" "$db"; }
unattended() {
  local label="$1" left
  shift
  fresh_demo
  "$program" "$@" >"$work/out.log" 2>"$work/err.log" &
  app=$!
  pids+=("$app")
  ends_with 0 "$label"
  left="$(unposted)" || fail "$label: the receipts left"
  [ "$left" = 0 ] || fail "$label: $left of $due receipts left unposted"
  no_output "$label"
}
unattended "five arguments, no window manager" "$work/demo" SYSDBA tallowbin 01 N --log "$work/run.log"
# A run in the window shows its messages there: it writes no run log.
[ ! -e "$work/run.log" ] || fail "a run in the window wrote a run log: $(cat "$work/run.log" 2>&1)"
for option in -platform -display -style; do
  unattended "password $option, no window manager" "$work/demo" SYSDBA "$option" 01 N
done
fresh_demo

# From here on the company is the server's: its address is the first line of
# the server list, and its own SYSDBA password the one to type.
password="rw-$RANDOM$RANDOM"
"$here/tests/posting/fbserver_start.sh" "$work/fb" 0 "$password" >"$work/fbserver.log" 2>&1 ||
  fail "the Firebird server did not start: $(cat "$work/fbserver.log")"
server="$(cat "$work/fb/address"):$work/demo"
printf '%s\r\n' "$server" >"$work/demo/erp/SERVIDORES.cfg"
demo_database="$server/datos/01/ledgara.fdb" demo_password="$password"
# The statements of the program's attachments (0 while it has none): all of
# them, or those in the middle of the posting.
statements_of_program() { # [POSTING]
  local posting=""
  [ -z "${1:-}" ] || posting="and s.MON\$STATE = 1 and s.MON\$SQL_TEXT containing 'recibos_sin_contabilidad'"
  demo_count <<SQL
select count(*) from MON\$ATTACHMENTS a left join MON\$STATEMENTS s on s.MON\$ATTACHMENT_ID = a.MON\$ATTACHMENT_ID
  where a.MON\$REMOTE_PID = $app $posting;
SQL
}
# wait_for_program WHAT [POSTING]: until the server shows the program
# connected (or posting), at most 30 s; fails when the program ends first.
wait_for_program() {
  local what="$1" n
  for _ in $(seq 1 150); do
    n="$(statements_of_program "${2:-}")" || fail "the server's monitoring could not be read"
    [ "$n" -gt 0 ] && return 0
    kill -0 "$app" 2>/dev/null || { wait "$app"; fail "the program ended (exit $?) before it was $what: $(cat "$work/err.log")"; }
    sleep 0.2
  done
  fail "the program was not seen $what within 30 s"
}
# The whole flow up to the connection: the server list has the focus and its
# first entry (the server); Tab, user, Tab, password, Tab, company, Tab.
connect_demo() { # WHAT FOR
  start_window
  xdotool key Tab
  xdotool type --delay 30 SYSDBA && xdotool key Tab
  xdotool type --delay 30 "$password" && xdotool key Tab
  xdotool type --delay 30 01 && xdotool key Tab
  wait_for_program "connected ($1)"
}

desktop_start_wm "$work/x" || fail "the window manager"

# Esc straight away, typed as the others, to the active window: sent to the
# window by name, the key's release came after the window had gone, failed,
# and left Escape held down, whose repeats then closed the next window.
start_window
xdotool key Escape
ends_with 0 "Esc"
no_output "Esc"

# An option it cannot take, where there is a display: the refusal in the error
# box (nobody reads a shortcut's standard error) as well as in its line on
# standard error, nothing connected, exit code 2 once the box is answered.
start "$work/demo" SYSDBA "$password" 01 N --timeout abc
active_window "Contabilización ventas POS" "the refusal's box"
[ "$(statements_of_program)" = 0 ] || fail "a refused run connected"
xdotool key Return
ends_with 2 "an option it cannot take"
[ ! -s "$work/out.log" ] || fail "the refused run: unexpected output: $(cat "$work/out.log")"
[ "$(cat "$work/err.log")" = 'contardc: --timeout takes a whole number of seconds from 1 up, not "abc"; nothing was posted' ] ||
  fail "the refused run said: $(cat "$work/err.log")"

# The whole flow, then one F2: every receipt posted once, and the program ends.
connect_demo "for F2"
xdotool key F2
ends_with 0 "one F2 after the connection step"
left="$(unposted)" || fail "the receipts left after F2"
[ "$left" = 0 ] || fail "F2 left $left of $due receipts unposted"
no_output "F2"

# A stop request (SIGTERM: a logout, kill, a session manager) ends the
# program with exit code 1: once connected and idle, and in the middle of a
# posting, which is then not committed.
connect_demo "for SIGTERM"
kill -TERM "$app"
ends_with 1 "SIGTERM to a connected window"
[ ! -s "$work/out.log" ] || fail "SIGTERM to a connected window: unexpected output: $(cat "$work/out.log")"
[ "$(cat "$work/err.log")" = "contardc: stopped by SIGTERM; nothing was posted" ] ||
  fail "SIGTERM to a connected window said: $(cat "$work/err.log")"

demo_sql -i "$here/tests/app/more_receipts.sql" >/dev/null </dev/null || fail "100,000 receipts for the stopped run"
before="$(unposted)" || fail "the receipts before the stopped run"
[ "$before" -ge 100000 ] || fail "only $before receipts to post before the stopped run"
connect_demo "for the posting to stop"
xdotool key F2
wait_for_program "posting" posting
kill -TERM "$app"
ends_with 1 "SIGTERM while posting"
[ ! -s "$work/out.log" ] || fail "SIGTERM while posting: unexpected output: $(cat "$work/out.log")"
# The client library's own handler runs first and ends the connection; the
# posting may have failed back into the program (rolled back) by the time
# the program's handler writes its line, which then says so.
case "$(cat "$work/err.log")" in
  "contardc: stopped by SIGTERM during the posting; the database rolls it back, unless its commit was already on its way" | \
  "contardc: stopped by SIGTERM; nothing was posted") ;;
  *) fail "SIGTERM while posting said: $(cat "$work/err.log")" ;;
esac
after="$(unposted)" || fail "the receipts after the stopped run"
[ "$after" = "$before" ] || fail "a stopped run posted: $before unposted before, $after after"
echo "real window: five arguments without a window manager, toolkit options as arguments, Esc, an option refused in its box (exit 2), and Tab/type/F2 posting every receipt once, both exit 0; SIGTERM connected and while posting, exit 1 with its line, nothing posted"
