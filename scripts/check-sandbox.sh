#!/usr/bin/env bash
# The desktop program with the browser engine's sandbox on, as every ordinary
# user runs it: the real program and the real query service on the address
# the program was built for, under Xvfb. Passes when the main window's page
# renderer has parsed the start page (it asks for the page's stylesheet) and
# runs under the sandbox's system call filter.
#
# The sandbox cannot be on for root, so as root (as in CI) this runs as the
# ordinary user skirvane-test, made here when missing, from a copy of the
# programs in a folder that user can read. Uses the dev build of ./test.sh.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/dev
. scripts/ccache-env.sh
cmake --build "$build" --target skirvane skirvane-queryd -j "$(nproc)" >/dev/null
host=$(sed -n 's/^SKIRVANE_MAIN_QUERY_HOST:STRING=//p' "$build/CMakeCache.txt")
case "$host" in
    127.0.0.1:*) ;;
    *) echo "check-sandbox: the build's main query host is $host; this check needs 127.0.0.1:<port>" >&2; exit 1 ;;
esac
if ss -Htln "sport = :${host##*:}" | grep -q .; then
    echo "check-sandbox: something already listens on port ${host##*:}; stop it first" >&2
    exit 1
fi

# Runs as the user the program runs as. $1: folder of the programs, $2: host.
start_page_in_sandbox() {
    descendants() {
        local child
        for child in $(pgrep -P "$1"); do
            echo "$child"
            descendants "$child"
        done
    }
    set -euo pipefail
    local bin=$1 host=$2 sandboxed= pid
    # Not local: the exit trap uses them after the function has returned.
    log=$(mktemp -t skirvane-queryd.XXXXXX) service= program=
    "$bin/skirvane-queryd" --listen "$host" 2>"$log" &
    service=$!
    trap 'kill $service $program 2>/dev/null || true; wait; rm -f "$log"' EXIT
    timeout 10 sh -c "until grep -q 'listening on' '$log'; do sleep 0.2; done"
    "$bin/skirvane" &
    program=$!
    if ! timeout 60 sh -c "until grep -q 'GET /assets/page.css ' '$log'; do sleep 0.5; done"; then
        echo "FAIL: the start page was not rendered" >&2
        cat "$log" >&2
        exit 1
    fi
    grep ' GET ' "$log"
    # The renderers are forked from the browser engine's zygote and keep its
    # command line: the sandboxed one is the helper under a seccomp filter.
    for pid in $(descendants "$program"); do
        grep -q '^Seccomp:[[:space:]]*2$' "/proc/$pid/status" && sandboxed+=" $pid"
    done
    [ -n "$sandboxed" ] || { echo "FAIL: no browser process of the program runs in the sandbox" >&2; exit 1; }
    echo "sandboxed renderer processes:$sandboxed"
    echo "as $(id -un): the start page rendered with the sandbox on"
    echo "1 passed, 0 failed"
}

test_command=(env -u QTWEBENGINE_DISABLE_SANDBOX
    QTWEBENGINE_CHROMIUM_FLAGS="--disable-gpu --disable-background-networking --no-first-run"
    xvfb-run -a -s "-screen 0 1280x1024x24"
    bash -c "$(declare -f start_page_in_sandbox); start_page_in_sandbox \"\$@\"" start_page_in_sandbox)

if [ "$(id -u)" -ne 0 ]; then
    exec "${test_command[@]}" "$PWD/$build/bin" "$host"
fi

user=skirvane-test
id -u "$user" >/dev/null 2>&1 || useradd --system --no-create-home --shell /usr/sbin/nologin "$user"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin" "$work/home"
cp "$build/bin/skirvane" "$build/bin/skirvane-queryd" "$work/bin/"
chmod 755 "$work" "$work/bin"
chown "$user:" "$work/home"
# A home of its own: the browser engine and the fonts keep caches there.
status=0
runuser -u "$user" -- env HOME="$work/home" "${test_command[@]}" "$work/bin" "$host" || status=$?
# Browser helpers and the display outlive the program briefly; none may stay.
for _ in 1 2 3 4 5 6 7 8 9 10; do
    pids=$(pgrep -u "$user") || break
    sleep 0.5
    kill $pids 2>/dev/null || true
done
exit "$status"
