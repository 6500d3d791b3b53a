#!/usr/bin/env bash
# The Windows program posting end to end under Wine: the zip users get,
# unpacked into an empty folder with nothing added (it carries its own
# fbclient.dll), the demo company on a Firebird server of
# the test's own on 127.0.0.1, and the window driven with real key presses on
# a virtual display with a window manager, in a Wine prefix of its own.
#
#   - Tab, user, password, company, Tab: the connection step attaches over
#     TCP; F2 posts through the plain procedure; the window closes, exit 0;
#   - the same with "NIIF" ticked posts through the IFRS procedure;
#   - a wrong password: the error box, the window stays open without an
#     attachment, Enter and Esc end the program with exit code 0;
#   - five arguments with the window refused (CONTARDC_NO_WINDOW): the rows on
#     standard output, exit 0; five arguments with the window: it posts and
#     closes by itself, exit 0;
#   - with --event-log, the entry each run writes as Wine's trace shows the
#     ReportEventW call: a posting (information, event ID 1000), a lost
#     report (warning, 1000), a wrong password (error, 1077), the deadline
#     (error, 1075, written from the deadline's thread), each with the
#     outcome of its run log line as the text;
#   - after each posting every receipt of the day is posted once in that
#     ledger: none left, none twice;
#   - under a Cyrillic code page (1251): the error box's title whole, a
#     posting through the window;
#   - against a server set up as Firebird 4 and 5 servers are by default
#     (Srp256 only, wire encryption required) and as a 2.5-era one (legacy
#     logins, no encryption): five arguments post, a wrong password is
#     refused with the server's text.
#
#   tests/win/posting_under_wine.sh [program folder] [fbclient.dll]
#
# Default: build-windows/contardc-<version>-windows-x64.zip (scripts/build-windows.sh
# builds it when it is missing). A program folder given instead is copied;
# a library given replaces the folder's fbclient.dll. CONTARDC_WINE_SHOTS=DIR keeps
# the screenshots: the window with the posted rows (when they were caught on
# screen, see post_and_watch) and the error box. Exit 77 after one "SKIPPED"
# line when Qt for Windows is missing; 1 when a check fails or a tool is
# missing.
set -uo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
folder="${1:-}"
dll="${2:-}"

skip() {
  echo "SKIPPED windows_posting: $*"
  exit 77
}
cache="${XDG_CACHE_HOME:-$HOME/.cache}/contardc"
if [ -z "$folder" ]; then
  compgen -G "$cache/qt-*-mingw64-*/contardc-qt.key" >/dev/null ||
    skip "Qt for Windows is not cached (scripts/build-windows.sh --qt-only builds it)"
fi
# With Qt for Windows built, the machine has what the test needs (the
# packages of scripts/deps.sh that build it and test.sh install): a tool
# missing then is a broken machine, not a test to leave out.
broken() {
  echo "FAIL: $*; Qt for Windows is built, and the machine that built it should have what this test needs (scripts/deps.sh)"
  exit 1
}
# shellcheck source=tests/win/wine_desktop.sh
source "$here/wine_desktop.sh"
source "$root/tests/demo_company.sh"
wd_find_tools || broken "$wd_missing"
for tool in c++ x86_64-w64-mingw32-g++ convert isql-fb fbsvcmgr unzip; do
  command -v "$tool" >/dev/null || broken "$tool is not installed"
done
[ -x /usr/sbin/firebird ] || broken "the Firebird server is not installed (Debian package firebird3.0-server)"

work="$(mktemp -d "${TMPDIR:-/tmp}/contardc-winpost.XXXXXX")"
cleanup() {
  wd_stop
  "$root/tests/posting/fbserver_stop.sh" "$work/fb" >/dev/null 2>&1
  rm -rf "$work"
}
trap cleanup EXIT
screen() { # PNG: the whole screen as it is now
  [ -f "$work/desktop/Xvfb_screen0" ] && convert "xwd:$work/desktop/Xvfb_screen0" "$1" 2>/dev/null
}
fail() {
  echo "FAIL: $*"
  screen "${TMPDIR:-/tmp}/windows_posting_failure.png" && echo "screen: ${TMPDIR:-/tmp}/windows_posting_failure.png"
  exit 1
}
step() { echo "== $*"; }
keep() { # FILE: a screenshot worth keeping
  [ -z "${CONTARDC_WINE_SHOTS:-}" ] || { mkdir -p "$CONTARDC_WINE_SHOTS" && cp "$1" "$CONTARDC_WINE_SHOTS/"; }
}

