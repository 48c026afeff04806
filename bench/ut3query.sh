#!/usr/bin/env bash
# Queries 1,000 fake UT3 servers on 127.0.0.1 with skirvane-query and with
# Debian's quakestat, side by side, and prints the median wall time of each,
# the ratio, the peak memory of each and how many servers each missed.
# Target: skirvane-query in at most 0.4 of quakestat's time, none missed,
# peak RSS at most 16 MiB.
#
#   bench/ut3query.sh                  # 11 rounds, ports 21000-21999
#   COUNT="1000 10000" bench/ut3query.sh   # each count in turn, then both side by side
#   RUNS=21 BASE_PORT=23000 bench/ut3query.sh
#   THREADS=1 bench/ut3query.sh        # the fake servers answer on one thread (default: one per core)
#
# The ports stay below the system's ephemeral range (32768 and up), so no
# client socket of this machine can be holding one of them.
set -euo pipefail
cd "$(dirname "$0")/.."

runs=${RUNS:-11}
TIMEFORMAT='%3U %3S'
counts=${COUNT:-1000}
base=${BASE_PORT:-21000}
players=${PLAYERS:-4}
threads=${THREADS:-$(nproc)}
build=build/release

cmake --preset release >/dev/null
cmake --build "$build" --target skirvane-query fake-ut3-server -j 2 >/dev/null

work=$(mktemp -d)
server_pid=
cleanup() {
    [ -n "$server_pid" ] && kill "$server_pid" 2>/dev/null && wait "$server_pid" 2>/dev/null
    rm -rf "$work"
}
trap cleanup EXIT

# One set of servers for every count: each count asks the first of them.
count=$(printf '%s\n' $counts | sort -n | tail -1)
"$build/bin/fake-ut3-server" --count "$count" --port "$base" --players "$players" --threads "$threads" >"$work/server.out" 2>&1 &
server_pid=$!
for _ in $(seq 100); do
    grep -q listening "$work/server.out" 2>/dev/null && break
    kill -0 "$server_pid" 2>/dev/null || { cat "$work/server.out" >&2; exit 1; }
    sleep 0.05
done

bench_count() {
    local count=$1
    rm -f "$work/ours.runs" "$work/qstat.runs"
    for ((port = base; port < base + count; ++port)); do echo "127.0.0.1:$port"; done >"$work/ours.txt"
    sed 's/^/UT3S /' "$work/ours.txt" >"$work/qstat.txt"

    # qstat at its fastest: every server in flight at once (-maxsim), raw output,
    # and -P, without which it never sends the status request after the challenge.
    ours=("$build/bin/skirvane-query" -f "$work/ours.txt")
    qstat=(quakestat -maxsim "$count" -raw , -P -f "$work/qstat.txt")

    # One run: wall milliseconds, peak resident KiB, servers missed, CPU
    # milliseconds (user and system).
    measure() {
        local name=$1; shift
        local start end
        start=$(date +%s%N)
        # bash's time gives CPU time to the millisecond (GNU time's to 10 ms);
        # it includes GNU time's own, under a millisecond.
        { time /usr/bin/time -f %M -o "$work/$name.mem" "$@" >"$work/$name.out" 2>"$work/$name.err" || true; } 2>"$work/$name.cpu"
        end=$(date +%s%N)
        local answered
        if [ "$name" = ours ]; then
            # A header and one line per server that answered.
            answered=$(($(grep -c . "$work/ours.out") - 1))
        else
            # Answered servers have numbers in their player and ping fields; the
            # others say DOWN, TIMEOUT or ERROR there.
            answered=$(grep -cE '^UT3S,[^,]*,.*,[0-9]+,[0-9]+,[0-9]+,[0-9]+$' "$work/qstat.out" || true)
        fi
        local mem cpu
        mem=$(tail -1 "$work/$name.mem")
        cpu=$(awk '{ printf "%d", ($1 + $2) * 1000 }' "$work/$name.cpu")
        echo "$(((end - start) / 1000000)) $mem $((count - answered)) $cpu" >>"$work/$name.runs"
    }

    # One round of each not counted: caches, first page-ins.
    measure ours "${ours[@]}"; measure qstat "${qstat[@]}"
    rm -f "$work/ours.runs" "$work/qstat.runs"
    for ((round = 0; round < runs; ++round)); do
        # Alternate which goes first, so that neither always meets a warmer server.
        if ((round % 2 == 0)); then
            measure ours "${ours[@]}"; measure qstat "${qstat[@]}"
        else
            measure qstat "${qstat[@]}"; measure ours "${ours[@]}"
        fi
    done

    median() { sort -n | awk '{ v[NR] = $1 } END { print (NR % 2) ? v[(NR + 1) / 2] : (v[NR / 2] + v[NR / 2 + 1]) / 2 }'; }
    report() {
        local name=$1 label=$2
        local time mem missed cpu
        time=$(cut -d' ' -f1 "$work/$name.runs" | median)
        mem=$(cut -d' ' -f2 "$work/$name.runs" | median)
        missed=$(cut -d' ' -f3 "$work/$name.runs" | sort -n | tail -1)
        cpu=$(cut -d' ' -f4 "$work/$name.runs" | median)
        printf '%-15s median %6s ms  CPU %4s ms  peak RSS %6s KiB  missed (worst run) %s\n    runs (ms): %s\n' \
            "$label" "$time" "$cpu" "$mem" "$missed" "$(cut -d' ' -f1 "$work/$name.runs" | tr '\n' ' ' | sed 's/ $//')"
        eval "${name}_time=$time; ${name}_missed=$missed; ${name}_mem=$mem"
    }

    echo "$count fake servers on 127.0.0.1:$base-$((base + count - 1)), $players players each, answering on $threads thread(s), $runs rounds"
    report ours skirvane-query
    report qstat quakestat
    awk -v a="$ours_time" -v b="$qstat_time" -v m="$ours_missed" -v kib="$ours_mem" 'BEGIN {
        r = a / b
        printf "ratio skirvane-query / quakestat: %.2f (target at most 0.40, none missed, at most 16 MiB): %s\n", r,
            (r <= 0.4 && m == 0 && kib <= 16 * 1024) ? "met" : "NOT met"
    }'
    echo
    printf '%6s %10s %10s %6s %10s %10s %10s\n' "$count" "$ours_time" "$qstat_time" \
        "$(awk -v a="$ours_time" -v b="$qstat_time" 'BEGIN { printf "%.2f", a / b }')" "$ours_mem" "$qstat_mem" "$ours_missed" >>"$work/summary"
}

for c in $counts; do
    bench_count "$c"
done
echo "side by side (medians; ms, KiB; missed in the worst run):"
printf '%6s %10s %10s %6s %10s %10s %10s\n' servers ours_ms qstat_ms ratio ours_kib qstat_kib missed
cat "$work/summary"
