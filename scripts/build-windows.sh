#!/usr/bin/env bash
# Cross-builds Prismor.exe and norlix.exe for 64-bit Windows on Debian, with MinGW-w64, against
# the static Qt 6.4.2 and the SQLite amalgamation that scripts/build-windows-qt.sh makes from
# Debian's own source packages (once per machine: about half an hour on two cores, then a few
# seconds), in build-windows/ (or $PRISMOR_WINDOWS_BUILD_DIR), with the test programs. The
# executables need no DLL but Windows' own; scripts/test-windows.sh tests them under Wine, and
# ctest runs the test programs through scripts/windows/wine-run.sh.
set -euo pipefail
cd "$(dirname "$0")/.."
cache=${PRISMOR_WINDOWS_CACHE:-$HOME/.cache/prismor/windows}
build_dir=${PRISMOR_WINDOWS_BUILD_DIR:-build-windows}

scripts/build-windows-qt.sh
cmake -S . -B "$build_dir" -G Ninja -DCMAKE_BUILD_TYPE=Release \
    -DCMAKE_TOOLCHAIN_FILE="$cache/qt-6.4.2/lib/cmake/Qt6/qt.toolchain.cmake" \
    -DPRISMOR_SQLITE_DIR="$cache/sqlite-3.40.1" -DBUILD_TESTING=ON \
    -DCMAKE_CROSSCOMPILING_EMULATOR="$PWD/scripts/windows/wine-run.sh" >/dev/null
cmake --build "$build_dir" --parallel "$(nproc)"
