#!/usr/bin/env bash
# Cross-builds Prismor.exe, norlix.exe and the stand-in's automation server NorlixStandIn.dll for
# Windows on Debian, with MinGW-w64, against the static Qt 6.4.2 and the SQLite amalgamation that
# scripts/build-windows-qt.sh makes from Debian's own source packages (once per machine and
# target: about half an hour each on two cores, then a few seconds). One source, two targets:
#   build-windows-x86/ (or $PRISMOR_WINDOWS_SHIP_DIR)   i686, what ships: Norlix's components are
#                         32-bit in-process servers, which only a 32-bit Prismor.exe can load
#   build-windows/ (or $PRISMOR_WINDOWS_BUILD_DIR)      x86_64, with the test programs: these
#                         machines run no 32-bit code, so this build is the one tested under Wine
# The programs need no DLL but Windows' own; scripts/test-windows.sh tests them, and ctest runs
# the test programs through scripts/windows/wine-run.sh.
#   scripts/build-windows.sh [tested|shipped]    both builds when neither is named
set -euo pipefail
cd "$(dirname "$0")/.."
cache=${PRISMOR_WINDOWS_CACHE:-$HOME/.cache/prismor/windows}
test_dir=${PRISMOR_WINDOWS_BUILD_DIR:-build-windows}
ship_dir=${PRISMOR_WINDOWS_SHIP_DIR:-build-windows-x86}

# build TARGET QT_PREFIX BUILD_DIR CMAKE_ARGUMENTS...
build() {
    local target=$1 qt=$2 dir=$3
    shift 3
    scripts/build-windows-qt.sh "$target"
    cmake -S . -B "$dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
        -DCMAKE_TOOLCHAIN_FILE="$cache/$qt/lib/cmake/Qt6/qt.toolchain.cmake" \
        -DPRISMOR_SQLITE_DIR="$cache/sqlite-3.40.1" "$@" >/dev/null
    cmake --build "$dir" --parallel "$(nproc)"
}

which=${1:-both}
case $which in
    tested|shipped|both) ;;
    *) echo "build-windows: unknown build \"$which\" (tested or shipped)" >&2; exit 2 ;;
esac
if [ "$which" != shipped ]; then
    build x86_64 qt-6.4.2 "$test_dir" -DBUILD_TESTING=ON \
        -DCMAKE_CROSSCOMPILING_EMULATOR="$PWD/scripts/windows/wine-run.sh"
fi
if [ "$which" != tested ]; then
    build i686 qt-6.4.2-i686 "$ship_dir" -DBUILD_TESTING=OFF
fi
