#!/usr/bin/env bash
# Runs the start-page test with the browser engine's sandbox on. The sandbox
# cannot be on for root, so as root (as in CI) the test runs as the ordinary
# user skirvane-test, made here when missing, from a copy of the test and the
# service in a folder that user can read. Uses the dev build of ./test.sh.
set -euo pipefail
cd "$(dirname "$0")/.."

build=build/dev
cmake --build "$build" --target tst_sandboxedstartpage -j "$(nproc)" >/dev/null

test_command=(env -u QTWEBENGINE_DISABLE_SANDBOX
    QTWEBENGINE_CHROMIUM_FLAGS="--disable-gpu --disable-background-networking --no-first-run"
    xvfb-run -a -s "-screen 0 1280x1024x24")

if [ "$(id -u)" -ne 0 ]; then
    exec "${test_command[@]}" "$build/bin/tst_sandboxedstartpage"
fi

user=skirvane-test
id -u "$user" >/dev/null 2>&1 || useradd --system --no-create-home --shell /usr/sbin/nologin "$user"
work=$(mktemp -d)
trap 'rm -rf "$work"' EXIT
mkdir "$work/bin" "$work/home"
cp "$build/bin/tst_sandboxedstartpage" "$build/bin/skirvane-queryd" "$work/bin/"
chmod 755 "$work" "$work/bin"
chown "$user:" "$work/home"
# A home of its own: the browser engine and the fonts keep caches there.
runuser -u "$user" -- env HOME="$work/home" XDG_RUNTIME_DIR= "${test_command[@]}" "$work/bin/tst_sandboxedstartpage"
