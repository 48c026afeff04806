#!/usr/bin/env bash
# Installs what is missing, builds the dev preset and runs every test under Xvfb.
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh
cmake --preset dev >/dev/null
cmake --build --preset dev -j "$(nproc)"
. scripts/browser-env.sh
exec xvfb-run -a -s "-screen 0 1280x1024x24" ctest --preset dev "$@"
