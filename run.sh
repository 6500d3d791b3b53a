#!/usr/bin/env bash
# Installs what is missing, builds, prepares the demo company and starts the tool on it.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/scripts/deps.sh"
contardc_install_deps
cmake -S "$here" -B "$here/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo >/dev/null
cmake --build "$here/build" --parallel "$(nproc)" >/dev/null
source "$here/db/make_demo.sh"
contardc_make_demo "$here/build/demo"   # exports LEDGARA_HKLM, and FIREBIRD_LOCK (build/demo/lock) unless set
if [ $# -eq 0 ] && [ -z "${DISPLAY:-}${WAYLAND_DISPLAY:-}${QT_QPA_PLATFORM:-}" ]; then
  # No display: post the demo company's receipts of today unattended and show what was posted.
  echo "No display: posting today's receipts of the demo company 01 unattended." >&2
  exec "$here/build/contardc" "$here/build/demo" SYSDBA tallowbin 01 N
fi
exec "$here/build/contardc" "$@"
