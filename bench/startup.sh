#!/usr/bin/env bash
# Start-up time and memory of Skirvane next to a bare QWebEngineView showing
# the same start page: RUNS runs of each (default 5), alternating, under one
# Xvfb display, with the page served from 127.0.0.1. Prints the median with
# min and max of each figure, stage by stage from the process's start to the
# page loaded, and the ratio Skirvane / bare; the targets are met or not by
# the paired ratio.
#
#   bench/startup.sh            builds the release preset if needed, then measures
#   RUNS=9 bench/startup.sh     more runs
#
# Environment: KEEP_LOGS=1 keeps each run's output (kept anyway on failure);
# QUIET_WAIT (seconds, default 30) is how long each run first
# waits for other programs' browser helper processes to end; they share the
# engine's library pages and would lower the memory figures.
set -euo pipefail
export LC_NUMERIC=C # decimal points for sort and awk
self="$(cd "$(dirname "$0")" && pwd)/$(basename "$0")"
cd "$(dirname "$self")/.."

bin=build/release/bin/bench_startup           # the program
bare_bin=build/release/bin/bench_startup_bare # a bare QWebEngineView
runs=${RUNS:-5}
quiet_wait=${QUIET_WAIT:-30}

if [ "${1:-}" != "--measure" ]; then
    [ -f build/release/CMakeCache.txt ] || cmake --preset release >/dev/null
    cmake --build build/release -j2 --target bench_startup bench_startup_bare >/dev/null
    # The browser engine refuses to start as root with its sandbox on; only
    # then is it turned off. No GPU under Xvfb, and nothing but the local page
    # goes over the network.
    if [ "$(id -u)" -eq 0 ]; then
        export QTWEBENGINE_DISABLE_SANDBOX=1
    fi
    export QTWEBENGINE_CHROMIUM_FLAGS="${QTWEBENGINE_CHROMIUM_FLAGS:---disable-background-networking --no-first-run --disable-gpu}"
    exec xvfb-run -a -s "-screen 0 1280x1024x24" "$self" --measure
fi

logs=$(mktemp -d "${TMPDIR:-/tmp}/skirvane-bench.XXXXXX")

# The page server runs as its own process, outside the processes measured.
# Its output file exists before it starts, so that polling it cannot fail.
: >"$logs/server.out"
"$bin" --serve >"$logs/server.out" 2>"$logs/server.err" &
server_pid=$!
trap 'kill "$server_pid" 2>/dev/null || true' EXIT
host=
for _ in $(seq 100); do
    host=$(sed -n 's/^host=//p' "$logs/server.out")
    [ -n "$host" ] && break
    sleep 0.1
done
if [ -z "$host" ]; then
    echo "startup.sh: the page server did not start; see $logs/server.err" >&2
    exit 1
fi

wait_for_quiet() {
    local waited=0
    while pgrep -x QtWebEngineProc >/dev/null && [ "$waited" -lt $((quiet_wait * 10)) ]; do
        sleep 0.1
        waited=$((waited + 1))
    done
}

# run_one <mode> <label>: one measured run; appends each figure to
# $logs/<mode>.<key> unless label is "warmup".
run_one() {
    local mode=$1 label=$2 program=$bin out
    [ "$mode" = bare ] && program=$bare_bin
    wait_for_quiet
    # The origin is this shell's wall clock just before the program is
    # started: library loading counts as part of the start.
    if ! out=$("$program" --host="$host" --origin-us="${EPOCHREALTIME//[!0-9]/}" \
                   2>"$logs/$mode.$label.err"); then
        echo "startup.sh: $mode run $label failed:" >&2
        echo "$out" >&2
        echo "(its messages: $logs/$mode.$label.err)" >&2
        exit 1
    fi
    echo "$out" >"$logs/$mode.$label.out"
    [ "$label" = warmup ] && return
    local key
    for key in main_ms app_ms built_ms shown_ms loaded_ms pss_kib pss_self_kib uss_kib processes libraries \
               other_browser_processes; do
        sed -n "s/^$key=//p" <<<"$out" >>"$logs/$mode.$key"
    done
}

