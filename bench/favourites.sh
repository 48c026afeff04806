#!/usr/bin/env bash
# Time to open the favourites window with the main window open: ROUNDS
# openings (default 20) for each of three favourites files, under Xvfb, with
# the main window's start page served from 127.0.0.1. Prints the median with
# min and max per file, then where the time goes.
#
#   bench/favourites.sh             builds the release preset if needed, then measures
#   ROUNDS=50 bench/favourites.sh   more openings per file
#
# Environment: KEEP_LOGS=1 keeps the program's messages (kept anyway on failure).
set -euo pipefail
export LC_NUMERIC=C # decimal points for awk
cd "$(dirname "$0")/.."

bin=build/release/bin/bench_favourites
rounds=${ROUNDS:-20}
target_ms=50

[ -f build/release/CMakeCache.txt ] || cmake --preset release >/dev/null
cmake --build build/release -j2 --target bench_favourites >/dev/null

# The browser engine refuses to start as root with its sandbox on; only then
# is it turned off. No GPU under Xvfb, and nothing but the local page goes
# over the network.
if [ "$(id -u)" -eq 0 ]; then
    export QTWEBENGINE_DISABLE_SANDBOX=1
fi
export QTWEBENGINE_CHROMIUM_FLAGS="${QTWEBENGINE_CHROMIUM_FLAGS:---disable-background-networking --no-first-run --disable-gpu}"

messages=$(mktemp "${TMPDIR:-/tmp}/skirvane-favourites.XXXXXX")
if ! out=$(xvfb-run -a -s "-screen 0 1280x1024x24" "$bin" --rounds="$rounds" 2>"$messages"); then
    echo "favourites.sh: the benchmark failed:" >&2
    echo "$out" >&2
    echo "(its messages: $messages)" >&2
    exit 1
fi

echo
echo "Opening the favourites window: $rounds openings per file, under Xvfb, main window open"
echo "$out" | grep -v '^host='
echo
# The verdict rests on the median of each file's openings.
echo "$out" | awk -v t="$target_ms" '
    $1 == "favourites_open_ms" {
        split($2, f, "="); split($3, m, "=")
        printf "%-7s median %7.2f ms: %s\n", f[2], m[2], (m[2] <= t) ? "within " t " ms" : "OVER " t " ms"
    }'
if [ "${KEEP_LOGS:-0}" = 1 ]; then
    echo "messages: $messages"
else
    rm "$messages"
fi
