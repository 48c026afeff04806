#!/usr/bin/env bash
# Installs what is missing, builds the release preset, starts the query
# service when nothing answers on the main query host yet, then Skirvane;
# stops the service it started when Skirvane ends.
set -euo pipefail
cd "$(dirname "$0")"

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "run.sh: no display (DISPLAY and WAYLAND_DISPLAY are unset); start Skirvane from a desktop session." >&2
    exit 1
fi

scripts/install-deps.sh
. scripts/ccache-env.sh
cmake --preset release >/dev/null
cmake --build --preset release --target skirvane skirvane-queryd
. scripts/browser-env.sh

# The host the program was built to ask, as "host:port" (port 80 when absent).
main_host=$(sed -n 's/^SKIRVANE_MAIN_QUERY_HOST:[A-Z]*=//p' build/release/CMakeCache.txt)
case "$main_host" in
    \[*\]:*) host=${main_host%]:*}; host=${host#[}; port=${main_host##*]:} ;;
    \[*\])   host=${main_host#[}; host=${host%]}; port=80 ;;
    *:*)     host=${main_host%:*}; port=${main_host##*:} ;;
    *)       host=$main_host; port=80 ;;
esac

# Whether an HTTP server answers there.
answers() {
    { exec 3<>"/dev/tcp/$host/$port"; } 2>/dev/null || return 1
    printf 'GET /Zyr/04query.html HTTP/1.0\r\nHost: %s\r\n\r\n' "$host" >&3
    local status=""
    IFS= read -r -t 2 status <&3 || true
    exec 3<&-
    [[ $status == HTTP/1.* ]]
}

service=""
stop_service() {
    if [ -n "$service" ]; then
        kill "$service" 2>/dev/null || true
        wait "$service" 2>/dev/null || true
    fi
}
trap stop_service EXIT

if ! answers; then
    case "$host" in
        127.0.0.1 | localhost | ::1) ;;
        *)
            echo "run.sh: nothing answers on $main_host, and it is not this computer: start skirvane-queryd there first." >&2
            exit 1 ;;
    esac
    # Both loopback addresses, "localhost" may resolve to either; the
    # service's defaults are those on port 8650.
    listen=()
    [ "$port" = 8650 ] || listen=(--listen "127.0.0.1:$port" --listen "[::1]:$port")
    log=build/release/skirvane-queryd.log
    build/release/bin/skirvane-queryd "${listen[@]}" 2>>"$log" &
    service=$!
    for _ in $(seq 100); do
        answers && break
        if ! kill -0 "$service" 2>/dev/null; then
            echo "run.sh: skirvane-queryd did not start; its last messages ($log):" >&2
            tail -n 5 "$log" >&2
            service=""
            exit 1
        fi
        sleep 0.1
    done
    answers || { echo "run.sh: skirvane-queryd does not answer on $main_host; see $log" >&2; exit 1; }
fi

status=0
build/release/bin/skirvane "$@" || status=$?
exit "$status"