# The first start after a build reads the libraries from disk; one start of
# each, not counted, puts both on the same footing.
run_one skirvane warmup
run_one bare warmup
for i in $(seq "$runs"); do
    # Alternate which goes first, so that neither always follows the other.
    if [ $((i % 2)) -eq 1 ]; then
        run_one skirvane "$i"; run_one bare "$i"
    else
        run_one bare "$i"; run_one skirvane "$i"
    fi
done

# stats <file> <divisor>: "median min max" of the values, each divided.
stats() {
    sort -n "$1" | awk -v d="$2" '
        { v[NR] = $1 / d }
        END {
            m = (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2
            printf "%.1f %.1f %.1f\n", m, v[1], v[NR]
        }'
}

# paired <key>: median over rounds of skirvane / bare within the round; two
# runs moments apart see much the same machine load.
paired() {
    paste "$logs/skirvane.$1" "$logs/bare.$1" | awk '{ print $1 / $2 }' | sort -g | awk '
        { v[NR] = $1 }
        END { printf "%.3f\n", (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

row() { # row <title> <key> <divisor> <unit> <target|->
    local title=$1 key=$2 div=$3 unit=$4 target=$5 sm smin smax bm bmin bmax ratio pair verdict=
    read -r sm smin smax <<<"$(stats "$logs/skirvane.$key" "$div")"
    read -r bm bmin bmax <<<"$(stats "$logs/bare.$key" "$div")"
    ratio=$(awk -v a="$sm" -v b="$bm" 'BEGIN { printf "%.3f", a / b }')
    pair=$(paired "$key")
    if [ "$target" != - ]; then
        verdict=$(awk -v r="$pair" -v t="$target" 'BEGIN { print (r <= t) ? "target ≤ " t " met" : "OVER the target of " t }')
    fi
    printf "%-24s %8s %-4s [%7s – %7s]   %8s %-4s [%7s – %7s]   %6s  %6s  %s\n" \
        "$title" "$sm" "$unit" "$smin" "$smax" "$bm" "$unit" "$bmin" "$bmax" "$ratio" "$pair" "$verdict"
}

echo
echo "Skirvane start-up and memory: median [min – max] of $runs runs each, under Xvfb, page from $host"
printf "%-24s %-33s   %-33s   %6s  %6s\n" "" "skirvane" "bare QWebEngineView" "ratio" "paired"
row "to main()" main_ms 1 ms -
row "to application made" app_ms 1 ms -
row "to windows built" built_ms 1 ms -
row "to window shown" shown_ms 1 ms -
row "to start page loaded" loaded_ms 1 ms 1.05
row "memory, PSS" pss_kib 1024 MiB 1.03
row "  of which main process" pss_self_kib 1024 MiB -
row "memory, private (USS)" uss_kib 1024 MiB -
row "libraries, main process" libraries 1 "" -
echo
echo "processes measured per run: skirvane $(sort -u "$logs/skirvane.processes" | paste -sd/), bare $(sort -u "$logs/bare.processes" | paste -sd/)"
others=$(cat "$logs/skirvane.other_browser_processes" "$logs/bare.other_browser_processes" | awk '$1 > 0' | wc -l)
if [ "$others" -gt 0 ]; then
    echo "note: other programs' browser processes were running during $others of $((2 * runs)) runs;"
    echo "      they share library pages and lower PSS and USS in those runs."
fi
echo "ratio: of the medians; paired: median of each round's own ratio, which the targets are for"
echo "times run from the launching shell's wall clock just before the program's exec; each stage ends:"
echo "  main()      the libraries loaded and main() entered"
echo "  application the QApplication made"
echo "  windows     the windows made and asked to show"
echo "  shown       the window's first expose; loaded: the browser's first loadFinished"
if [ "${KEEP_LOGS:-0}" = 1 ]; then
    echo "per-run output: $logs"
else
    rm -r "$logs"
fi