zip_file=""
if [ -z "$folder" ]; then
  folder="$root/build-windows/contardc"
  source "$root/scripts/version.sh"
  zip_file="$root/build-windows/contardc-$(contardc_version)-windows-x64.zip"
  if [ ! -f "$zip_file" ]; then
    step "building the program folder"
    "$root/scripts/build-windows.sh" >"$work/build.log" 2>&1 ||
      { tail -n 30 "$work/build.log"; fail "scripts/build-windows.sh"; }
  fi
fi
# What users get: the zip unpacked into an empty folder, nothing added, in a
# folder whose name has a letter outside most ANSI code pages. A folder given
# on the command line is copied as it is.
program="$work/Contabilización ñ/contardc"
mkdir -p "$(dirname "$program")"
if [ -n "$zip_file" ]; then
  (cd "$(dirname "$program")" && unzip -q "$zip_file") || fail "unpacking $zip_file"
else
  [ -f "$folder/contardc.exe" ] || fail "no contardc.exe in $folder"
  cp -r "$folder" "$program"
fi
[ -f "$program/contardc.exe" ] || fail "no contardc.exe in the unpacked folder"
# The folder carries its own client; a library given on the command line
# takes its place.
if [ -n "$dll" ]; then
  [ -f "$dll" ] || fail "no library at $dll"
  cp "$dll" "$program/fbclient.dll"
fi
[ -f "$program/fbclient.dll" ] || fail "the program folder ships no fbclient.dll"
c++ -std=c++20 -O2 -Wall -Wextra -Werror -o "$work/xvfb_frames" "$here/xvfb_frames.cpp" || fail "building xvfb_frames"
mkdir -p "$work/shots"

# ---------------------------------------------------------------- the server and the demo company

step "the demo company on a Firebird server of its own"
password="win$RANDOM$RANDOM"
# Made with the embedded engine before the server opens the file; from then
# on only the server touches it.
export FIREBIRD_LOCK="$work/lock"
mkdir -p "$FIREBIRD_LOCK"
demo_company "$work/demo" || fail "the demo company"
"$root/tests/posting/fbserver_start.sh" "$work/fb" 0 "$password" >"$work/fbserver.log" 2>&1 ||
  { cat "$work/fbserver.log"; fail "the Firebird server did not start"; }
address="$(cat "$work/fb/address")"
server="$address:$work/demo"   # a line of SERVIDORES.cfg, and the server text of the program
demo_database="$server/datos/01/ledgara.fdb" demo_password="$password"
# Today's receipts marked with a voucher that is not theirs, and vouchers of
# today's receipts that their receipt's mark does not name: 0 when each
# posted receipt has exactly its one voucher.
posted_wrongly() { # COLUMN VOUCHER_TABLE
  demo_count <<SQL
select (select count(*) from RECIBO_CAJA r where r.RECI_FECHA = date '$demo_day' and r.$1 is not null
          and not exists (select 1 from $2 v where v.COMP_ID = r.$1 and v.RECI_ID = r.RECI_ID))
     + (select count(*) from $2 v join RECIBO_CAJA r on r.RECI_ID = v.RECI_ID
          where r.RECI_FECHA = date '$demo_day' and r.$1 is distinct from v.COMP_ID)
from RDB\$DATABASE;
SQL
}
attached() { # the program's attachments to the company database
  demo_count <<<"select count(*) from MON\$ATTACHMENTS where lower(MON\$REMOTE_PROCESS) containing 'contardc';"
}
check_ledger() { # LEDGER COLUMN VOUCHER_TABLE WHAT
  local left wrong
  left="$(unposted "$1")" wrong="$(posted_wrongly "$2" "$3")"
  [ "$left" = 0 ] || fail "$4: $left of today's receipts left unposted in ledger $1"
  [ "$wrong" = 0 ] || fail "$4: $wrong receipts of ledger $1 not posted exactly once"
}
# A busy day. After a posting that keeps the window's thread away from its
# messages for a while, Wine copies the repainted window to the screen before
# the window closes; after a short one it mostly does not, and the rows are
# never seen.
demo_sql >/dev/null <<SQL || fail "the day's receipts"
select rdb\$set_context('USER_SESSION', 'RECEIPTS', 3000), rdb\$set_context('USER_SESSION', 'RECEIPTS_DATE', '$demo_day')
  from rdb\$database;
