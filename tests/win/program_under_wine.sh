#!/usr/bin/env bash
# The Windows program itself, as scripts/build-windows.sh lays it out, under
# Wine on a virtual desktop of its own (Xvfb with openbox), driven with real
# key presses (xdotool), in a Wine prefix made for the run:
#
#   - registry key absent: the information message, captioned with the
#     application title, comes before the window, whose server list is empty;
#   - the window: caption, client size, centred, the first focus in the server
#     drop-down, which holds the list file's entries with the first shown;
#     CONTARDC_NO_WINDOW=0 keeps it; Esc ends the program with exit code 0;
#   - a value of the wrong type: the error message (the system's message box)
#     with its text, then the window; F2 with no Firebird client: the error
#     message with the client's text, the window still open; Esc, exit code 0;
#   - no window where nobody can see one: with CONTARDC_NO_WINDOW=1 and in a
#     window station of its own (how Task Scheduler runs a job "whether the
#     user is logged on or not"), the five arguments post without a window:
#     no window module loaded, one error line on standard error, exit code 78;
#     notices go out as the program's bytes when redirected, and as text to
#     the console of the cmd.exe that started it.
#
#   - Qt's plugins looked for in the program's folder only (qt.conf);
#   - the faces the Wine prefix gives draw every glyph of the window's texts.
#
#   tests/win/program_under_wine.sh [program folder]
#       default: <source>/build-windows/contardc; the cases run a copy
#       without the Firebird client the folder ships
#
# Message box texts are read from Wine's own trace of the boxes it shows;
# screenshots of every step are left in <program folder>/../program-under-wine/.
# Exits 1 when a check failed or a tool is missing, 77 after "SKIPPED: ..."
# when the program folder is.
set -euo pipefail

here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
root="$(cd "$here/../.." && pwd)"
folder="$(cd "${1:-$root/build-windows/contardc}" 2>/dev/null && pwd || true)"

skip() {
  echo "SKIPPED: $*"
  exit 77
}

[ -n "$folder" ] && [ -f "$folder/contardc.exe" ] ||
  skip "no Windows program in ${1:-$root/build-windows/contardc} (scripts/build-windows.sh makes it once Qt for Windows is built)"
# With the program built, the machine has what the test needs (the packages
# of scripts/deps.sh that build it): a tool missing then is a broken machine,
# not a test to leave out.
broken() {
  echo "FAIL: $*; the Windows program is built, and the machine that built it should have what this test needs (scripts/deps.sh)"
  exit 1
}
source "$here/wine_desktop.sh"
wd_find_tools || broken "$wd_missing"
cxx=""
for c in x86_64-w64-mingw32-g++-posix x86_64-w64-mingw32-g++; do
  command -v "$c" >/dev/null && { cxx="$c"; break; }
done
[ -n "$cxx" ] || broken "the MinGW-w64 cross-compiler is not installed (Debian package g++-mingw-w64-x86-64)"
command -v import >/dev/null && command -v convert >/dev/null || broken "ImageMagick is not installed (Debian package imagemagick)"
command -v script >/dev/null || broken "script is not installed (Debian package bsdutils)"

shots="$(dirname "$folder")/program-under-wine"
rm -rf "$shots"
mkdir -p "$shots"
work="$(mktemp -d "${TMPDIR:-/tmp}/contardc-program.XXXXXX")"
# The cases below are about the program with no Firebird client to load: a
# copy of the folder without the one it ships (windows_posting runs the
# folder whole).
shipped="$folder"
mkdir -p "$work/prog"
cp -r "$shipped" "$work/prog/contardc"
rm -f "$work/prog/contardc/fbclient.dll"
folder="$work/prog/contardc"
app_pid=""
finish() {
  [ -z "$app_pid" ] || kill "$app_pid" 2>/dev/null || true
  wd_stop
  rm -rf "$work"
}
trap finish EXIT

