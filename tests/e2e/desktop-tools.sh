# Sourced by the scripts that drive Prismor on a virtual desktop.
# Prints, space-separated, the tools of the virtual desktop that are not installed.
desktop_python=/usr/bin/python3  # Debian's, which has the AT-SPI bindings

missing_desktop_tools() {
    local missing=() tool
    for tool in dbus-run-session Xvfb openbox xdotool xprop scrot; do
        command -v "$tool" >/dev/null || missing+=("$tool")
    done
    [ -x /usr/libexec/at-spi-bus-launcher ] || missing+=("at-spi-bus-launcher (at-spi2-core)")
    if [ ! -x "$desktop_python" ]; then
        missing+=("$desktop_python")
    elif ! "$desktop_python" -c 'import gi; gi.require_version("Atspi", "2.0")' 2>/dev/null; then
        missing+=("AT-SPI for Python (python3-gi, gir1.2-atspi-2.0)")
    fi
    echo "${missing[*]}"
}

# Runs a program of this folder in Debian's Python, inside a session bus of its own, which
# dbus-run-session ends, with the accessibility bus started on it, when the program ends. The
# accessibility bus keeps its socket in a runtime folder made for the run and removed after it,
# and settings it looks up stay in memory, so nothing is left in the user's home.
run_on_own_session_bus() {
    local program=$1 runtime status=0
    shift
    runtime=$(mktemp -d -t prismor-desktop-runtime.XXXXXX)
    (
        export XDG_RUNTIME_DIR=$runtime GSETTINGS_BACKEND=memory
        export PYTHONDONTWRITEBYTECODE=1  # nothing written into the source tree
        # Whatever bus or display the caller has is not ours to use.
        unset DISPLAY WAYLAND_DISPLAY DBUS_SESSION_BUS_ADDRESS AT_SPI_BUS_ADDRESS
        dbus-run-session -- "$desktop_python" "$(dirname "${BASH_SOURCE[0]}")/$program" "$@"
    ) || status=$?
    rm -rf "$runtime"
    return "$status"
}
