#!/usr/bin/env bash
# For a machine with no display: runs Prismor on a virtual display (Xvfb, with a session bus of
# its own), checks company A of this user's demo Norlix installation as a user would, prints the
# report that the window shows, saves a screenshot and ends through Exit.
# Expects a build (scripts/build.sh) and the demo installation (norlix demo); scripts/run.sh
# sees to both and calls this script when there is no display.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=$(readlink -f "${PRISMOR_BUILD_DIR:-build}")
source tests/e2e/desktop-tools.sh

missing=$(missing_desktop_tools)
if [ -n "$missing" ]; then
    echo "The virtual display needs: $missing; scripts/install-dependencies.sh installs them." >&2
    exit 1
fi
run_on_own_session_bus demo_check.py --prismor "$build_dir/main_window/Prismor" \
    --screenshot "$build_dir/demo-screenshot.png"