input '$root/tests/app/more_receipts.sql';
SQL
if [ "$(unposted L)" -le 3000 ] || [ "$(unposted N)" -le 3000 ]; then
  fail "the demo company has not today's receipts to post over $address"
fi

# ---------------------------------------------------------------- the desktop and the Wine prefix

step "a virtual display with openbox and a Wine prefix"
unset LEDGARA_FBCLIENT LEDGARA_HKLM FIREBIRD_LOCK CONTARDC_NO_WINDOW
wd_start_desktop "$work/desktop" || fail "the virtual display"
wd_make_prefix "$work/wine" || fail "the Wine prefix"
# The faces Windows has, MS Sans Serif among them, so that the screenshots
# look as they would there.
wd_add_wine_fonts || echo "note: Wine's own fonts are not installed (Debian package fonts-wine)"
# The ERP's installation folder, holding the one server line.
printf '%s\r\n' "$server" >"$work/demo/erp/SERVIDORES.cfg"
wd_reg_add 'HKLM\Software\Vantel\LedgaraERP2026' Directorio REG_SZ "Z:${work//\//\\}\\demo\\erp" ||
  fail "writing the ERP's registry value"

# ---------------------------------------------------------------- driving the program

app="" win=""
wine_env=(env)   # what Wine is started with: cyrillic() adds a locale
start() { # ARGS...: contardc.exe started from its folder, standard input from $stdin_file,
  # standard output to $stdout_file (default out.log)
  (cd "$program" && exec "${wine_env[@]}" "$wd_wine" contardc.exe "$@") <"${stdin_file:-/dev/null}" \
    >"${stdout_file:-$work/out.log}" 2>"$work/err.log" &
  app=$!
}
start_window() {
  start
  win="$(wd_wait_window '^Contabilizar recibos$' "$app" 60)" ||
    fail "the window \"Contabilizar recibos\" did not appear: $(cat "$work/err.log")"
  xdotool windowactivate --sync "$win" >/dev/null 2>&1
  for _ in $(seq 1 50); do [ "$(xdotool getactivewindow 2>/dev/null)" = "$win" ] && break; sleep 0.1; done
  [ "$(xdotool getactivewindow 2>/dev/null)" = "$win" ] || fail "the window was not activated"
  xdotool mousemove 0 0   # the pointer off the window, out of the screenshots
  wd_wait_settled "$win" 20 || fail "the window was not drawn, or did not settle"
}
# client_crop W H X Y: a checksum of that rectangle of the window's client area.
client_crop() {
  local x y
  read -r x y _ _ < <(wd_client_geometry "$win")
  import -window root -crop "$1x$2+$((x + $3))+$((y + $4))" +repage rgb:- 2>/dev/null | md5sum | cut -d' ' -f1
}
# The date picker (client 48,182, 89 x 21) holds the focus: its day is
# selected, in the highlight colour (blue well above red).
date_picker_focused() {
  local x y blue
  read -r x y _ _ < <(wd_client_geometry "$win")
  blue="$(import -window root -crop "89x21+$((x + 48))+$((y + 182))" +repage miff:- 2>/dev/null |
    convert miff:- -fx '(b - r) > 0.4' -format '%[fx:int(mean * 10000)]' info: 2>/dev/null)"
  [ -n "$blue" ] && [ "$blue" -gt 0 ]
}
# The connection step is done once it has attached, read the points of sale
# and moved the focus to the date picker, as it does last.
connection_step_done() {
  connected || fail "the connection step did not attach to $demo_database (see the screen): $(cat "$work/err.log")"
  for _ in $(seq 1 150); do
    date_picker_focused && return 0
    kill -0 "$app" 2>/dev/null || break
    sleep 0.2
  done
  fail "the connection step did not hand the focus to the date picker: $(cat "$work/err.log")"
}
ends_with() { # CODE WHAT
  wd_wait_exit "$app" 60 || fail "the program did not end ($2)"
  [ "$wd_status" = "$1" ] || fail "exit code $wd_status, expected $1 ($2): $(cat "$work/err.log")"
}
# The server list has the focus, its first entry selected; real key presses
# (XTEST): Wine ignores synthetic ones.
log_in() { # PASSWORD [COMPANY]
  xdotool key Tab
  xdotool type --delay 40 SYSDBA && xdotool key Tab
  xdotool type --delay 40 "$1" && xdotool key Tab
  xdotool type --delay 40 "${2:-01}" && xdotool key Tab
}
box='^Contabilizaci.{1,2}n ventas POS$'   # the message boxes' title
connected() {
  for _ in $(seq 1 150); do
    [ "$(attached)" -gt 0 ] && return 0
    kill -0 "$app" 2>/dev/null || return 1
    xdotool search --onlyvisible --name "$box" >/dev/null 2>&1 && return 1   # an error box
    sleep 0.2
  done
  return 1
}
# F2, then every frame of the screen until the program ends: the rows show
# only between the end of the posting and the window's closing, a few
# milliseconds, and under Wine not in every run. The window in the first
# frame whose grid shows a row goes to NAME-rows.png, and rows_seen counts
# the postings whose rows were seen: the test requires them on the screen
# after one posting through the window at least.
rows_seen=0
post_and_watch() { # NAME
  local n f x y mean caught=""
  read -r x y _ < <(wd_client_geometry "$win")
  rm -rf "$work/frames" && mkdir -p "$work/frames"
  xdotool key F2
  n="$("$work/xvfb_frames" "$work/desktop/Xvfb_screen0" "$work/frames/f" "$app")"
  # The grid's first row: white while empty, black once the window is gone,
  # in between with a receipt's text.
  for f in "$work/frames"/f-*.xwd; do
    [ -f "$f" ] || continue
    mean="$(convert "xwd:$f" -crop "320x12+$((x + 20))+$((y + 257))" -colorspace Gray \
      -format '%[fx:int(mean*1000)]' info: 2>/dev/null)"
    if [ -n "$mean" ] && [ "$mean" -gt 300 ] && [ "$mean" -lt 970 ]; then
      caught="$work/shots/$1-rows.png"
      convert "xwd:$f" -crop "358x371+$x+$y" +repage "$caught"
      keep "$caught"
      break
    fi
  done
  if [ -n "$caught" ]; then
    echo "the rows on screen in frame $(basename "$f" .xwd) of $n"
    rows_seen=$((rows_seen + 1))
  else
    echo "note: the rows were not caught on screen ($n frames)"
  fi
}