failures=0
passes=0
pass() { passes=$((passes + 1)); echo "PASS   $*"; }
fail() { failures=$((failures + 1)); echo "FAIL   $*"; }
check() {  # check DESCRIPTION COMMAND...
  local what="$1"
  shift
  if "$@"; then pass "$what"; else fail "$what"; fi
}
check_that() {  # check_that DESCRIPTION 'SHELL CONDITION'
  if eval "$2"; then pass "$1"; else fail "$1"; fi
}

echo "== program: $folder/contardc.exe ($(date -r "$folder/contardc.exe" '+%Y-%m-%d %H:%M'))"
"$cxx" -std=c++20 -O1 -municode -static -s -o "$work/hidden_station.exe" "$here/hidden_station.cpp"
"$cxx" -std=c++20 -O1 -municode -static -s -o "$work/blackbox_probe.exe" "$here/blackbox_probe.cpp" -lgdi32
wd_start_desktop "$work/desktop"
echo "== Wine prefix $work/wine"
wd_make_prefix "$work/wine"
# The faces Windows has, MS Sans Serif among them (a bitmap font, as there).
wine_fonts=1
wd_add_wine_fonts || {
  wine_fonts=0
  echo "NOTE   Wine's own fonts are not installed (Debian package fonts-wine): no MS Sans Serif in the prefix"
}
unset LEDGARA_FBCLIENT LEDGARA_HKLM CONTARDC_NO_WINDOW
screen_w=1024 screen_h=768

# Every glyph of the window's texts whole in the faces the prefix gives it
# (window 11 and status panel 13 pixels, buttons 11 narrow), so that the
# screenshots show what the program draws. Liberation Sans 1.07 at 11
# pixels, which the prefix no longer takes, has Wine's GDI ink "I" outside
# the box it reports
# for it, which is what turned "NIIF" into "N  F" on the screen (see
# wd_add_wine_fonts).
texts='Contabilizar recibos Parámetros Servidor : Usuario : Clave : Compañía: Fecha: Origen: NIIF F2: Ejecutar Esc: Cancelar Rev:2026/05/25 Este programa genera la contabilización de los recibos de caja sin contabilizar de la fecha indicada Contabilizando facturas. espere un momento... PREF NUMERO ESTADO CONTABILIZADO PV01 0123456789 localhost:C:\Ledgara 127.0.0.1/3050:D:\Datos'
for face in "Liberation Sans:11" "Liberation Sans:13" "Arial Narrow:11"; do
  probe="$("$wd_wine" "$work/blackbox_probe.exe" "${face%:*}" "${face#*:}" "$texts" 2>/dev/null | tr -d '\r' || true)"
  check_that "${face%:*} ${face#*:} px draws the window's texts whole under Wine (${probe##*$'\n'})" "[[ \"\$probe\" == *': 0 of '* ]]"
done
# The control: Tahoma 11 pixels (Wine's own), many of whose glyphs Wine inks
# outside their boxes.
probe="$("$wd_wine" "$work/blackbox_probe.exe" Tahoma 11 "$texts" 2>/dev/null | tr -d '\r' || true)"
check_that "control: the probe sees glyphs inked outside their boxes (${probe##*$'\n'})" "[[ \"\$probe\" != *': 0 of '* ]] && [[ \"\$probe\" == *'ink outside'* ]]"

erp_key='HKLM\Software\Vantel\LedgaraERP2026'
title_re='^Contabilización ventas POS$'
window_re='^Contabilizar recibos$'
# Three servers, one with a byte of the ERP's code page (0xF1, n with tilde).
mkdir -p "$WINEPREFIX/drive_c/Ledgara"
printf 'localhost:C:\\Ledgara\r\n127.0.0.1/3050:D:\\Datos\r\ncontabilidad:E:\\Espa\361a\r\n' \
  >"$WINEPREFIX/drive_c/Ledgara/SERVIDORES.cfg"
exe_win="$("$wd_wine" winepath -w "$folder/contardc.exe" 2>/dev/null | tr -d '\r')"

# start_program CASE [ARGUMENT...]: the program in the background, Wine's
# trace of message boxes and of the DLLs it loads on its standard error;
# app_pid set.
start_program() {
  local name="$1"
  shift
  WINEDEBUG=-all,trace+msgbox,trace+loaddll "$wd_wine" "$folder/contardc.exe" "$@" \
    >"$work/$name.out" 2>"$work/$name.err" &
  app_pid=$!
}

# The texts of the system message boxes shown so far in a case, one a line.
box_texts() {
  sed -n 's/^.*trace:msgbox:MSGBOX_OnInit L"\(.*\)"\r\{0,1\}$/\1/p' "$work/$1.err"
}

shot() { import -window root "$shots/$1.png"; }

# The pixels of the server drop-down (client 76,65 141 x 21: band "Origen:"
# at 57, the box at 76,8 in it) as one checksum.
combo_sum() {
  local x y
  read -r x y _ _ < <(wd_client_geometry "$1")
  import -window root -crop "141x21+$((x + 76))+$((y + 65))" +repage rgb:- | md5sum | cut -d' ' -f1
}

# combo_after KEY OLD: presses KEY and prints the checksum once it differs
# from OLD, or after 3 seconds the unchanged one.
combo_after() {
  local key="$1" old="$2" now i
  wd_press "$win" "$key"
  for i in $(seq 12); do
    sleep 0.25
    now="$(combo_sum "$win")"
    [ "$now" = "$old" ] || break
  done
  echo "$now"
}

# The offsets of the first two one-pixel lines below the grid's top edge
# (client 1,237), in a column clear of the titles' text, from a screenshot;
# the frame and the title's raised edge (offsets 0 and 1) left out.
grid_lines() {  # grid_lines WINDOW SCREENSHOT
  local x y
  read -r x y _ _ < <(wd_client_geometry "$1")
  convert "$2" -crop "1x60+$((x + 300))+$((y + 237))" +repage txt:- |
    sed -n 's/^0,\([0-9]*\):.*\(#[0-9A-Fa-f]\{6\}\).*$/\1 \2/p' |
    awk '{ c[$1] = $2 } END { n = 0; for (i = 3; i < 59 && n < 2; i++)
           if (c[i] != c[i-1] && c[i] != c[i+1]) { printf "%s%d", (n ? " " : ""), i; n++ } }'
}

