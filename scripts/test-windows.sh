#!/usr/bin/env bash
# Installs what is missing, builds Prismor for Windows in both its targets (scripts/build-windows.sh;
# the first run on a machine also builds Qt for each, about half an hour apiece), and tests them as
# a Windows user would meet them. These machines run no 32-bit code: the 32-bit build, which
# ships, is checked as files, and the same code built for x86_64 runs every test under Wine.
#   1. the programs as read from the files: PE32 for i386 (shipped) and PE32+ for x86-64
#      (tested), GUI, console and DLL, Windows' own DLLs only, the version block and the icon,
#      the server's exports undecorated (and that this check catches faulty files);
#   2. the test programs of the window, the check, the components and the stand-in, through
#      ctest under Wine, reaching the stand-in through COM as a registered automation server;
#   3. Prismor.exe end to end: keyboard in, the screen read back, the saved company put back at
#      Exit and at the end of the session;
#   4. the x86 MSI and zip, and the MSI installed and uninstalled in a fresh Wine prefix.
# Each stage runs even when an earlier one failed, so that one report shows every fault.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${PRISMOR_WINDOWS_BUILD_DIR:-build-windows}
ship_dir=${PRISMOR_WINDOWS_SHIP_DIR:-build-windows-x86}
scripts/install-dependencies.sh windows
scripts/build-windows.sh

status=0
stage() {
    local name=$1 started=$SECONDS
    shift
    echo "== Windows: $name"
    if "$@"; then
        echo "== Windows: $name passed ($((SECONDS - started)) s)"
    else
        echo "== Windows: $name FAILED ($((SECONDS - started)) s)"
        status=1
    fi
}

executables() {
    /usr/bin/python3 scripts/windows/check-executables.py --target x86 "$ship_dir" \
        && /usr/bin/python3 scripts/windows/check-executables.py --target x64 "$build_dir" \
        && /usr/bin/python3 scripts/windows/test-check-executables.py --target x86 "$ship_dir"
}

stage "executables" executables
stage "test programs under Wine" scripts/windows/ctest-wine.sh "$build_dir"
stage "end to end under Wine" scripts/windows/e2e-wine.sh "$build_dir"
stage "MSI and zip" scripts/windows/package.sh "$ship_dir"
stage "MSI installed and uninstalled" scripts/windows/check-msi.sh "$ship_dir"
exit "$status"
