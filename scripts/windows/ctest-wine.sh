#!/usr/bin/env bash
# Runs the Windows build's test programs under Wine through ctest, as a Windows user's session
# would: on a virtual display of their own with a window manager, in a fresh Wine prefix that is
# thrown away afterwards. The build must have been configured with scripts/windows/wine-run.sh as
# its emulator (scripts/build-windows.sh does). Extra arguments go to ctest, e.g. -R NAME.
#   scripts/windows/ctest-wine.sh [BUILD_DIR] [CTEST_ARGUMENTS...]
set -euo pipefail
cd "$(dirname "$0")/../.."
build_dir=${PRISMOR_WINDOWS_BUILD_DIR:-build-windows}
if [ $# -gt 0 ] && [[ $1 != -* ]]; then
    build_dir=$1
    shift
fi

say() { printf '[ctest-wine %s] %s\n' "$(date +%H:%M:%S)" "$*"; }

# The display, the window manager and the Wine prefix live in this folder for the run only.
run_dir=$(mktemp -d -t prismor-windows-tests.XXXXXX)
xvfb_pid=
window_manager_pid=

stop_session() {
    if [ -n "${WINEPREFIX:-}" ]; then
        wineserver -k 2>/dev/null || true
        wineserver --wait 2>/dev/null || true
    fi
    local pid
    for pid in "$window_manager_pid" "$xvfb_pid"; do
        if [ -n "$pid" ]; then
            kill "$pid" 2>/dev/null || true
            wait "$pid" 2>/dev/null || true
        fi
    done
    rm -rf "$run_dir"
}
trap stop_session EXIT

# Xvfb on the first free display from :90 on, with a cookie of its own, at 96 dots per inch as
# the window's layout expects.
start_display() {
    local display cookie
    export XAUTHORITY=$run_dir/Xauthority
    cookie=$(od -An -N16 -tx1 /dev/urandom | tr -d ' \n')
    touch "$XAUTHORITY"
    for display in $(seq 90 189); do
        [ ! -e "/tmp/.X$display-lock" ] && [ ! -e "/tmp/.X11-unix/X$display" ] || continue
        xauth -q -f "$XAUTHORITY" add ":$display" . "$cookie"
        Xvfb ":$display" -screen 0 1280x1024x24 -dpi 96 -nolisten tcp -auth "$XAUTHORITY" \
            </dev/null >"$run_dir/xvfb.log" 2>&1 &
        xvfb_pid=$!
        local tries
        for tries in $(seq 50); do
            if [ -e "/tmp/.X11-unix/X$display" ]; then
                export DISPLAY=:$display
                break 2
            fi
            kill -0 "$xvfb_pid" 2>/dev/null || break
            sleep 0.1
        done
        kill "$xvfb_pid" 2>/dev/null || true
        wait "$xvfb_pid" 2>/dev/null || true
        xvfb_pid=
    done
    if [ -z "$xvfb_pid" ]; then
        cat "$run_dir/xvfb.log" >&2 || true
        say "no virtual display could be started" >&2
        return 1
    fi
    # Wine waits up to two seconds for a window manager at every window that is hidden.
    XDG_CONFIG_HOME=$run_dir/config XDG_CACHE_HOME=$run_dir/cache \
        openbox --sm-disable </dev/null >"$run_dir/openbox.log" 2>&1 &
    window_manager_pid=$!
    say "virtual display $DISPLAY"
}

# A fresh prefix, with its server and Wine's own services started here, away from ctest's pipes:
# a process that keeps a test's output open would hold ctest until the time-out.
start_wine() {
    source scripts/windows/wine-prefix.sh
    wine_prefix "$run_dir/prefix"
    wineserver --persistent </dev/null >/dev/null 2>&1
    wine wineboot </dev/null >/dev/null 2>&1
    say "Wine prefix $WINEPREFIX"
}

# The tests run one at a time: they share the prefix's registry, where Prismor keeps its
# settings on Windows.
run_tests() {
    ctest --test-dir "$build_dir" --output-on-failure --timeout 300 "$@"
}

start_display
start_wine
run_tests "$@"
