#!/usr/bin/env bash
# For a machine with no display: runs Prismor on a virtual display (Xvfb, with a session bus of
# its own), checks company A of this user's Norlix installation as a user would, prints the
# report that the window shows (or its message; at the CAUTION dialog it answers Exit, so that
# another workstation's lock is kept), saves a screenshot and ends through Exit.
# Expects a build (scripts/build.sh) and an installation (norlix demo makes one); scripts/run.sh
# sees to both and calls this script when there is no display.
set -euo pipefail
cd "$(dirname "$0")/.."
build_dir=$(readlink -f "${PRISMOR_BUILD_DIR:-build}")
source tests/e2e/desktop-tools.sh

missing=$(missing_desktop_tools)
if [ -n "$missing" ]; then
    echo "The virtual display needs: $missing;" \
         "scripts/install-dependencies.sh display installs them." >&2
    exit 1
fi
run_on_own_session_bus demo_check.py --prismor "$build_dir/main_window/Prismor" \
    --screenshot "$build_dir/demo-screenshot.png"
