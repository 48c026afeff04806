#!/usr/bin/env bash
# Installs what is missing, builds the release preset and starts Skirvane.
set -euo pipefail
cd "$(dirname "$0")"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "run.sh: no display (DISPLAY and WAYLAND_DISPLAY are unset); start Skirvane from a desktop session." >&2
    exit 1
fi

scripts/install-deps.sh
cmake --preset release >/dev/null
cmake --build --preset release --target skirvane
. scripts/browser-env.sh
exec build/release/bin/skirvane "$@"