end_with_escape() {  # end_with_escape CASE
  wd_press "$win" Escape
  if wd_wait_exit "$app_pid" 30; then
    check "$1: Esc ends the program with exit code 0 (got $wd_status)" [ "$wd_status" = 0 ]
  else
    fail "$1: Esc did not end the program"
    kill "$app_pid" 2>/dev/null || true
  fi
  app_pid=""
}

wait_box() {  # wait_box CASE: id of the message box on the screen
  wd_wait_window "$title_re" "$app_pid" 60 || true
}

# ---------------------------------------------------------------- key absent
echo "== the ERP's registry key absent"
wd_reg_delete "$erp_key"
start_program absent
box="$(wait_box absent)"
empty_combo=""
if [ -z "$box" ]; then
  fail "key absent: no window captioned \"Contabilización ventas POS\" appeared"
else
  pass "key absent: a box captioned \"Contabilización ventas POS\" appears"
  check "key absent: the box is drawn" wd_wait_settled "$box" 10
  shot absent-message
  check "key absent: the main window is not shown while the message is" \
    wd_window_absent "$window_re" 1
  check "key absent: the message is not the system's error box" [ -z "$(box_texts absent)" ]
  wd_press "$box" Return
  win="$(wd_wait_window "$window_re" "$app_pid" 30 || true)"
  if [ -z "$win" ]; then
    fail "key absent: no window after OK"
  else
    pass "key absent: the window opens after OK"
    check "key absent: the window is drawn" wd_wait_settled "$win" 10
    empty_combo="$(combo_sum "$win")"
    end_with_escape "key absent"
  fi