step "interactive, plain procedure"
start_window
log_in "$password"
connection_step_done
post_and_watch plain
ends_with 0 "F2 after the connection step"
check_ledger L COMP_ID COMPROBANTE "the plain procedure"
[ "$(unposted N)" -gt 3000 ] || fail "the plain procedure posted in the IFRS ledger"

step "interactive, IFRS procedure"
start_window
log_in "$password"
connection_step_done
# The connection step left the focus in the date picker; "NIIF" (client
# 167,185, 38 x 14) comes next.
unticked="$(client_crop 38 14 167 185)"
xdotool key Tab space
for _ in $(seq 1 50); do [ "$(client_crop 38 14 167 185)" != "$unticked" ] && break; sleep 0.2; done
[ "$(client_crop 38 14 167 185)" != "$unticked" ] || fail "NIIF did not change on the screen after Tab, space"
wd_wait_settled "$win" 10 || fail "the window did not settle after NIIF was ticked"
post_and_watch niif
ends_with 0 "NIIF ticked, F2"
check_ledger N COMP_NIIF_ID COMPROBANTE_NIIF "the IFRS procedure"

step "a wrong password"
start_window
log_in "not-$password"
errbox="$(wd_wait_window "$box" "$app" 30)" || fail "no error box after a wrong password"
wd_wait_settled "$errbox" 10 || fail "the error box was not drawn"
screen "$work/shots/wrong-password.png" && keep "$work/shots/wrong-password.png"
[ "$(attached)" = 0 ] || fail "a wrong password left an attachment"
xdotool key Return
wd_wait_gone "$box" 10 || fail "Enter did not close the error box"
kill -0 "$app" 2>/dev/null || fail "the program ended after the error box"
xdotool search --onlyvisible --name '^Contabilizar recibos$' >/dev/null 2>&1 || fail "the window closed after the error box"
xdotool windowactivate --sync "$win" >/dev/null 2>&1
xdotool key Escape
ends_with 0 "Esc after the error box"

