# Pieces for running the Windows program under Wine on a desktop of its own.
# Sourced (not run) by the scripts that drive contardc.exe under Wine:
#
#   source tests/win/wine_desktop.sh
#   wd_find_tools || { echo "SKIPPED: $wd_missing"; exit 77; }
#   work="$(mktemp -d)"; trap wd_stop EXIT
#   wd_start_desktop "$work"           # Xvfb + openbox, DISPLAY exported
#   wd_make_prefix "$work/wine"        # a Wine prefix of its own
#   wd_reg_add 'HKLM\Software\Vantel\LedgaraERP2026' Directorio REG_SZ 'C:\Ledgara'
#   "$wd_wine" "$exe" >"$work/out" 2>"$work/err" & pid=$!
#   win="$(wd_wait_window '^Contabilizar recibos$' "$pid" 60)"
#   xdotool key Escape; wd_wait_exit "$pid" 30; echo "exit code $wd_status"
#
# Functions (all names start with wd_, so the caller's own stay free):
#   wd_find_tools       sets wd_wine and wd_wineserver (64-bit Wine, called
#                       directly: the "wine" wrapper complains about wine32 on
#                       every call) and checks Xvfb, openbox, xdotool and
#                       xwininfo; returns 1 with wd_missing saying what is
#                       missing.
#   wd_start_desktop D  starts Xvfb (1024x768, display number chosen by the
#                       server, no TCP) and openbox, waits until openbox is the
#                       window manager, exports DISPLAY; files go into D. The
#                       screen is also the file D/Xvfb_screen0 (XWD), which
#                       can be read far faster than a client can fetch it
#                       (desktop_start_display and desktop_start_wm of
#                       tests/desktop.sh).
#   wd_make_prefix P    exports WINEPREFIX=P (64-bit, no Mono or Gecko
#                       installers, no Wine debug output) and creates it with
#                       wineboot; Wine's ANSI code page is 1252 (C locale),
#                       the one of the ERP's Spanish installations.
#   wd_add_wine_fonts   copies Wine's own fonts (Debian package fonts-wine:
#                       MS Sans Serif, Tahoma and the other faces Windows
#                       has) into the prefix, where this Wine looks for them;
#                       returns 1 when they are not installed.
#   wd_reg_add KEY VALUE TYPE [DATA]
#                       writes a registry value with Wine's own reg.exe in the
#                       32-bit view, where the 32-bit ERP writes its key.
#   wd_reg_delete KEY   removes a key (32-bit view); no error when absent.
#   wd_windows_env NAME VALUE
#                       sets an environment variable for the Windows programs
#                       started afterwards, in the prefix's user environment:
#                       Wine hands them no variable named QT_... from the
#                       Linux environment.
#   wd_wait_window NAME PID SECS
#                       prints the id of the first visible window whose title
#                       matches the regular expression NAME, waiting up to SECS
#                       seconds; returns 1 when none appears in time or the
#                       process PID ends first.
#   wd_window_absent NAME SECS
#                       returns 0 when no window titled NAME is seen during SECS.
#   wd_wait_gone NAME SECS
#                       returns 0 once no window titled NAME is visible, 1
#                       when one still is after SECS.
#   wd_wait_settled WIN SECS
#                       returns 0 once WIN's client area is drawn and still
#                       (a blinking caret aside); 1 when it is not within
#                       SECS (ImageMagick's import).
#   wd_client_geometry WIN
#                       prints "X Y W H" of the window's client area on the
#                       screen (xwininfo: openbox's frame left out).
#   wd_press WIN KEY... activates WIN and presses the keys with real key
#                       events (XTEST): Wine ignores synthetic ones.
#   wd_wait_exit PID SECS
#                       waits up to SECS seconds for PID (a child of the
#                       caller's shell) to end; sets wd_status to its exit
#                       code; returns 1 (wd_status empty) when it is still
#                       running.
#   wd_stop             ends the Wine server of the prefix, openbox and Xvfb
#                       (only the processes started here); safe to call twice
#                       and from an EXIT trap.

