#!/usr/bin/env bash
# Renders the main window under a virtual X display to docs/main-window.png.
# Usage: scripts/screenshot.sh [output.png] [-- arguments for contardc]
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")/.." && pwd)"
out="${1:-$here/docs/main-window.png}"
shift || true
[ "${1:-}" = "--" ] && shift
source "$here/scripts/deps.sh"
contardc_install_deps imagemagick
[ -x "$here/build/contardc" ] || { cmake -S "$here" -B "$here/build" >/dev/null && cmake --build "$here/build" --parallel "$(nproc)" >/dev/null; }
if [ -x "$here/db/make_demo.sh" ] && [ -z "${LEDGARA_HKLM:-}" ]; then
  source "$here/db/make_demo.sh"
  contardc_make_demo "$here/build/demo" >/dev/null
fi
display=":$((90 + RANDOM % 9))"
Xvfb "$display" -screen 0 1024x768x24 -nolisten tcp -noreset >/dev/null 2>&1 &
xvfb=$!
trap 'kill "$app" 2>/dev/null || true; kill "$xvfb" 2>/dev/null || true' EXIT
sleep 1
DISPLAY="$display" "$here/build/contardc" "$@" &
app=$!
win=$(DISPLAY="$display" timeout 20 xdotool search --sync --onlyvisible --name '^Contabilizar recibos$' | head -n1)
sleep 1
mkdir -p "$(dirname "$out")"
DISPLAY="$display" import -window "$win" "$out"
DISPLAY="$display" xdotool key --window "$win" Escape || true
wait "$app" || true
echo "$out"
