#!/usr/bin/env bash
# What watching six favourites costs: two copies of the program side by side
# under one Xvfb display, one watching six favourites (each a fake UT3 server
# behind a real skirvane-queryd on 127.0.0.1) at the default refresh time,
# one not watching. After they settle, their CPU time over IDLE_SECONDS
# (default 600) and their memory at the end.
#
#   bench/watch.sh                          builds the release preset if needed, then measures
#   IDLE_SECONDS=120 bench/watch.sh         a shorter idle time
#   BUILD=build/dev bench/watch.sh          another build folder, already configured
set -euo pipefail
export LC_NUMERIC=C
cd "$(dirname "$0")/.."

build=${BUILD:-build/release}
idle=${IDLE_SECONDS:-600}
settle=${SETTLE_SECONDS:-30}

if [ -z "${SKIRVANE_WATCH_BENCH_INNER:-}" ]; then
    [ -f "$build/CMakeCache.txt" ] || cmake --preset release >/dev/null
    cmake --build "$build" -j2 --target bench_watch skirvane-queryd fake-ut3-server >/dev/null
    if [ "$(id -u)" -eq 0 ]; then
        export QTWEBENGINE_DISABLE_SANDBOX=1
    fi
    export QTWEBENGINE_CHROMIUM_FLAGS="${QTWEBENGINE_CHROMIUM_FLAGS:---disable-background-networking --no-first-run --disable-gpu}"
    # A private session bus, as a desktop has; no notification is expected.
    SKIRVANE_WATCH_BENCH_INNER=1 exec xvfb-run -a -s "-screen 0 1280x1024x24" dbus-run-session -- "$0"
fi

work=$(mktemp -d "${TMPDIR:-/tmp}/skirvane-watch.XXXXXX")
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    rm -rf "$work"
}
trap cleanup EXIT

first_game_port=$((20000 + RANDOM % 20000))
"$build/bin/fake-ut3-server" --count 6 --port "$first_game_port" --players 4 >"$work/games.log" 2>&1 &
pids+=($!)
"$build/bin/skirvane-queryd" --listen 127.0.0.1:0 >"$work/queryd.log" 2>&1 &
pids+=($!)
for _ in $(seq 200); do
    grep -q 'listening on 127.0.0.1:' "$work/queryd.log" && break
    sleep 0.1
done
port=$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/queryd.log" | head -1)
[ -n "$port" ] || { echo "watch.sh: the service did not start:" >&2; cat "$work/queryd.log" >&2; exit 1; }

# Six favourites for the watching copy; none for the other.
mkdir -p "$work/on" "$work/off"
{
    printf '[SERVER]\r\n'
    for slot in 1 2 3 4 5 6; do
        suffix=$([ "$slot" = 1 ] || echo "$slot")
        printf 'ServerName%s=Bench %s\r\nServerIP%s=127.0.0.1\r\nServerPort%s=%s\r\nServerwport%s=0\r\n' \
            "$suffix" "$slot" "$suffix" "$suffix" $((first_game_port + slot - 1)) "$suffix"
    done
} >"$work/on/ut3servers.ini"
cp "$work/on/ut3servers.ini" "$work/off/ut3servers.ini"
# The watching copy also looks for two friends on every server the service knows.
printf '[alerts]\nnames="Player1, Nobody"\n' >"$work/on/skirvane.conf"

"$build/bin/bench_watch" --host "127.0.0.1:$port" --folder "$work/on" --watch 2>"$work/on.log" &
on=$!
pids+=($on)
"$build/bin/bench_watch" --host "127.0.0.1:$port" --folder "$work/off" 2>"$work/off.log" &
off=$!
pids+=($off)
sleep "$settle"

# The process and every process below it.
tree() {
    local all=" $1 " added=1
    while [ "$added" = 1 ]; do
        added=0
        while read -r pid ppid; do
            if [[ "$all" == *" $ppid "* && "$all" != *" $pid "* ]]; then all+="$pid "; added=1; fi
        done < <(ps -e -o pid=,ppid=)
    done
    echo $all
}
# User and system CPU ticks of the given processes.
ticks() {
    local sum=0
    for pid in "$@"; do
        [ -r "/proc/$pid/stat" ] || continue
        sum=$((sum + $(sed 's/.*) //' "/proc/$pid/stat" | awk '{ print $12 + $13 }')))
    done
    echo "$sum"
}
pss() { awk '/^Pss:/ { s += $2 } END { print s + 0 }' "/proc/$1/smaps_rollup"; }
uss() { awk '/^Private_(Clean|Dirty):/ { s += $2 } END { print s + 0 }' "/proc/$1/smaps_rollup"; }

on_tree=$(tree "$on"); off_tree=$(tree "$off")
on_start=$(ticks "$on"); off_start=$(ticks "$off")
on_tree_start=$(ticks $on_tree); off_tree_start=$(ticks $off_tree)
asked_start=$(grep -c 'format=json' "$work/queryd.log" || true)
searched_start=$(grep -c '/players' "$work/queryd.log" || true)
start=$(date +%s.%N)
sleep "$idle"
end=$(date +%s.%N)
on_end=$(ticks "$on"); off_end=$(ticks "$off")
on_tree_end=$(ticks $on_tree); off_tree_end=$(ticks $off_tree)
asked=$(( $(grep -c 'format=json' "$work/queryd.log" || true) - asked_start ))
searched=$(( $(grep -c '/players' "$work/queryd.log" || true) - searched_start ))
on_pss=$(pss "$on"); off_pss=$(pss "$off")
on_uss=$(uss "$on"); off_uss=$(uss "$off")

hz=$(getconf CLK_TCK)
awk -v hz="$hz" -v s="$start" -v e="$end" -v a="$on_start" -v b="$on_end" -v c="$off_start" -v d="$off_end" \
    -v ta="$on_tree_start" -v tb="$on_tree_end" -v tc="$off_tree_start" -v td="$off_tree_end" \
    -v mp="$on_pss" -v mo="$off_pss" -v up="$on_uss" -v uo="$off_uss" -v asked="$asked" -v searched="$searched" -v idle="$idle" '
    BEGIN {
        wall = e - s
        on = (b - a) / hz / wall * 100; off = (d - c) / hz / wall * 100
        printf "Watching six favourites and two friends at the default refresh time, %d s idle (after settling), side by side\n", idle
        printf "  JSON requests seen by the service:  %d, of them player searches:  %d\n", asked, searched
        printf "  CPU, program process:   watching %.3f %%   not watching %.3f %%   difference %.3f %%: %s\n",
               on, off, on - off, (on < 0.5) ? "under 0.5 %" : "OVER 0.5 %"
        printf "  CPU, with its browser helpers:  watching %.3f %%   not watching %.3f %%\n",
               (tb - ta) / hz / wall * 100, (td - tc) / hz / wall * 100
        printf "  memory, program process PSS:  watching %.1f MiB   not watching %.1f MiB   difference %.2f MiB: %s\n",
               mp / 1024, mo / 1024, (mp - mo) / 1024, ((mp - mo) / 1024 < 2) ? "under 2 MiB" : "OVER 2 MiB"
        printf "  memory, program process private (USS):  watching %.1f MiB   not watching %.1f MiB   difference %.2f MiB\n",
               up / 1024, uo / 1024, (up - uo) / 1024
    }'
