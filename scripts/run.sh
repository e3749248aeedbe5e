#!/usr/bin/env bash
# Installs what is missing, builds, and opens Prismor on this user's Norlix installation: the
# folder NORLIX_HOME, or ~/.local/share/Norlix when that is not set. Only where there is no
# installation yet is the demo one set up; one that is there is used as it is (`norlix demo`
# puts the demo back on purpose).
set -euo pipefail
cd "$(dirname "$0")/.."

has_display() { [ -n "${DISPLAY:-}" ] || [ -n "${WAYLAND_DISPLAY:-}" ]; }

sets=(run)
has_display || sets+=(display)
scripts/install-dependencies.sh "${sets[@]}"
scripts/build.sh
build_dir=${PRISMOR_BUILD_DIR:-build}
norlix=$build_dir/components/norlix

# init creates an empty installation only where there is none, and reads an existing one.
if created=$("$norlix" init); then
    case $created in
        Created*) "$norlix" demo ;;
        *) echo "$created; Prismor opens on it as it is." ;;
    esac
else
    echo "Prismor opens on it all the same, and reports what it finds." >&2
fi

if ! has_display; then
    echo "No display: neither DISPLAY nor WAYLAND_DISPLAY is set, so Prismor's window cannot" \
         "open here. Checking company A on a virtual display instead." >&2
    exec scripts/demo-on-virtual-display.sh
fi
exec "$build_dir/main_window/Prismor"
