#!/usr/bin/env bash
# Installs what is missing, builds the dev preset and runs every test under
# Xvfb, beside a throwaway PostgreSQL cluster.
set -euo pipefail
cd "$(dirname "$0")"

scripts/install-deps.sh
. scripts/ccache-env.sh
cmake --preset dev >/dev/null
cmake --build --preset dev -j "$(nproc)"
. scripts/browser-env.sh
exec scripts/with-postgres.sh xvfb-run -a -s "-screen 0 1280x1024x24" ctest --preset dev "$@"
