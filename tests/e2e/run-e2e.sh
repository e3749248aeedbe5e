#!/usr/bin/env bash
# Runs the end-to-end driver on a session bus of its own. Exits 77 (ctest's SKIPPED) when a tool
# that the tests need is not installed; scripts/install-dependencies.sh installs them all.
set -euo pipefail
source "$(dirname "$(readlink -f "$0")")/desktop-tools.sh"

missing=$(missing_desktop_tools)
if [ -n "$missing" ]; then
    echo "SKIPPED: the end-to-end tests need: $missing; scripts/install-dependencies.sh installs them"
    exit 77
fi
run_on_own_session_bus prismor_e2e.py "$@"
