#!/usr/bin/env bash
# Load on skirvane-queryd: a cached status page asked for by wrk at 1, 50
# and 200 connections, with a fake UT3 server behind the service, all on
# 127.0.0.1. Beside it, as the reference, nginx serves the same page bytes
# as a static file with one worker process (the service serves on one
# thread) and its access log on (the service logs each request), asked for
# by the same wrk right after. Prints requests per second and p50/p99
# latency of both at each count, the ratio, and the service's peak memory
# (VmHWM) over the whole run.
#
#   bench/queryd.sh                 builds the release preset if needed, then measures
#   SECONDS_EACH=20 bench/queryd.sh longer runs than the default 10 s
#   QUERYD=path/to/skirvane-queryd bench/queryd.sh   another build of the service, to compare
#
# Environment: KEEP_LOGS=1 keeps the service's request log.
set -euo pipefail
export LC_NUMERIC=C
cd "$(dirname "$0")/.."

seconds_each=${SECONDS_EACH:-10}
target_rps=10000
target_p99_ms=10
target_ratio=0.8

[ -f build/release/CMakeCache.txt ] || cmake --preset release >/dev/null
cmake --build build/release -j2 --target skirvane-queryd fake-ut3-server >/dev/null
bin=build/release/bin

work=$(mktemp -d "${TMPDIR:-/tmp}/skirvane-queryd-bench.XXXXXX")
pids=()
cleanup() {
    for pid in "${pids[@]}"; do kill "$pid" 2>/dev/null || true; done
    wait 2>/dev/null || true
    [ -n "${KEEP_LOGS:-}" ] && echo "request log kept in $work" || rm -rf "$work"
}
trap cleanup EXIT

# The fake game server on the first free port of a few tried.
for game_port in $(shuf -i 20000-60000 -n 20); do
    "$bin/fake-ut3-server" --port "$game_port" --players 16 >"$work/fake.out" 2>"$work/fake.log" &
    fake=$!
    until grep -q listening "$work/fake.out" || ! kill -0 "$fake" 2>/dev/null; do sleep 0.05; done
    kill -0 "$fake" 2>/dev/null && break
done
pids+=("$fake")
# The service on any free port, read from its first line. The per-client
# limit is raised: every wrk connection comes from 127.0.0.1.
"${QUERYD:-$bin/skirvane-queryd}" --listen 127.0.0.1:0 --client-rate 0 --max-connections 1000 --max-client-connections 0 2>"$work/requests.log" &
service=$!
pids+=("$service")
until grep -qs "listening on" "$work/requests.log"; do
    if ! kill -0 "$service" 2>/dev/null; then
        echo "queryd.sh: the service did not start:" >&2
        cat "$work/requests.log" >&2
        exit 1
    fi
    sleep 0.05
done
http_port=$(sed -n 's/.*listening on 127\.0\.0\.1:\([0-9]*\).*/\1/p' "$work/requests.log")

target="/Zyr/Skirvane/skirvane.php?serverip=127.0.0.1&serverqport=$game_port&serverwport=0"
url="http://127.0.0.1:$http_port$target"
# The page's body, as the service sends it.
fetch() {
    exec 3<>"/dev/tcp/127.0.0.1/$http_port"
    printf 'GET %s HTTP/1.0\r\n\r\n' "$target" >&3
    sed '1,/^\r$/d' <&3
    exec 3<&-
}
fetch >"$work/page.html"
grep -q '<table class="players">' "$work/page.html" || { echo "queryd.sh: the service shows no players; see $work" >&2; KEEP_LOGS=1; exit 1; }
page_bytes=$(wc -c <"$work/page.html")