step "unattended without a window, plain procedure"
demo_sql -i "$root/db/seed.sql" >/dev/null || fail "topping up today's receipts"
due="$(unposted L)"
[ "$due" -gt 0 ] || fail "the top-up left nothing to post"
# The password off the command line: "-" and a line of standard input, as
# a scheduled task's .cmd redirects it from a file; the run's line in a log.
printf '%s\r\n' "$password" >"$work/password.txt"
stdin_file="$work/password.txt" CONTARDC_NO_WINDOW=1 start "$server" SYSDBA - 01 N --timeout 600 --log "Z:$work/run.log"
ends_with 0 "five arguments, no window"
grep -q "	01	plain	.*CONTABILIZADO.*	0	" "$work/run.log" || fail "no line in the run log: $(cat "$work/run.log" 2>&1)"
! grep -q "$password" "$work/run.log" "$work/out.log" "$work/err.log" || fail "the password was written out"
check_ledger L COMP_ID COMPROBANTE "unattended, N"
grep -q 'PREF.*NUMERO.*ESTADO' "$work/out.log" || fail "no table on standard output: $(cat "$work/out.log")"
printed="$(grep -c 'CONTABILIZADO' "$work/out.log")"
[ "$printed" = "$due" ] || fail "$printed rows printed for $due receipts posted: $(cat "$work/out.log")"
cat "$work/out.log"

step "the Windows event log (--event-log), as Wine's trace shows it"
# Wine keeps no event log: RegisterEventSourceW and ReportEventW are stubs
# that trace each call (channel advapi, as a fixme: the handle, the type, the
# category, the event ID, ...) and the entry's strings (channel eventlog, as
# trace, warn or err by the type). Each run is checked against that trace:
# the source "contardc" registered once, one entry with the type and ID of
# its exit code, and as its text what its run log line gives: "SERVER,
# company 01, plain: " and the outcome. What only
# Windows does with them, Event Viewer showing the text through the message
# table in contardc.exe, is checked on the installed program
# (msi_under_wine.sh) the way Event Viewer reads it.
entries() { # the ReportEventW calls in err.log, one "TYPE<tab>ID<tab>TEXT" line each
  awk '/:fixme:advapi:ReportEventW \(/ {
         if (call != "") print call "\t"
         sub(/.*ReportEventW \(/, ""); split($0, f, ","); call = f[2] "\t" f[4]; next }
       /:(trace|warn|err):eventlog:ReportEventW L"/ {
         t = $0; sub(/^[^"]*"/, "", t); sub(/"$/, "", t); gsub(/\\"/, "\"", t); gsub(/\\\\/, "\\", t)
         print call "\t" t; call = "" }
       END { if (call != "") print call "\t" }' "$work/err.log"
}
# ARGS...: a run without a window with --event-log and --log, Wine tracing
# the event log's calls.
event_start() {
  rm -f "$work/events.log"
  WINEDEBUG=-all,fixme+advapi,+eventlog CONTARDC_NO_WINDOW=1 start "$@" --event-log --log "Z:$work/events.log"
}
# WHAT EXIT TYPE ID OUTCOME: its end; TYPE as ReportEventW takes it (1 error,
# 2 warning, 4 information), OUTCOME a pattern the run log's outcome matches.
event_check() {
  local what="$1" code="$2" type="$3" id="$4" pattern="$5" outcome subject expected got
  ends_with "$code" "$what"
  grep -E ':(RegisterEventSourceW|ReportEventW)' "$work/err.log" | sed 's/^/       /'
  [ "$(grep -c ':fixme:advapi:RegisterEventSourceW ((null),L"contardc")' "$work/err.log")" = 1 ] ||
    fail "$what: the event source \"contardc\" was not registered once: $(cat "$work/err.log")"
  outcome="$(awk -F'\t' '{ print $5 }' "$work/events.log" 2>/dev/null)"
  # shellcheck disable=SC2053
  [[ "$outcome" == $pattern ]] || fail "$what: the run log's outcome is \"$outcome\", not $pattern"
  subject="$(awk -F'\t' '{ print $2 ", company " $3 ", " $4 }' "$work/events.log" 2>/dev/null)"
  expected="$(printf '0x%04x\t0x%08x\t%s: %s' "$type" "$id" "$subject" "$outcome")"
  got="$(entries)"
  [ "$got" = "$expected" ] || fail "$what: ReportEventW was called with \"$got\", not once with \"$expected\""
}
# Standard input and output as FIFOs this shell opens after the run has
# started (the run opens its input first, then its output): the input
# read-write, an open that never waits, the run reading only what this shell
# writes into it; the output read-only, an open that returns once the run has
# it open for writing.
mkfifo "$work/input" "$work/output" || fail "mkfifo"
demo_sql -i "$root/db/seed.sql" >/dev/null || fail "topping up today's receipts"
stdin_file="$work/password.txt" event_start "$server" SYSDBA - 01 N
event_check "a posting" 0 4 1000 '*CONTABILIZADO*'
check_ledger L COMP_ID COMPROBANTE "a posting with --event-log"
# Nothing left to post, reported to a standard output whose reader went away
# before the run was given its password: the report is lost, a warning.
stdin_file="$work/input" stdout_file="$work/output" event_start "$server" SYSDBA - 01 N
exec 7<>"$work/input"
exec 8<"$work/output"
exec 8<&-
printf '%s\r\n' "$password" >&7
exec 7>&-
event_check "a report lost" 0 2 1000 'nothing to post'
grep -q 'the report could not be written to standard output' "$work/err.log" ||
  fail "a report lost: standard error does not say so: $(cat "$work/err.log")"