fi
app_pid=""

# ---------------------------------------------------------------- the window
echo "== the window, the server list read"
wd_reg_add "$erp_key" Directorio REG_SZ 'C:\Ledgara'
CONTARDC_NO_WINDOW=0 start_program window
win="$(wd_wait_window "$window_re" "$app_pid" 60 || true)"
if [ -z "$win" ]; then
  fail "window: \"Contabilizar recibos\" did not appear"
  cat "$work/window.err" >&2
else
  pass "window: \"Contabilizar recibos\" appears (CONTARDC_NO_WINDOW=0 keeps it)"
  check "window: no message box on a good start" wd_window_absent "$title_re" 1
  check "window: the window is drawn" wd_wait_settled "$win" 10
  shot window
  # The control of the "never loaded" checks of the runs without a window:
  # the same trace names the module where it is loaded.
  check "window: Wine's DLL trace names contardc_window.dll when the window shows" \
    grep -qi "contardc_window.dll" "$work/window.err"
  read -r cx cy cw ch < <(wd_client_geometry "$win")
  check_that "window: client area 358 x 371 (got $cw x $ch)" '[ "$cw" = 358 ] && [ "$ch" = 371 ]'
  # Centred by the frame Windows draws (16 wider and 39 taller than the
  # client); under openbox the frame is the window manager's, so the client's
  # centre is allowed that much off the screen's.
  dx=$((2 * cx + cw - screen_w)); dy=$((2 * cy + ch - screen_h))
  check_that "window: centred on the ${screen_w}x${screen_h} desktop (client at $cx,$cy)" \
    '[ "${dx#-}" -le 16 ] && [ "${dy#-}" -le 39 ]'
  # Rows follow the window font's line: 13 pixels make the title row 17
  # and a data row 15 high, each with its 1-pixel line, below the 1-pixel
  # frame. A 16-pixel line (what the toolkit makes of the bitmap MS Sans
  # Serif) would put the lines at 21 and 40.
  lines="$(grid_lines "$win" "$shots/window.png")"
  check_that "window: the grid's rows measure a 13-pixel font line (lines at $lines, fonts of Wine: $wine_fonts)" \
    '[ "$lines" = "18 34" ]'
  s0="$(combo_sum "$win")"
  check_that "window: the drop-down shows an entry at start" '[ -n "$empty_combo" ] && [ "$s0" != "$empty_combo" ]'
  s1="$(combo_after Down "$s0")"
  check "window: the first focus is in Servidor (Down picks the next entry)" [ "$s1" != "$s0" ]
  s2="$(combo_after Down "$s1")"
  s3="$(combo_after Down "$s2")"
  shot window-last-server
  check_that "window: the drop-down holds the file's three entries" \
    '[ "$s2" != "$s1" ] && [ "$s2" != "$s0" ] && [ "$s3" = "$s2" ]'
  s4="$(combo_after Home "$s3")"
  check "window: Home comes back to the first entry, the one shown at start" [ "$s4" = "$s0" ]
  end_with_escape window
fi

# ---------------------------------------------------------------- Qt's plugins
# qt.conf names the folder as Qt's prefix and plugin folder, so that where Qt
# looks does not hang on where it finds its own DLLs. Wine's trace of the
# files opened shows every place Qt looked for plugins: all inside the folder.
echo "== Qt's plugins from the program's folder only"
check_that "qt.conf: shipped in the folder" '[ -f "$folder/qt.conf" ]'
WINEDEBUG=-all,trace+file "$wd_wine" "$folder/contardc.exe" >"$work/plugins.out" 2>"$work/plugins.err" &
app_pid=$!
win="$(wd_wait_window "$window_re" "$app_pid" 60 || true)"
if [ -n "$win" ]; then end_with_escape plugins; else fail "plugins: no window"; kill "$app_pid" 2>/dev/null; fi
app_pid=""
folder_win="$("$wd_wine" winepath -w "$folder" 2>/dev/null | tr -d '\r')"
grep -a -o -i 'L"[^"]*\\\(plugins\|platforms\|styles\|imageformats\)\(\\[^"]*\)\{0,1\}"' "$work/plugins.err" |
  sed 's/^L"//; s/"$//; s/\\\\/\\/g; s/^\\\\?\\//; s/^\\??\\//' | sort -u >"$work/plugins.paths"
