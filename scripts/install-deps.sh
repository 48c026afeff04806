#!/usr/bin/env bash
# Installs the Debian 12 packages Skirvane needs to build, run and test,
# when they are missing. Uses sudo unless already root.
set -euo pipefail

packages=(
    cmake ninja-build g++ pkg-config ccache lld
    qt6-base-dev qt6-webengine-dev qt6-multimedia-dev
    fonts-liberation2
    xvfb xauth dbus trayer
    xdg-utils
    libboost-dev nlohmann-json3-dev libsqlite3-dev libpq-dev libgtest-dev
    prometheus-cpp-dev prometheus postgresql-15 nginx-light
    qstat wrk hyperfine
    clang libclang-rt-14-dev
    help2man appstream desktop-file-utils lintian dpkg-dev fakeroot file libxml2-utils
    passwd util-linux iproute2 curl systemd
)

missing=()
for p in "${packages[@]}"; do
    dpkg-query -W -f='${Status}' "$p" 2>/dev/null | grep -q "install ok installed" || missing+=("$p")
done
[ ${#missing[@]} -eq 0 ] && exit 0

sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
echo "Installing: ${missing[*]}"
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get update -q
"${sudo[@]}" env DEBIAN_FRONTEND=noninteractive apt-get install -y -q --no-install-recommends "${missing[@]}"