# The display and its window manager are the Linux tests' own (tests/desktop.sh).
source "$(dirname "${BASH_SOURCE[0]}")/../desktop.sh"

wd_wine="" wd_wineserver="" wd_missing="" wd_status=""

wd_find_tools() {
  wd_missing=""
  if [ -x /usr/lib/wine/wine64 ]; then
    wd_wine=/usr/lib/wine/wine64
  elif command -v wine64 >/dev/null; then
    wd_wine="$(command -v wine64)"
  elif command -v wine >/dev/null; then
    wd_wine="$(command -v wine)"
  else
    wd_missing="Wine is not installed (Debian package wine64)"
    return 1
  fi
  if [ -x /usr/lib/wine/wineserver64 ]; then
    wd_wineserver=/usr/lib/wine/wineserver64
  elif command -v wineserver >/dev/null; then
    wd_wineserver="$(command -v wineserver)"
  else
    wd_missing="wineserver is not installed (Debian package wine64)"
    return 1
  fi
  local tool pkg
  for tool in Xvfb:xvfb openbox:openbox xdotool:xdotool xwininfo:x11-utils xprop:x11-utils; do
    pkg="${tool#*:}"
    tool="${tool%%:*}"
    if ! command -v "$tool" >/dev/null; then
      wd_missing="$tool is not installed (Debian package $pkg)"
      return 1
    fi
  done
}

wd_start_desktop() {
  desktop_start_display "$1" && desktop_start_wm "$1"
}

wd_make_prefix() {
  export WINEPREFIX="$1" WINEARCH=win64 WINEDEBUG=-all
  export WINEDLLOVERRIDES="mscoree,mshtml="
  export LC_ALL=C.UTF-8
  mkdir -p "$WINEPREFIX"
  if ! "$wd_wine" wineboot -i >"$WINEPREFIX.wineboot.log" 2>&1; then
    cat "$WINEPREFIX.wineboot.log" >&2
    return 1
  fi
  "$wd_wineserver" -w >/dev/null 2>&1 || true
}

