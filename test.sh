#!/usr/bin/env bash
# Installs what is missing, builds, starts what the tests need and runs every test.
set -euo pipefail
here="$(cd "$(dirname "${BASH_SOURCE[0]}")" && pwd)"
source "$here/scripts/deps.sh"
contardc_install_deps
cmake -S "$here" -B "$here/build" -DCMAKE_BUILD_TYPE=RelWithDebInfo -DCONTARDC_WERROR=ON >/dev/null
cmake --build "$here/build" --parallel "$(nproc)"
export QT_QPA_PLATFORM=offscreen
cd "$here/build"
ctest --output-on-failure --timeout 600 "$@"
