#!/usr/bin/env bash
# Runs the end-to-end driver inside a session bus of its own, which dbus-run-session ends, with
# the accessibility bus started on it, when the driver ends. Exits 77 (ctest's SKIPPED) when a
# tool that the tests need is not installed; scripts/install-dependencies.sh installs them all.
set -euo pipefail
here=$(dirname "$(readlink -f "$0")")
python=/usr/bin/python3  # Debian's, which has the AT-SPI bindings

missing=()
for tool in dbus-run-session Xvfb openbox xdotool xprop scrot; do
    command -v "$tool" >/dev/null || missing+=("$tool")
done
[ -x /usr/libexec/at-spi-bus-launcher ] || missing+=("at-spi-bus-launcher (at-spi2-core)")
if [ ! -x "$python" ]; then
    missing+=("$python")
elif ! "$python" -c 'import gi; gi.require_version("Atspi", "2.0")' 2>/dev/null; then
    missing+=("AT-SPI for Python (python3-gi, gir1.2-atspi-2.0)")
fi
if [ ${#missing[@]} -gt 0 ]; then
    echo "SKIPPED: the end-to-end tests need: ${missing[*]}; scripts/install-dependencies.sh installs them"
    exit 77
fi

# Whatever bus or display the caller has is not ours to use.
unset DISPLAY WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS AT_SPI_BUS_ADDRESS
exec dbus-run-session -- "$python" "$here/prismor_e2e.py" "$@"
