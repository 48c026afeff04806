#!/usr/bin/env bash
# What counting for /metrics costs the service: bench/queryd.sh's figures
# with the counters in place (the release build) next to the same runs of a
# build without them (SKIRVANE_SERVICE_COUNTERS=OFF, in build/release-nocounters),
# side by side, with the change in requests/s. Target: no drop over 5 %.
#
#   bench/countercost.sh                   one run of each
#   ROUNDS=3 SECONDS_EACH=20 bench/countercost.sh   medians of 3 runs each, 20 s per load
#
# Rounds alternate which build goes first, so that neither always meets a
# warmer or a busier machine.
set -euo pipefail
export LC_NUMERIC=C
cd "$(dirname "$0")/.."

rounds=${ROUNDS:-1}
without=build/release-nocounters

[ -f build/release/CMakeCache.txt ] || cmake --preset release >/dev/null
[ -f "$without/CMakeCache.txt" ] || cmake --preset release -B "$without" -DSKIRVANE_SERVICE_COUNTERS=OFF >/dev/null
cmake --build build/release -j2 --target skirvane-queryd fake-ut3-server >/dev/null
cmake --build "$without" -j2 --target skirvane-queryd >/dev/null

work=$(mktemp -d "${TMPDIR:-/tmp}/skirvane-countercost.XXXXXX")
trap 'rm -rf "$work"' EXIT

# The service's rows of bench/queryd.sh's table, as: connections requests/s p50_ms p99_ms.
measure() {
    local name=$1 queryd=$2
    QUERYD=$queryd bench/queryd.sh >"$work/$name.out"
    awk '$2 == "skirvane-queryd" && $1 ~ /^[0-9]+$/ { print $1, $3, $4, $5 }' "$work/$name.out" >>"$work/$name.rows"
}

for ((round = 0; round < rounds; ++round)); do
    if ((round % 2 == 0)); then
        measure with build/release/bin/skirvane-queryd; measure without "$without/bin/skirvane-queryd"
    else
        measure without "$without/bin/skirvane-queryd"; measure with build/release/bin/skirvane-queryd
    fi
done

# The median of a column for one number of connections.
median() {
    awk -v c="$2" -v f="$3" '$1 == c { print $f }' "$work/$1.rows" | sort -n |
        awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'
}

echo "skirvane-queryd with and without counters, $rounds run(s) each (medians), cached status page"
printf "%12s %14s %14s %8s %12s %12s\n" connections "req/s with" "req/s without" change "p99_ms with" "p99 without"
worst=0
for connections in $(awk '{ print $1 }' "$work/with.rows" | sort -nu); do
    a=$(median with "$connections" 2) b=$(median without "$connections" 2)
    change=$(awk -v a="$a" -v b="$b" 'BEGIN { printf "%+.1f", (a - b) / b * 100 }')
    printf "%12s %14s %14s %7s%% %12s %12s\n" "$connections" "$a" "$b" "$change" \
        "$(median with "$connections" 4)" "$(median without "$connections" 4)"
    worst=$(awk -v w="$worst" -v c="$change" 'BEGIN { print (c < w) ? c : w }')
done
echo "largest drop with counters: ${worst#-} %; target at most 5 %: $(awk -v w="$worst" 'BEGIN { print (w >= -5) ? "met" : "MISSED" }')"
