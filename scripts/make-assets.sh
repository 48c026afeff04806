#!/bin/sh
# Regenerates the pictures, the icon and the sound under assets/.
# The help text (assets/helptext.txt) is written by hand and left alone.
set -eu
here=$(cd "$(dirname "$0")" && pwd)
root=$(dirname "$here")
build=${TMPDIR:-/tmp}/skirvane-make-assets
cmake -S "$here/make-assets" -B "$build" -G Ninja -DCMAKE_BUILD_TYPE=Release >/dev/null
cmake --build "$build" >/dev/null
QT_QPA_PLATFORM=offscreen "$build/make-assets" "$root/assets"
