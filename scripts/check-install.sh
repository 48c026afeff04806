#!/usr/bin/env bash
# Installs the "package" build into a temporary folder as a package would
# and checks the installed tree: the desktop's validators on the menu entry and
# the AppStream data, the icon theme's sizes, the installed programs run
# from there. Then builds the Debian package, lists it and runs lintian on
# it. Fails on the first error.
set -euo pipefail
cd "$(dirname "$0")/.."

# The "package" preset: a release build that keeps the favourites file in
# the user's configuration folder, as an installed program must. Its other
# flags are the release preset's: after a release build (./run.sh) the
# compiler cache holds all that the two share, everything but the desktop
# program's executable.
build=build/package
. scripts/ccache-env.sh
cmake --preset package >/dev/null
# Only what gets installed: the programs, manual pages and changelog.
cmake --build "$build" --target skirvane_packaging -j "$(nproc)"
version=$(sed -n 's/^CMAKE_PROJECT_VERSION:STATIC=//p' "$build/CMakeCache.txt")

stage=$(mktemp -d)
trap 'rm -rf "$stage"' EXIT
DESTDIR="$stage" cmake --install "$build" --prefix /usr >/dev/null
root="$stage/usr"
echo "== installed tree"
(cd "$stage" && find . -mindepth 1 -printf '%M %8s %p %l\n' | sort -k3)

echo "== desktop-file-validate"
desktop-file-validate "$root"/share/applications/*.desktop
echo "== appstreamcli validate"
appstreamcli validate --no-net "$root"/share/metainfo/*.metainfo.xml
appstreamcli validate-tree --no-net "$root"

echo "== menu entry, icon and service units point at installed files"
entry=$(ls "$root"/share/applications/*.desktop)
exec_program=$(sed -n 's/^Exec=\([^ ]*\).*/\1/p' "$entry")
icon=$(sed -n 's/^Icon=//p' "$entry")
[ -x "$root/bin/$exec_program" ] || { echo "$entry: Exec=$exec_program is not installed" >&2; exit 1; }
[ "$(basename "$entry" .desktop)" = "$icon" ] || { echo "$entry: Icon=$icon is not the application id" >&2; exit 1; }
[ -e "$root/lib/systemd/user/sockets.target.wants/skirvane-queryd.socket" ] \
    || { echo "the socket's enabling link is dangling" >&2; exit 1; }
echo "Exec=$exec_program, Icon=$icon, sockets.target.wants link resolves"

echo "== icon sizes"
for png in "$root"/share/icons/hicolor/*/apps/"$icon".png; do
    size=$(basename "$(dirname "$(dirname "$png")")") # e.g. 48x48
    file -b "$png" | grep -q ", ${size/x/ x }," || { echo "$png: not $size: $(file -b "$png")" >&2; exit 1; }
done
[ "$(ls "$root"/share/icons/hicolor/*/apps/"$icon".* | wc -l)" -eq 7 ] || { echo "the icon is not at 6 sizes and scalable" >&2; exit 1; }
xmllint --noout "$root/share/icons/hicolor/scalable/apps/$icon.svg"
echo "every icon has its folder's size"

# The programs run from the installed tree alone: everything of ours is
# linked in statically, but for the desktop program's sound player, a module
# it loads from its own library folder when the first sound plays.
run_installed() {
    local program=$1
    local out
    out=$(env -u LD_LIBRARY_PATH "$root/bin/$program" --version)
    echo "$program --version: $out"
    grep -qF "$version" <<<"$out" || { echo "$program --version does not say $version" >&2; exit 1; }
}
echo "== installed programs"
run_installed skirvane-query
run_installed skirvane-queryd

# The installed service as its systemd units start it: on the sockets
# handed over (the socket unit's addresses, on a free port here) with the
# service unit's command line, idle time shortened to see it end by itself.
echo "== socket activation"
units="$root/lib/systemd/user"
port=$((20000 + RANDOM % 20000))
while ss -Htln "sport = :$port" | grep -q .; do port=$((20000 + RANDOM % 20000)); done
listen=()
while read -r address; do
    listen+=(-l "${address%:*}:$port")
done < <(sed -n 's/^ListenStream=//p' "$units/skirvane-queryd.socket")
read -r -a words < <(sed -n 's/^ExecStart=//p' "$units/skirvane-queryd.service" | sed 's/--idle-exit [0-9]*/--idle-exit 2/')
# A word that is a $VARIABLE alone is the options file's, which a fresh
# user does not have: systemd then passes nothing for it.
command=()
for word in "${words[@]}"; do
    [[ $word =~ ^\$[A-Za-z_][A-Za-z0-9_]*$ ]] || command+=("$word")
done
command[0]="$stage${command[0]}"
log="$stage/queryd.log"
systemd-socket-activate "${listen[@]}" "${command[@]}" 2>"$log" &
activator=$!
for host in 127.0.0.1 '[::1]'; do
    curl -sS --retry 20 --retry-connrefused --retry-delay 1 -o /dev/null -w "http://$host:$port/ %{http_code}\n" \
        "http://$host:$port/Zyr/04query.html" | tee "$stage/status"
    grep -q ' 200$' "$stage/status" || { cat "$log" >&2; kill "$activator"; exit 1; }
done
# Ends by itself after 2 s without requests.
timeout 15 tail --pid="$activator" -f /dev/null || { echo "the service did not end when idle" >&2; kill "$activator"; exit 1; }
wait "$activator"
cat "$log"
grep -q "idle for 2 s" "$log"

echo "== the sound player lies where the desktop program looks for it"
player=$(ls "$root"/lib/skirvane/plugins/libskirvane-soundoutput.so)
ldd "$player" | grep -q 'libQt6Multimedia' || { echo "$player: does not link Qt Multimedia" >&2; exit 1; }
ldd "$root/bin/skirvane" | grep -q 'libQt6Multimedia' && { echo "skirvane links Qt Multimedia at start" >&2; exit 1; }
echo "$player"

# The desktop program makes its application object before reading its
# options, which needs a display platform even for --version.
QT_QPA_PLATFORM=offscreen run_installed skirvane

echo "== Debian package"
(cd "$build" && rm -f ./*.deb && cpack -G DEB >/dev/null)
deb=$(ls "$build"/*.deb)
dpkg-deb --info "$deb"
dpkg-deb --contents "$deb"
echo "== lintian $(basename "$deb")"
status=0
report=$(lintian --fail-on error "$deb" 2>&1) || status=$?
grep -v 'running with root privileges' <<<"$report" || true
[ "$status" -eq 0 ] || { echo "lintian reports errors (status $status)" >&2; exit 1; }
echo "== apt resolves its dependencies (simulated install)"
apt-get install --simulate -q "./$deb" | grep -E '^(Inst|Conf) '
echo "install check passed"