# The run log's outcome is the error's first line, the driver's; the server's
# refusal follows it on standard error.
event_start "$server" SYSDBA "not-$password" 01 N
event_check "a wrong password" 77 1 1077 '?*'
grep -q 'Your user name and password are not defined' "$work/err.log" ||
  fail "a wrong password: not the server's refusal: $(cat "$work/err.log")"
# The password awaited on a standard input that never gives it: the deadline
# ends the run from its own thread, which writes the entry through the source
# registered at the start.
stdin_file="$work/input" event_start "$server" SYSDBA - 01 N --timeout 2
exec 7<>"$work/input"
event_check "the deadline" 75 1 1075 'timed out after 2 s; nothing was posted'
exec 7>&-

step "--help, alone"
start --help
ends_with 0 "--help"
grep -q '^Usage: contardc' "$work/out.log" || fail "no usage on standard output: $(cat "$work/out.log")"

step "unattended with the window, IFRS procedure"
due="$(unposted N)"
[ "$due" -gt 0 ] || fail "nothing left to post in the IFRS ledger"
start "$server" SYSDBA "$password" 01 S
ends_with 0 "five arguments, the window"
check_ledger N COMP_NIIF_ID COMPROBANTE_NIIF "unattended, S"

# ---------------------------------------------------------------- a Cyrillic Windows

# Wine takes the ANSI code page from the locale: ru_RU gives 1251, where
# "ó" and "ñ" do not exist. The program's texts must still come out whole,
# and its folder ("... ñ") must still load. The locale is made for this test
# alone (LOCPATH), nothing of the machine's is changed.
step "under a Cyrillic code page"
command -v localedef >/dev/null || fail "localedef is not installed (Debian package locales)"
mkdir -p "$work/locale"
localedef -i ru_RU -f UTF-8 "$work/locale/ru_RU.UTF-8" >/dev/null 2>&1 || [ -d "$work/locale/ru_RU.UTF-8" ] ||
  fail "could not make the ru_RU.UTF-8 locale"
# The locale goes to Wine through env(1), not through this shell, which
# would try to take it itself.
cyrillic() {
  wine_env=(env LOCPATH="$work/locale" LC_ALL=ru_RU.UTF-8 LANG=ru_RU.UTF-8)
  "$@"
  wine_env=(env)
}
printf '#include <windows.h>\n#include <cstdio>\nint main() { std::printf("%%u\\n", GetACP()); }\n' >"$work/acp.cpp"
x86_64-w64-mingw32-g++ -O1 -static -s -o "$work/acp.exe" "$work/acp.cpp" || fail "building acp.exe"
acp="$(env LOCPATH="$work/locale" LC_ALL=ru_RU.UTF-8 LANG=ru_RU.UTF-8 "$wd_wine" "$work/acp.exe" 2>/dev/null |
  tr -d '\r')"