inside="$(grep -c -i -F "$folder_win\\" "$work/plugins.paths" || true)"
outside="$(grep -v -i -F "$folder_win\\" "$work/plugins.paths" || true)"
check_that "qt.conf: Qt looked for its plugins in the folder ($inside places)" '[ "$inside" -gt 0 ]'
check_that "qt.conf: and nowhere else (${outside//$'\n'/, })" '[ -z "$outside" ]'

# ------------------------------------------- wrong value type, then F2 with no client
echo "== a REG_DWORD value, then F2 with no Firebird client"
wd_reg_add "$erp_key" Directorio REG_DWORD 7
start_program dword
box="$(wait_box dword)"
if [ -z "$box" ]; then
  fail "REG_DWORD: no message box appeared"
else
  check "REG_DWORD: the box is drawn" wd_wait_settled "$box" 10
  shot dword-message
  check "REG_DWORD: the system's error box says \"Invalid data type for 'Directorio'\"" \
    [ "$(box_texts dword)" = "Invalid data type for 'Directorio'" ]
  check "REG_DWORD: the main window is not shown while the message is" wd_window_absent "$window_re" 1
  wd_press "$box" Return
  win="$(wd_wait_window "$window_re" "$app_pid" 30 || true)"
  if [ -z "$win" ]; then
    fail "REG_DWORD: no window after OK"
  else
    pass "REG_DWORD: the window opens after OK"
    check "REG_DWORD: the window is drawn" wd_wait_settled "$win" 10
    check "REG_DWORD: no server list loaded" [ "$(combo_sum "$win")" = "$empty_combo" ]
    wd_press "$win" F2
    box="$(wait_box dword)"
    if [ -z "$box" ]; then
      fail "F2: no message box appeared"
    else
      check "F2: the box is drawn" wd_wait_settled "$box" 10
      shot f2-message
      texts="$(box_texts dword | tail -n +2)"
      check "F2: the error box says \"Unable to Load fbclient.dll.\" (got \"$texts\")" \
        [ "$texts" = "Unable to Load fbclient.dll." ]
      wd_press "$box" Return
      check "F2: the message box is gone" wd_wait_gone "$title_re" 10
      check "F2: after OK the window is still open" \
        [ -n "$(xdotool search --onlyvisible --name "$window_re" 2>/dev/null)" ]
      if kill -0 "$app_pid" 2>/dev/null; then end_with_escape F2; else fail "F2: the program ended"; fi
    fi
  fi
fi
app_pid=""

# ---------------------------------------------------------------- no window
# run_headless CASE LAUNCHER [ARGUMENT...]: the program run to its end with
# its output redirected; the window's title watched for while it runs.
run_headless() {
  local name="$1" launcher="$2" seen=""
  shift 2
  if [ "$launcher" = hidden ]; then
    WINEDEBUG=-all,trace+loaddll "$wd_wine" "$work/hidden_station.exe" "$exe_win" "$@" \
      >"$work/$name.out" 2>"$work/$name.raw" &
  else
    CONTARDC_NO_WINDOW=1 WINEDEBUG=-all,trace+loaddll "$wd_wine" "$folder/contardc.exe" "$@" \
      >"$work/$name.out" 2>"$work/$name.raw" &
  fi
  app_pid=$!
  for _ in $(seq 240); do
    [ -z "$(xdotool search --name 'Contabiliz' 2>/dev/null)" ] || seen=1
    kill -0 "$app_pid" 2>/dev/null || break
    sleep 0.25
  done
  if ! wd_wait_exit "$app_pid" 5; then
    fail "$name: the program did not end within a minute"
    kill "$app_pid" 2>/dev/null || true
    app_pid=""
    return 1
  fi
  app_pid=""
  headless_status="$wd_status"
  # Wine's own trace lines apart from what the program wrote.
  grep -v '^[0-9a-f]*:\(trace\|fixme\|err\|warn\):' "$work/$name.raw" >"$work/$name.err" || true
  check "$name: no window appears" [ -z "$seen" ]
  check "$name: the window module is never loaded" \
    bash -c '! grep -qi "contardc_window.dll" "$1"' _ "$work/$name.raw"
}