# nginx serving those bytes at the same target. Its worker runs as another
# user when this runs as root, and must read the page.
mkdir "$work/nginx"
chmod go+rx "$work"
nginx_conf() {
    cat <<EOF
daemon off;
worker_processes 1;
pid $work/nginx/nginx.pid;
events { worker_connections 1024; }
http {
  access_log $work/nginx/access.log;
  client_body_temp_path $work/nginx/body;
  proxy_temp_path $work/nginx/proxy;
  fastcgi_temp_path $work/nginx/fastcgi;
  uwsgi_temp_path $work/nginx/uwsgi;
  scgi_temp_path $work/nginx/scgi;
  server {
    listen 127.0.0.1:$1;
    location / { root $work; default_type "text/html; charset=utf-8"; try_files /page.html =404; }
  }
}
EOF
}
# nginx takes no port 0: the first free one of a few tried.
for nginx_port in $(shuf -i 20000-60000 -n 20); do
    nginx_conf "$nginx_port" >"$work/nginx/nginx.conf"
    /usr/sbin/nginx -p "$work/nginx" -c "$work/nginx/nginx.conf" -e "$work/nginx/error.log" &
    nginx=$!
    until [ -s "$work/nginx/nginx.pid" ] || ! kill -0 "$nginx" 2>/dev/null; do sleep 0.05; done
    kill -0 "$nginx" 2>/dev/null && break
done
pids+=("$nginx")
nginx_url="http://127.0.0.1:$nginx_port$target"

# "50.00%  1.23ms" -> milliseconds
to_ms() {
    awk '{ v = $0; u = v; sub(/[a-z]+$/, "", v); sub(/^[0-9.]+/, "", u);
           if (u == "us") v /= 1000; else if (u == "s") v *= 1000; else if (u == "m") v *= 60000;
           printf "%.2f", v }'
}
# One wrk run at $1 connections on $2 threads against $3: "requests/s p50_ms p99_ms errors".
load() {
    local out
    out=$(wrk -t"$2" -c"$1" -d"${seconds_each}s" --latency "$3")
    echo "$(echo "$out" | awk '/^Requests\/sec:/ { printf "%.0f", $2 }')" \
         "$(echo "$out" | awk '$1 == "50%" { print $2 }' | to_ms)" \
         "$(echo "$out" | awk '$1 == "99%" { print $2 }' | to_ms)" \
         "$(echo "$out" | awk '/Non-2xx/ { n += $NF } /Socket errors/ { gsub(/,/, ""); n += $4 + $6 + $8 + $10 } END { print n + 0 }')"
}

echo
echo "cached status page ($page_bytes bytes, 16 players), ${seconds_each} s per run, $(nproc) cores shared with wrk"
row() { printf "%12s %-16s %12s %10s %10s %8s %6s\n" "$@"; }
row connections program requests/s p50_ms p99_ms errors ratio
ratios_met=met
for connections in 1 50 200; do
    threads=$(( connections < 2 ? 1 : 2 ))
    read -r rps p50 p99 errors < <(load "$connections" "$threads" "$url")
    read -r nginx_rps nginx_p50 nginx_p99 nginx_errors < <(load "$connections" "$threads" "$nginx_url")
    ratio=$(awk -v a="$rps" -v b="$nginx_rps" 'BEGIN { printf "%.2f", (b > 0 ? a / b : 0) }')
    row "$connections" skirvane-queryd "$rps" "$p50" "$p99" "$errors" "$ratio"
    row "$connections" nginx "$nginx_rps" "$nginx_p50" "$nginx_p99" "$nginx_errors" ""
    [ "$connections" -eq 200 ] && rps200=$rps && p99_200=$p99
    if [ "$connections" -gt 1 ] && awk -v r="$ratio" -v t="$target_ratio" 'BEGIN { exit !(r < t) }'; then
        ratios_met=MISSED
    fi
done
peak_kib=$(awk '/^VmHWM:/ { print $2 }' "/proc/$service/status")
logged=$(grep -c " GET " "$work/requests.log")
echo
echo "peak memory of the service (VmHWM): $(( peak_kib / 1024 )) MiB; requests logged: $logged"
verdict() { awk -v a="$1" -v b="$2" -v op="$3" 'BEGIN { ok = (op == ">=") ? (a >= b) : (a < b); print ok ? "met" : "MISSED" }'; }
echo "target at 200 connections: >= $target_rps requests/s: $(verdict "$rps200" "$target_rps" ">="); p99 < $target_p99_ms ms: $(verdict "$p99_200" "$target_p99_ms" "<")"
echo "target at 50 and 200 connections: >= $target_ratio x nginx's requests/s: $ratios_met"
