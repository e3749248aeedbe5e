#!/usr/bin/env bash
# Installs what is missing, builds, sets up the demo Norlix installation and opens Prismor on it.
# The installation is NORLIX_HOME, or this user's ~/.local/share/Norlix when that is not set.
set -euo pipefail
cd "$(dirname "$0")/.."
scripts/install-dependencies.sh
scripts/build.sh
build_dir=${PRISMOR_BUILD_DIR:-build}

"$build_dir/components/norlix" demo

if [ -z "${DISPLAY:-}" ] && [ -z "${WAYLAND_DISPLAY:-}" ]; then
    echo "No display: neither DISPLAY nor WAYLAND_DISPLAY is set, so Prismor's window cannot" \
         "open here. Checking company A on a virtual display instead." >&2
    exec scripts/demo-on-virtual-display.sh
fi
exec "$build_dir/main_window/Prismor"