echo "== no window: told by CONTARDC_NO_WINDOW=1, and in a window station nobody sees"
wd_reg_add "$erp_key" Directorio REG_SZ 'C:\Ledgara'
args=('localhost:C:\Ledgara' SYSDBA clave 01 S)
for how in variable hidden; do
  if run_headless "$how" "$how" "${args[@]}"; then
    check "$how: exit code 78, a configuration to mend (got $headless_status)" [ "$headless_status" = 78 ]
    check "$how: one line on standard error, \"Unable to Load fbclient.dll.\"" \
      [ "$(cat "$work/$how.err")" = "$(printf 'Unable to Load fbclient.dll.\r')" ]
    check "$how: nothing on standard output" [ ! -s "$work/$how.out" ]
  fi
done
if run_headless hidden-no-arguments hidden; then
  check_that "hidden, no arguments: exit code 1 and one line saying why" \
    '[ "$headless_status" = 1 ] && [ "$(wc -l <"$work/hidden-no-arguments.err")" = 1 ] &&
     grep -q "no visible desktop" "$work/hidden-no-arguments.err"'
fi

echo "== no window, key absent: the notice as the program's bytes, and in the console of cmd.exe"
wd_reg_delete "$erp_key"
notice='No se encontr\363 la Clave HKEY_LOCAL_MACHINE\\Software\\Vantel\\LedgaraERP2026\\Directorio\r\n'
if run_headless redirected variable "${args[@]}"; then
  check "redirected: the notice in Windows-1252 on standard output, CR LF ended" \
    cmp -s "$work/redirected.out" <(printf "$notice")
  check "redirected: exit code 78" [ "$headless_status" = 78 ]
fi
# cmd.exe in a terminal of its own: Wine gives it a console there, which the
# program joins. start /wait, as a user would type it, since cmd.exe does not
# wait for a windowed program otherwise.
printf '@echo off\r\nstart "" /wait "%s" %s\r\necho exit code %%ERRORLEVEL%%\r\n' "$exe_win" "${args[*]}" \
  >"$WINEPREFIX/drive_c/posting.cmd"
CONTARDC_NO_WINDOW=1 WINEDEBUG=-all script -qec "stty cols 200 rows 50; '$wd_wine' cmd /c 'C:\posting.cmd'" \
  "$work/console.txt" >/dev/null 2>&1 </dev/null || true
# The terminal's escapes and line ends aside.
console_text="$(sed 's/\x1b\[[0-9;?]*[a-zA-Z]//g; s/\r//g' "$work/console.txt")"
check "console: the notice arrives as text (\"encontró\" in the terminal's UTF-8)" \
  grep -qF 'No se encontró la Clave HKEY_LOCAL_MACHINE\Software\Vantel\LedgaraERP2026\Directorio' <<<"$console_text"
check "console: the error line arrives" grep -qxF 'Unable to Load fbclient.dll.' <<<"$console_text"
check "console: cmd.exe sees exit code 78" grep -qxF 'exit code 78' <<<"$console_text"

echo "== $passes passed, $failures failed (screenshots: $shots)"
[ "$failures" -eq 0 ]
