#!/usr/bin/env bash
# Renders the Windows program's main window, run under Wine on a virtual
# display with Wine's own Windows fonts, to docs/windows-window.png (the
# client area, 358 x 371, as docs/main-window.png is for Linux).
#
#   scripts/screenshot-windows.sh [output.png]
#
# Takes build-windows/contardc/, and runs scripts/build-windows.sh first when
# that folder has no contardc.exe.
set -euo pipefail
repo="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="${1:-$repo/docs/windows-window.png}"
folder="$repo/build-windows/contardc"
source "$repo/scripts/deps.sh"
contardc_install_windows_qt_deps
[ -f "$folder/contardc.exe" ] || "$repo/scripts/build-windows.sh"

source "$repo/tests/win/wine_desktop.sh"
wd_find_tools || { echo "screenshot-windows: $wd_missing" >&2; exit 1; }
work="$(mktemp -d "${TMPDIR:-/tmp}/contardc-shot.XXXXXX")"
app=""
trap '[ -z "$app" ] || kill "$app" 2>/dev/null || true; wd_stop; rm -rf "$work"' EXIT
wd_start_desktop "$work/desktop"
wd_make_prefix "$work/wine"
wd_add_wine_fonts || echo "screenshot-windows: Wine's own fonts are missing (fonts-wine)" >&2
mkdir -p "$WINEPREFIX/drive_c/Ledgara"
printf 'localhost:C:\\Ledgara\r\n127.0.0.1/3050:D:\\Datos\r\n' >"$WINEPREFIX/drive_c/Ledgara/SERVIDORES.cfg"
wd_reg_add 'HKLM\Software\Vantel\LedgaraERP2026' Directorio REG_SZ 'C:\Ledgara'

"$wd_wine" "$folder/contardc.exe" >"$work/out.log" 2>&1 &
app=$!
win="$(wd_wait_window '^Contabilizar recibos$' "$app" 60)" || {
  cat "$work/out.log" >&2
  echo "screenshot-windows: the window did not appear" >&2
  exit 1
}
sleep 2  # its first paint
mkdir -p "$(dirname "$out")"
import -window "$win" "$out"
wd_press "$win" Escape
wd_wait_exit "$app" 30 || true
app=""
echo "$out"
