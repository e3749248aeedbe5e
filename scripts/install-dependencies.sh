#!/usr/bin/env bash
# Installs the Debian 12 packages that building, running and testing Prismor need, and only
# those that are missing, so that a second run is quick. With the argument "bench", also those
# that only the benchmarks need (scripts/bench.sh).
set -euo pipefail

packages=(
    cmake make g++ pkgconf
    qt6-base-dev qt6-base-dev-tools libgl-dev libsqlite3-dev
    qt6-qpa-plugins fonts-liberation
    xvfb xauth
    dbus-daemon at-spi2-core openbox xdotool x11-utils scrot python3 python3-gi gir1.2-atspi-2.0
    dpkg-dev file
    clang libclang-rt-14-dev llvm
    binutils-mingw-w64-x86-64
)
# strace counts and slows down the system calls of the check.
[ "${1:-}" != bench ] || packages+=(strace)

missing=()
for package in "${packages[@]}"; do
    status=$(dpkg-query -W -f='${db:Status-Status}' "$package" 2>/dev/null || true)
    [ "$status" = installed ] || missing+=("$package")
done

if [ ${#missing[@]} -eq 0 ]; then
    exit 0
fi

echo "Installing: ${missing[*]}"
sudo=()
[ "$(id -u)" -eq 0 ] || sudo=(sudo)
export DEBIAN_FRONTEND=noninteractive
"${sudo[@]}" apt-get update -q
"${sudo[@]}" apt-get install -y -q --no-install-recommends "${missing[@]}"
