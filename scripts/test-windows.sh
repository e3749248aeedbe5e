#!/usr/bin/env bash
# Installs what is missing, builds Prismor for Windows (scripts/build-windows.sh; the first run on
# a machine also builds Qt for Windows, about half an hour), and tests the Windows build under
# Wine, as a Windows user would meet it:
#   1. the executables as read from the files: PE32+, GUI and console, Windows' own DLLs only,
#      the version block and the icon (and that this check catches faulty files);
#   2. the test programs of the window, the check, the components and the stand-in, through
#      ctest under Wine;
#   3. Prismor.exe end to end: keyboard in, the screen read back by OCR, the saved company put
#      back at Exit and at the end of the session;
#   4. the MSI and the zip, and the MSI installed, used and uninstalled in a fresh Wine prefix.
# Each stage runs even when an earlier one failed, so that one report shows every fault.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=${PRISMOR_WINDOWS_BUILD_DIR:-build-windows}
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
    /usr/bin/python3 scripts/windows/check-executables.py "$build_dir" \
        && /usr/bin/python3 scripts/windows/test-check-executables.py "$build_dir"
}

stage "executables" executables
stage "test programs under Wine" scripts/windows/ctest-wine.sh "$build_dir"
stage "end to end under Wine" scripts/windows/e2e-wine.sh "$build_dir"
stage "MSI and zip" scripts/windows/package.sh "$build_dir"
stage "MSI installed and uninstalled" scripts/windows/check-msi.sh "$build_dir"
exit "$status"