# Faces Wine draws whole. Wine's GDI reports glyph boxes that the glyph's
# own ink leaves for some glyphs of Liberation Sans 1.07 at 11 pixels ("I",
# "t", "!", "w": GetGlyphOutline's black box starts a pixel right of where
# ExtTextOut inks; tests/win/blackbox_probe.cpp shows it), and the toolkit's
# GDI font engine crops each glyph to that box: "NIIF" came out as "N  F".
# Liberation Sans 2 (Debian's fonts-liberation2: the same metrics) has no
# such glyph among the program's texts, and where both are installed Wine
# takes the newer version of a face. Liberation Sans Narrow has no version
# 2, and its "2" loses a column the same way: "Arial Narrow", the buttons'
# face (Windows has it with Office), is Nimbus Sans Narrow in the prefix.
wd_add_wine_fonts() {
  local fonts=/usr/share/wine/fonts
  [ -f "$fonts/sserife.fon" ] || return 1
  mkdir -p "$WINEPREFIX/drive_c/windows/Fonts"
  cp "$fonts"/* "$WINEPREFIX/drive_c/windows/Fonts/"
  if fc-list "Nimbus Sans Narrow" | grep -q .; then
    "$wd_wine" reg add 'HKCU\Software\Wine\Fonts\Replacements' /v 'Arial Narrow' /t REG_SZ \
      /d 'Nimbus Sans Narrow' /f >/dev/null
  fi
}

wd_reg_add() {
  local key="$1" value="$2" type="$3"
  if [ $# -ge 4 ]; then
    "$wd_wine" reg add "$key" /v "$value" /t "$type" /d "$4" /reg:32 /f >/dev/null
  else
    "$wd_wine" reg add "$key" /v "$value" /t "$type" /reg:32 /f >/dev/null
  fi
}

wd_reg_delete() {
  "$wd_wine" reg delete "$1" /reg:32 /f >/dev/null 2>&1 || true
}

wd_windows_env() {
  "$wd_wine" reg add 'HKCU\Environment' /v "$1" /t REG_SZ /d "$2" /f >/dev/null
}

wd_wait_window() {
  local name="$1" pid="$2" secs="$3" i win
  for i in $(seq $((secs * 4))); do
    win="$(xdotool search --onlyvisible --name "$name" 2>/dev/null | head -n1 || true)"
    if [ -n "$win" ]; then
      echo "$win"
      return 0
    fi
    kill -0 "$pid" 2>/dev/null || return 1
    sleep 0.25
  done
  return 1
}

wd_window_absent() {
  local name="$1" secs="$2" i
  for i in $(seq $((secs * 4))); do
    [ -z "$(xdotool search --onlyvisible --name "$name" 2>/dev/null || true)" ] || return 1
    sleep 0.25
  done
  return 0
}

# wd_wait_gone NAME SECS: 0 once no visible window is named NAME, 1 when one
# still is at the deadline.
wd_wait_gone() {
  local name="$1" secs="$2" i
  for i in $(seq $((secs * 4))); do
    [ -z "$(xdotool search --onlyvisible --name "$name" 2>/dev/null || true)" ] && return 0
    sleep 0.25
  done
  return 1
}

wd_client_geometry() {
  xwininfo -id "$1" | awk '
    /Absolute upper-left X:/ {x=$NF} /Absolute upper-left Y:/ {y=$NF}
    /^ *Width:/ {w=$NF} /^ *Height:/ {h=$NF}
    END {print x, y, w, h}'
}

# wd_wait_settled WINDOW SECS: waits until the window's client area is
# drawn (more than one colour) and still: over the last six samples, 0.15 s
# apart, at most two pictures, the newest seen at least twice (a text caret
# blinks between two). The next key or screenshot then meets the state the
# program reached rather than one a fixed pause hoped for; 1 when it is still
# changing, or blank, at the deadline.
wd_wait_settled() {
  local win="$1" secs="$2" i x y w h sample
  local -a seen=()
  for i in $(seq $((secs * 7))); do
    read -r x y w h < <(wd_client_geometry "$win")
    [ -n "$w" ] || return 1
    sample="$(import -window root -crop "${w}x${h}+${x}+${y}" +repage miff:- 2>/dev/null |
      convert miff:- -format '%k %#' info: 2>/dev/null)"
    if [ -z "$sample" ] || [ "${sample%% *}" -le 1 ]; then
      seen=()
    else
      seen+=("$sample")
      if [ "${#seen[@]}" -ge 6 ]; then
        seen=("${seen[@]: -6}")
        if [ "$(printf '%s\n' "${seen[@]}" | sort -u | wc -l)" -le 2 ] &&
          [ "$(printf '%s\n' "${seen[@]}" | grep -cxF "$sample")" -ge 2 ]; then
          return 0
        fi
      fi
    fi
    sleep 0.15
  done
  return 1
}

wd_press() {
  local win="$1"
  shift
  xdotool windowactivate --sync "$win" >/dev/null 2>&1 || xdotool windowfocus --sync "$win" >/dev/null 2>&1 || true
  xdotool key --delay 100 "$@"
}

wd_wait_exit() {
  local pid="$1" secs="$2" i
  wd_status=""
  for i in $(seq $((secs * 4))); do
    kill -0 "$pid" 2>/dev/null || break
    sleep 0.25
  done
  kill -0 "$pid" 2>/dev/null && return 1
  wd_status=0
  wait "$pid" || wd_status=$?
  return 0
}

wd_stop() {
  if [ -n "${WINEPREFIX:-}" ] && [ -n "$wd_wineserver" ]; then
    "$wd_wineserver" -k >/dev/null 2>&1 || true
    "$wd_wineserver" -w >/dev/null 2>&1 || true
  fi
  desktop_stop
}