[ "$acp" = 1251 ] || fail "Wine did not take the Russian locale (ANSI code page $acp, not 1251)"
echo "the ANSI code page under ru_RU.UTF-8: $acp"
# A company code that leaves its folder: the system's error box, its title
# and its text with letters that code page 1251 lacks, read from Wine's
# trace of message boxes (which writes U+00F3 as \00f3).
WINEDEBUG=-all,trace+msgbox cyrillic start_window
log_in "$password" "../01"
errbox="$(wd_wait_window "$box" "$app" 30)" || fail "no error box for a company code leaving its folder, code page 1251"
title="$(xdotool getwindowname "$errbox")"
[ "$title" = "Contabilización ventas POS" ] || fail "the error box under code page 1251 is titled \"$title\""
wd_wait_settled "$errbox" 10 || fail "the error box was not drawn"
text="$(sed -n 's/^.*trace:msgbox:MSGBOX_OnInit L"\(.*\)"\r\{0,1\}$/\1/p' "$work/err.log" | tail -n 1)"
expected='El c\00f3digo de empresa no es v\00e1lido: no puede contener \"/\" ni \"\\\" ni ser solo puntos o espacios.'
[ "$text" = "$expected" ] || fail "the error box under code page 1251 says \"$text\", not \"$expected\""
[ "$(attached)" = 0 ] || fail "a refused company code left an attachment"
screen "$work/shots/cyrillic-error.png" && keep "$work/shots/cyrillic-error.png"
xdotool key Return
wd_wait_gone "$box" 10 || fail "Enter did not close the error box"
xdotool windowactivate --sync "$win" >/dev/null 2>&1
xdotool key Escape
ends_with 0 "Esc after the error box, code page 1251"
demo_sql -i "$root/db/seed.sql" >/dev/null || fail "topping up today's receipts"
due="$(unposted L)"
[ "$due" -gt 0 ] || fail "the top-up left nothing to post (code page 1251)"
cyrillic start_window
log_in "$password"
connection_step_done
post_and_watch cyrillic
ends_with 0 "F2 after the connection step, code page 1251"
check_ledger L COMP_ID COMPROBANTE "the plain procedure under code page 1251"
[ "$rows_seen" -gt 0 ] || fail "the posted rows reached the screen after none of the three postings through the window"

# ---------------------------------------------------------------- other servers' defaults

# The client the folder ships against a server set up as Firebird 4 and 5
# servers are out of the box (Srp256 logins only, an unencrypted wire
# refused) and as a Firebird 2.5-era server (legacy logins only, no wire
# encryption): each login method and wire setting that server allows is the
# only one, so a posting proves the client speaks it.
for auth in srp256 legacy; do
  step "unattended without a window, a server with $auth logins"
  "$root/tests/posting/fbserver_stop.sh" "$work/fb" >/dev/null 2>&1
  "$root/tests/posting/fbserver_start.sh" "$work/fb" 0 "$password" "$auth" >"$work/fbserver.log" 2>&1 ||
    { cat "$work/fbserver.log"; fail "the Firebird server with $auth logins did not start"; }
  address="$(cat "$work/fb/address")"
  server="$address:$work/demo"
  demo_database="$server/datos/01/ledgara.fdb"
  demo_sql -i "$root/db/seed.sql" >/dev/null || fail "topping up today's receipts ($auth)"
  due="$(unposted L)"
  [ "$due" -gt 0 ] || fail "the top-up left nothing to post ($auth)"
  CONTARDC_NO_WINDOW=1 start "$server" SYSDBA "$password" 01 N
  ends_with 0 "five arguments, no window, $auth logins"
  check_ledger L COMP_ID COMPROBANTE "unattended, $auth logins"
  printed="$(grep -c 'CONTABILIZADO' "$work/out.log")"
  [ "$printed" = "$due" ] || fail "$printed rows printed for $due receipts posted ($auth): $(cat "$work/out.log")"
  CONTARDC_NO_WINDOW=1 start "$server" SYSDBA "not-$password" 01 N
  ends_with 77 "a wrong password, $auth logins"
  grep -q 'Your user name and password are not defined' "$work/err.log" ||
    fail "a wrong password with $auth logins: not the server's refusal: $(cat "$work/err.log")"
done

echo "windows posting: the zip's folder with its own client, both procedures through the window and unattended, every receipt posted once; the event log's entries; a wrong password refused; under code page 1251; against Srp256-only servers with the wire encrypted and legacy-login servers without"
