#!/usr/bin/env bash
# Installs what is missing, builds Prismor for Windows in both its targets (scripts/build-windows.sh;
# the first run on a machine also builds Qt for each, about half an hour apiece; the shipped one is
# built while the tested one runs under Wine), and tests them as a Windows user would meet them.
# These machines run no 32-bit code: the 32-bit build, which ships, is checked as files, and the
# same code built for x86_64 runs every test under Wine.
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
scripts/build-windows.sh tested

# The shipped build compiles, at the lowest priority, while the tested one runs under Wine, which
# spends its time starting processes and waiting on windows rather than computing.
# It runs in a process group of its own, so that an interrupted run stops all of it.
ship_log=$(mktemp -t prismor-shipped-build.XXXXXX)
setsid nice -n 19 scripts/build-windows.sh shipped >"$ship_log" 2>&1 &
ship_build=$!
trap '[ -z "$ship_build" ] || kill -TERM -- -"$ship_build" 2>/dev/null || true; rm -f "$ship_log"' EXIT

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

shipped_built=no
shipped_build() {
    local built=0
    wait "$ship_build" || built=$?
    ship_build=""
    if [ "$built" -ne 0 ]; then
        cat "$ship_log"
        return 1
    fi
    grep -E '^\[build-windows-qt' "$ship_log" || true
    shipped_built=yes
}

# What checks the shipped files runs only on a build that succeeded, not on an older one.
shipped() {
    [ "$shipped_built" = yes ] || { echo "skipped: the shipped build failed"; return 1; }
    "$@"
}

stage "test programs under Wine" scripts/windows/ctest-wine.sh "$build_dir"
stage "end to end under Wine" scripts/windows/e2e-wine.sh "$build_dir"
stage "shipped build (built meanwhile)" shipped_build
stage "executables" shipped executables
stage "MSI and zip" shipped scripts/windows/package.sh "$ship_dir"
stage "MSI installed and uninstalled" shipped scripts/windows/check-msi.sh "$ship_dir"
exit "$status"
