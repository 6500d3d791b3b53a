#!/usr/bin/env bash
# Installs what is missing, builds, prepares the demo company and starts the tool on it.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/scripts/deps.sh"
contardc_install_deps
cmake -S "$here" -B "$here/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$here/build" --parallel "$(nproc)" >/dev/null
if [ -x "$here/db/make_demo.sh" ]; then
  source "$here/db/make_demo.sh"
  contardc_make_demo "$here/build/demo"
fi
if [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}${QT_QPA_PLATFORM:-}" ]; then
  echo "contardc needs a display to show its window (DISPLAY is not set)." >&2
  exit 1
fi
exec "$here/build/contardc" "$@"
